/* zqasm disassembler: reads a program image back as statements of its chip, with the
 * chip description files the assembler reads. Every statement it gives is one that the
 * assembler turns back into the same word at the same address. In the static library only
 * (libzqasm.a; CMake zqasm::zqasm_static, pkg-config zqasm-static), like observer.h.
 * Plain C; no function here ends or blocks its caller.
 */
#ifndef ZQASM_DISASSEMBLER_H_
#define ZQASM_DISASSEMBLER_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZqasmDisassembler ZqasmDisassembler;

/* Results of ZqasmDisassemblerCreate. */
enum {
  ZQASM_DIS_OK = 0,
  ZQASM_DIS_NO_CHIP = 1,  /* no chip description MODEL.COE in the directory */
  ZQASM_DIS_BAD_CHIP = 2, /* the file is there but cannot be used */
  ZQASM_DIS_NO_MEMORY = 3,
  ZQASM_DIS_BAD_ARGUMENT = 4 /* a NULL, or a directory or model too long for the block */
};

/* Loads the chip MODEL from `chipDirectory`, found as .CHIP finds it (MODEL.COE, the
 * name matched without regard to case). NULL on failure, with the reason in `*status`. */
ZqasmDisassembler* ZqasmDisassemblerCreate(const char* chipDirectory, const char* model,
                                           int* status);
void ZqasmDisassemblerDestroy(ZqasmDisassembler* disassembler);

/* The chip file's name text, which the assembler writes at the start of ".OBJ" (for
 * model 44V09 it writes the name text of ZQ4427.COE instead). */
const char* ZqasmDisassemblerNameText(const ZqasmDisassembler* disassembler);

/* Reads an image of `count` words, word i at address i, for a program ROM top of
 * `romTop` (banked above 4096). `written` has a flag per word, nonzero where the image
 * holds a word (Intel HEX); NULL for a whole image (".OBJ"), where runs of four or more
 * fill words (0000h; FFFFh on the 44W05), and fill words no statement can write, are taken
 * as unwritten. Replaces the previous reading. 0, or -1 when out of memory or `count`
 * is above 10000h. */
int ZqasmDisassemblerRead(ZqasmDisassembler* disassembler, const uint16_t* words,
                          const uint8_t* written, size_t count, int32_t romTop);

/* With `on` nonzero, the reads that follow take runs of four or more fill words of an
 * Intel HEX image, and fill words no statement can write, as unwritten, as they do in a
 * whole image: a device read-back holds fill words wherever nothing was written. */
void ZqasmDisassemblerSetGaps(ZqasmDisassembler* disassembler, int on);

/* What the image is, as the last read found it. */
typedef struct ZqasmImageFacts {
  int32_t romTop;
  int banked;         /* romTop above 4096 */
  uint16_t fillWord;  /* the word of unwritten addresses in ".OBJ" */
  int areaFound;      /* banked: the bank convert area was found, at these offsets: */
  uint16_t areaStart; /* (the default 100h-1FFh when not found) */
  uint16_t areaEnd;
  int areaRebuilt;     /* the assembler builds the same areas from the routed CALL/JMPs */
  size_t unreproduced; /* words the source cannot reproduce (roles UNWRITABLE, and AREA
                          words with rebuilt 0 or writtenFill 1) */
} ZqasmImageFacts;

void ZqasmDisassemblerFacts(const ZqasmDisassembler* disassembler, ZqasmImageFacts* facts);

/* Roles of a word. */
enum {
  ZQASM_WORD_EMPTY = 0,       /* unwritten */
  ZQASM_WORD_INSTRUCTION = 1, /* the statement gives the word back here */
  ZQASM_WORD_AREA = 2,        /* a bank convert area word, written by the assembler */
  ZQASM_WORD_UNWRITABLE = 3   /* no statement puts this word here; see `reason` */
};
/* Why a word is unwritable. */
enum {
  ZQASM_REASON_NONE = 0,
  ZQASM_REASON_NO_RECORD = 1,  /* no record of the chip has the word's fixed bits */
  ZQASM_REASON_NO_TEXT = 2,    /* records fit, but no statement of theirs gives the word;
                                  `text` is the nearest one */
  ZQASM_REASON_BANK_END = 3,   /* 0FFFh, 1FFFh of a banked chip hold only 0000h */
  ZQASM_REASON_CPHL_PLACE = 4, /* CPHL may not stand at this address */
  ZQASM_REASON_IN_AREA = 5     /* in the skipped area of a bank above 2 */
};
/* Branches. */
enum { ZQASM_BRANCH_NONE = 0, ZQASM_BRANCH_CONDITIONAL = 1, ZQASM_BRANCH_CALL_JUMP = 2 };
/* Bank convert area words. */
enum {
  ZQASM_AREA_NONE = 0,
  ZQASM_AREA_JUMP_OVER = 1, /* word 0: JMP past the area */
  ZQASM_AREA_SELECT = 2,    /* SF2 40h/50h/60h, first word of a trampoline */
  ZQASM_AREA_JUMP_ON = 3,   /* JMP in the target bank, second word of a trampoline */
  ZQASM_AREA_UNUSED = 4,    /* 0000h */
  ZQASM_AREA_OTHER = 5
};

#define ZQASM_DIS_TEXT 48
#define ZQASM_DIS_OPERAND 24

typedef struct ZqasmWordReading {
  int role;
  int reason;
  uint16_t word;
  /* The statement in the source syntax, numbers in hexadecimal with "h" ("MOV 45h, 03h");
   * for a branch the destination is a number, and a routed CALL/JMP names its real
   * destination. Empty for EMPTY and AREA words. */
  char text[ZQASM_DIS_TEXT];
  char mnemonic[8];
  int operandCount;
  char operands[2][ZQASM_DIS_OPERAND];
  int branch;        /* ZQASM_BRANCH_... */
  int targetOperand; /* index in operands of the destination */
  uint32_t target;   /* the destination */
  int32_t via;       /* a routed CALL/JMP: address of its trampoline's SF2, else -1 */
  int warns;         /* the assembler warns on the statement (the word is the same) */
  int record;        /* index of the chip record read, -1 none */
  int area;          /* ZQASM_AREA_... for AREA words */
  int32_t farTarget; /* SELECT, JUMP_ON: where the trampoline leads, -1 unknown */
  int rebuilt;       /* AREA words: the assembler builds the same word here again */
  int writtenFill;   /* AREA words: a fill word the image holds as written (a device
                        read-back), which the assembler leaves unwritten */
} ZqasmWordReading;

/* The reading of the word at `address`. 0, or -1 for an address beyond the image read. */
int ZqasmDisassemblerWord(const ZqasmDisassembler* disassembler, uint32_t address,
                          ZqasmWordReading* reading);

#ifdef __cplusplus
}
#endif

#endif /* ZQASM_DISASSEMBLER_H_ */
