/* zqasm run observer: what a program linked with the static library may learn of a run
 * beyond its output files, and the defines it may hand to every pass. Every function here
 * is in the static library only (libzqasm.a; CMake zqasm::zqasm_static, pkg-config
 * zqasm-static); the shared library's one entry point stays Run44Assembler.
 * Plain C; every pointer handed to a callback is valid only during the call.
 */
#ifndef ZQASM_OBSERVER_H_
#define ZQASM_OBSERVER_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Kinds of diagnostics. A fatal one stops the run; a user error counts as an error. */
enum { ZQASM_ERROR = 0, ZQASM_WARNING = 1, ZQASM_USER_ERROR = 2, ZQASM_FATAL = 3 };

/* A macro expansion that a diagnostic arose in: the macro and the line that called it. */
typedef struct ZqasmExpansion {
  const char* macro;    /* the macro's name */
  const char* headFile; /* full name of the file of its .MACRO head (and body) */
  unsigned headLine;    /* line of the head in that file */
  const char* callFile; /* full name of the file of the calling line */
  unsigned callLine;    /* a source line, or a body line of the macro one level out */
} ZqasmExpansion;

typedef struct ZqasmDiagnostic {
  int kind;          /* ZQASM_ERROR ... ZQASM_FATAL */
  const char* file;  /* full name of the file the line belongs to; "" when none */
  unsigned line;     /* line number in that file; 0 when none */
  int number;        /* catalogue number of an error or warning; -1 when it has none */
  const char* text;  /* the text, without a line end */
  /* The fields below follow the five above, which keep their meaning (the error file's
   * place and text), so an observer built before them reads what it always did. */
  /* The text again, naming what it is about ("undefined symbol 'nowhere'", "no chip
   * description ZQ4460.COE in chips"); "" when the run knows nothing more than `text`. */
  const char* message;
  /* The earlier definition of a duplicate label or constant, which `message` leaves out
   * so that its file name can be shown as the observer shows names; "" and 0 when none. */
  const char* otherFile;
  unsigned otherLine;
  /* Where the statement that raised it stands: `file` and `line` outside macros, the
   * body line (in the file of the macro's head) within an expansion. */
  const char* statementFile;
  unsigned statementLine;
  /* The expansions in progress, innermost first; the last one's call is `file`:`line`.
   * NULL and 0 outside macros. */
  const ZqasmExpansion* expansions;
  size_t expansionCount;
  /* The macro whose expansion made the earlier definition of `otherFile`:`otherLine` (a
   * body line); "" when it stood outside macros or there is none. */
  const char* otherMacro;
  /* The culprit's columns [column, endColumn) in `statementFile`:`statementLine`, counted
   * from 0 in bytes of the line as in ZqasmSpan; both 0 when the run cannot point at it. */
  unsigned column;
  unsigned endColumn;
} ZqasmDiagnostic;

/* What a file was read as. */
enum { ZQASM_FILE_SOURCE = 0, ZQASM_FILE_INCLUDE = 1, ZQASM_FILE_CHIP = 2,
       ZQASM_FILE_MASK_OPTIONS = 3 };

/* The images as written to ".OBJ" and ".TAB" (bodies, without the header text), with one
 * flag per word or table cell: nonzero when the run put something there. */
typedef struct ZqasmImage {
  const uint8_t* programBytes;   /* 2 * programWords bytes, low byte of each word first */
  const uint8_t* programWritten; /* programWords flags */
  size_t programWords;
  const uint8_t* tableBytes;     /* tableCells bytes */
  const uint8_t* tableWritten;   /* tableCells flags */
  size_t tableCells;             /* 0 when the chip has no table ROM */
  size_t ramNames;               /* RAM names defined (the lines of ".RAM") */
  size_t ramNibbles;             /* nibbles those names allocate, overlaps counted twice */
} ZqasmImage;

/* Facts of a run, for programs that show a source with what the assembler made of it
 * (a language server). They come from pass 2, in the order the run meets them, and tell
 * of a source line by its place: */

/* Where a name stands: FILE (full name) and LINE (from 1), and the name's columns
 * [COLUMN, END_COLUMN) counted from 0 in bytes of the line. Sources are 8-bit text, so
 * with bytes 80h-FFh read as Latin-1 a byte column is the UTF-16 column that LSP counts.
 * A statement of a macro expansion stands at its body line, in the file of the macro's
 * head; a name that came in through an argument stands where the call wrote it. */
typedef struct ZqasmSpan {
  const char* file;
  unsigned line;
  unsigned column;
  unsigned endColumn;
} ZqasmSpan;

/* What a name is. */
enum {
  ZQASM_SYMBOL_LABEL = 0,       /* value: address */
  ZQASM_SYMBOL_LOCAL_LABEL = 1, /* LOCALLABEL of a macro; value: address in that expansion */
  ZQASM_SYMBOL_CONSTANT = 2,    /* EQU; value */
  ZQASM_SYMBOL_RAM = 3,         /* DATA segment name; value: first address, size: nibbles */
  ZQASM_SYMBOL_MACRO = 4,       /* text: the parameter names, as "A, B" */
  ZQASM_SYMBOL_DEFINE = 5,      /* DEFINE; value */
  ZQASM_SYMBOL_STRING = 6,      /* DEFSTRING; text: the operand text it stands for */
  ZQASM_SYMBOL_INCLUDE = 7      /* include line; text: the full name of the file read */
};

/* One definition or use of a name. Uses are told of where the run looks the name up and
 * finds it (labels in jump targets, the other names in values, a DEFSTRING name as an
 * operand, a macro at its call); a name no table knows is an error, not a use. */
typedef struct ZqasmSymbol {
  int kind;         /* ZQASM_SYMBOL_... */
  int definition;   /* 1 a definition, 0 a use */
  const char* name; /* as written (a DEFINE or RAM name as the statement wrote it) */
  ZqasmSpan at;     /* the name; columns 0 and 0 when it is not written in the line */
  int64_t value;    /* as the kind says; -1 when it has none */
  int64_t size;     /* RAM name: nibbles; else 0 */
  const char* text; /* as the kind says; "" otherwise */
  /* The expansion in progress (numbered from 1 in the run), 0 outside macros: a macro-
   * local label belongs to the expansion that defined it, and each use names its own. */
  unsigned expansion;
  /* The line read from a file that the statement stems from: `at`'s line outside
   * macros, the outermost call within an expansion. */
  const char* sourceFile;
  unsigned sourceLine;
} ZqasmSymbol;

/* A macro call, told of when its expansion is over. */
typedef struct ZqasmMacroCall {
  const char* macro;    /* its name */
  ZqasmSpan at;         /* the name in the calling line */
  const char* headFile; /* its .MACRO head */
  unsigned headLine;
  unsigned expansion; /* the number of this expansion (see ZqasmSymbol) */
  /* The lines the expansion produced, in order, each as the listing shows it (the body
   * line with the arguments in place, then " ; " and the body line as written), nested
   * expansions included, without line ends; at most 200 lines are kept, and `omitted`
   * counts the rest. */
  const char* const* lines;
  size_t lineCount;
  size_t omitted;
  const char* sourceFile; /* as in ZqasmSymbol */
  unsigned sourceLine;
} ZqasmMacroCall;

/* An instruction word, told of as the run records it at its address. */
typedef struct ZqasmCode {
  ZqasmSpan at; /* the statement's line; columns 0 */
  uint32_t address;
  uint16_t word;
  unsigned expansion; /* as in ZqasmSymbol */
  const char* sourceFile;
  unsigned sourceLine;
} ZqasmCode;

/* A record of the chip description: an instruction form of the chip. */
typedef struct ZqasmOpcode {
  char mnemonic[6]; /* NUL-terminated */
  uint8_t form;     /* low nibble 0 plain, 15 an "@HL" operand; flags 10h-80h */
  uint8_t kind;     /* operand kind: 0, 1, 2, 3, 5, 11, 22, 23 */
  uint16_t opcode;  /* base word */
  uint16_t mask1;   /* operand fields in the word */
  uint16_t mask2;
} ZqasmOpcode;

/* Where the program and table ROM get words beside the instructions of `code`. */
enum {
  ZQASM_PLACE_ORIGIN = 0,       /* ORG: the code goes on at `first`; `count` 0 */
  ZQASM_PLACE_RESERVED = 1,     /* .DS: `count` program words from `first` reserved */
  ZQASM_PLACE_BANK_END_NOP = 2, /* the NOP put at `first` (0FFFh, 1FFFh of a banked chip)
                                   for the instruction of the line, moved to the next bank */
  ZQASM_PLACE_TABLE = 3,        /* `count` table ROM cells from `first` written */
  ZQASM_PLACE_CONVERT_AREA = 4  /* banked chips, once after pass 2: the bank convert area
                                   spans the in-bank offsets `first` to `first` + `count` - 1
                                   of every bank; `at` names no line */
};

/* One placement, told as the run makes it (pass 2). */
typedef struct ZqasmPlacement {
  int kind;       /* ZQASM_PLACE_... */
  uint32_t first; /* address, table cell or in-bank offset */
  uint32_t count;
  ZqasmSpan at;   /* the statement's line, as in ZqasmCode; "" and 0 for the area */
  unsigned expansion;
  const char* sourceFile;
  unsigned sourceLine;
} ZqasmPlacement;

/* What a statement of pass 2 was to the run. */
enum {
  ZQASM_STATEMENT_ASSEMBLED = 0, /* taken as it stands (directives, DEFINE, EQU, code, ...) */
  ZQASM_STATEMENT_SKIPPED = 1,   /* in a branch of a conditional that is off */
  ZQASM_STATEMENT_CONDITION = 2, /* a conditional directive (IF ... ENDIF) */
  ZQASM_STATEMENT_MACRO = 3,     /* a .MACRO head, its body, ENDM, LOCALLABEL or EXITM */
  ZQASM_STATEMENT_CALL = 4,      /* a macro call; its body lines were told of before it */
  ZQASM_STATEMENT_INCLUDE = 5    /* an include line; the file's lines follow it */
};

/* One statement of pass 2, told of once the run has processed it (an include line before
 * the file's lines). Lines that are empty, over-long, or after END are not told of. */
typedef struct ZqasmStatement {
  int kind;          /* ZQASM_STATEMENT_... */
  const char* file;  /* where it stands: the file line, or the body line in the file of */
  unsigned line;     /* the macro's head within an expansion */
  const char* text;  /* as the run read it, a body line with the arguments in place;
                      * without its line end */
  unsigned expansion; /* as in ZqasmSymbol */
} ZqasmStatement;

typedef struct ZqasmRunObserver {
  void* context; /* handed to every callback */
  /* Each diagnostic as it is written to the error file, and each fatal condition. */
  void (*diagnostic)(void* context, const ZqasmDiagnostic* diagnostic);
  /* Each file opened for reading, in every pass (so a name comes more than once). */
  void (*fileRead)(void* context, const char* path, int kind);
  /* The images, once ".OBJ" and ".TAB" have been written in full. */
  void (*image)(void* context, const ZqasmImage* image);
  /* Entered at the start of every pass as if "#DEFINE NAME [VALUE]" stood first in the
   * source: names[i] with values[i] (NULL or "" for a flag of 1). Check them first with
   * ZqasmCheckDefine. */
  const char* const* defineNames;
  const char* const* defineValues;
  size_t defineCount;
  /* The facts of the run (see above); each may be NULL. */
  void (*symbol)(void* context, const ZqasmSymbol* symbol);
  void (*macroCall)(void* context, const ZqasmMacroCall* call);
  void (*code)(void* context, const ZqasmCode* code);
  /* The chip loaded by .CHIP (pass 0): its name text and its usable records in file
   * order. */
  void (*chip)(void* context, const char* name, const ZqasmOpcode* opcodes, size_t count);
  /* Asked before each line of every pass, lines of macro bodies included; nonzero ends
   * the run there (a host whose input changed meanwhile abandons it). A run so stopped
   * raises nothing more, shows no message, writes no image, constants, labels or totals,
   * and returns 1; an output file opened before keeps what was written to it (a host that
   * stops runs switches the output files off). NULL: every run goes to its end. */
  int (*shouldStop)(void* context);
  /* A fact of the run (see above): an origin, a reservation, a bank end NOP, table ROM
   * cells or the bank convert area; NULL when not wanted. */
  void (*placement)(void* context, const ZqasmPlacement* placement);
  /* Each statement of pass 2 (see ZqasmStatement); NULL when not wanted. */
  void (*statement)(void* context, const ZqasmStatement* statement);
} ZqasmRunObserver;

/* Installs the observer for the runs that follow (copied; NULL removes it). */
void ZqasmSetRunObserver(const ZqasmRunObserver* observer);

/* The operands RECORD takes, as a statement writes them ("value, @HL"; "address  |  page,
 * address" for the two forms of CALL and JMP; "" for none), as the run's notes of error 6
 * list them: written into TEXT (SIZE bytes, cut to fit, NUL-terminated when SIZE > 0).
 * Returns the length of the whole text. */
size_t ZqasmOperandForm(const ZqasmOpcode* record, char* text, size_t size);

/* Checks a define as the DEFINE directive would: 1 when valid, 0 for a bad name (a letter
 * or "_", then letters, digits and "_"), -1 for a value that is no number. */
int ZqasmCheckDefine(const char* name, const char* value);

#ifdef __cplusplus
}
#endif

#endif /* ZQASM_OBSERVER_H_ */
