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
} ZqasmRunObserver;

/* Installs the observer for the runs that follow (copied; NULL removes it). */
void ZqasmSetRunObserver(const ZqasmRunObserver* observer);

/* Checks a define as the DEFINE directive would: 1 when valid, 0 for a bad name (a letter
 * or "_", then letters, digits and "_"), -1 for a value that is no number. */
int ZqasmCheckDefine(const char* name, const char* value);

#ifdef __cplusplus
}
#endif

#endif /* ZQASM_OBSERVER_H_ */
