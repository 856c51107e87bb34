/* zqasm: assembler for the ZQ family of 4-bit microcontrollers.
 *
 * The host fills an AssemblerParams block and calls Run44Assembler once per assembly.
 * The block layout is a fixed interface shared with existing hosts: every field sits at
 * the byte offset noted beside it, integers are little-endian, texts are NUL-terminated
 * 8-bit strings in fixed slots. This header is plain C.
 *
 * Run44Assembler, ZqasmResetRunSettings and ZqasmSetWarnings are in the shared library
 * (libzqasm.so, zqasm.dll; CMake zqasm::zqasm, pkg-config zqasm) and in the static library
 * (libzqasm.a; CMake zqasm::zqasm_static, pkg-config zqasm-static). The other functions
 * here are in the static library only.
 */
#ifndef ZQASM_ASSEMBLER_H_
#define ZQASM_ASSEMBLER_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZQASM_PATH_SLOT 258
#define ZQASM_EXTRA_INCLUDE_DIRS 32

typedef struct AssemblerParams {
  char sourcePath[ZQASM_PATH_SLOT];      /*    0 in: main source file */
  char maskOptionPath[ZQASM_PATH_SLOT];  /*  258 in: mask option file (some models only) */
  char includeDir1[ZQASM_PATH_SLOT];     /*  516 in: first include directory, may be empty */
  char includeDir2[ZQASM_PATH_SLOT];     /*  774 in: second include directory, may be empty */
  char includeDirs[ZQASM_EXTRA_INCLUDE_DIRS][ZQASM_PATH_SLOT]; /* 1032 in: up to first empty */
  char chipDirectory[260];               /* 9288 in: directory of the .COE chip files */
  int32_t programRomTop;                 /* 9548 in: highest program ROM address */
  int32_t tableRomTop;                   /* 9552 in: highest table ROM address, <0 none */
  char chipName[32];                     /* 9556 out: name text of the loaded chip file */
  char versionText[64];                  /* 9588 out: "Assembler Version 4.6.1" */
  int32_t labelCaseSensitive;            /* 9652 in: nonzero compares names with case */
  uint16_t codeEnd;                      /* 9656 out: last code address + 1 */
  uint16_t tableRomUsed;                 /* 9658 out: highest used table address + 1, or 0 */
} AssemblerParams;

/* Runs one assembly. Returns 1 after a run (whatever its error count; a fatal stop also
 * writes its text into the error file and the listing), 0 when the run's tables cannot be
 * allocated, -1 when the source or an output file cannot be opened or an output could
 * not be written in full.
 * Not reentrant: one call at a time per process. */
int Run44Assembler(AssemblerParams* params);

/* Receives each one-line message the run shows (fatal conditions, open failures).
 * The default sink writes the text and a line end to standard error. Passing NULL
 * restores the default. Available to programs that link the static library. */
typedef void (*ZqasmMessageSink)(const char* text, void* context);
void ZqasmSetMessageSink(ZqasmMessageSink sink, void* context);

/* Names the outputs of the runs that follow STEM plus their extension (STEM.OBJ,
 * STEM.LST, ...) instead of after the source; a relative stem is taken from the current
 * directory. NULL or "" restores naming after the source. The setting is copied.
 * Available to programs that link the static library. */
void ZqasmSetOutputStem(const char* stem);

/* The image files of the runs that follow. IMAGE, when neither NULL nor "", names the
 * program image instead of the .OBJ name (as given, a relative name taken from the
 * current directory; the other outputs keep their names). With INTEL_HEX nonzero the
 * images are also written in Intel HEX: NAME.HEX beside the program image and, when
 * there is a table ROM, NAME.TAB.HEX beside .TAB (NAME the stem of the other outputs).
 * Every image is written in full under a temporary name first, and then all are moved
 * over the old ones one right after the other, each image right before its Intel HEX
 * form: a run killed at any moment leaves the images of the earlier run or those of
 * this one, never a mix (but at the instant between an image's move and its HEX form's).
 * A run that writes no image (errors, a fatal stop, an image that could not be written)
 * removes those of an earlier run, .HEX files included. The settings are copied.
 * Available to programs that link the static library. */
void ZqasmSetImageOutputs(const char* image, int intelHex);

/* The output files of the runs that follow: NAMES is a comma-separated list (blanks
 * around a name are ignored) of obj, tab, lst, err, sym, map, lbl, equ and ram, one for
 * each file of that extension; NULL stands for all of them, the default. A file left out
 * is neither created, nor replaced, nor removed (one of an earlier run stays as it is);
 * the Intel HEX forms follow ZqasmSetImageOutputs alone. Returns 0, or -1 when a name is
 * unknown (the setting is then left as it was). The setting is copied.
 * Available to programs that link the static library. */
int ZqasmSetOutputs(const char* names);

/* Names a flat binary image for the runs that follow: the body of the ".OBJ" (one word
 * per ROM address, low byte first, the words no statement wrote filled as there) without
 * its header text, written, replaced and removed together with the other images (see
 * ZqasmSetImageOutputs), right after the program image's Intel HEX form. A relative name
 * is taken from the current directory; NULL or "" writes none. The setting is copied.
 * Available to programs that link the static library. */
void ZqasmSetBinaryImage(const char* name);

/* Writes the version text into params->versionText, as every run does, without a run.
 * Available to programs that link the static library. */
void ZqasmFillVersionText(AssemblerParams* params);

/* A run leaves two settings to the runs after it in the same process: the bounds of the
 * bank convert area (.BANKCONVERTAREA) and the RAM address counter of DATA segments,
 * which goes on from where the last run's DATA segment stopped unless an ORG sets it.
 * This gives both the values they have when the library is loaded (area 100h to 1FFh,
 * RAM from address 0), so that a host that runs many sources in one process (a language
 * server) gets the same result for a source whatever ran before it. The settings a host
 * installs (message sink, output stem, image outputs, source texts, output files) stay.
 * Available in the shared library too: a host that loads it calls this before each run
 * to get the same outputs for the same source (a .RAM that does not move every build). */
void ZqasmResetRunSettings(void);

/* Reads SIZE bytes at TEXT (copied) wherever the runs that follow would read the source
 * or include file NAME: an editor's unsaved buffer stands in for the file on disk, and
 * for a file that does not exist yet. NAME is made absolute against the current
 * directory; a run's include search and source name find it as they would find the file,
 * case ignored as for names on disk. TEXT NULL removes the text of NAME. Returns 1, or 0
 * when NAME is empty or there is no memory (the file on disk is then read). Chip and mask
 * option files are always read from disk.
 * Available to programs that link the static library. */
int ZqasmSetSourceText(const char* name, const char* text, size_t size);
/* Removes every text given with ZqasmSetSourceText. */
void ZqasmClearSourceTexts(void);

/* With WRITE 0 the runs that follow create, replace and remove no file at all (no .LST,
 * .ERR, .OBJ, ..., no stale .JMP removed): what they find reaches the host through the
 * run observer (zqasm/observer.h) alone. WRITE nonzero restores the output files.
 * Available to programs that link the static library. */
void ZqasmSetOutputFiles(int write);

/* Chooses the warnings of the runs that follow. NAMES is a comma-separated list (blanks
 * around a name are ignored) applied in order to the defaults: NAME turns a warning on,
 * "no-NAME" turns it off, "all" turns every warning on and "no-all" every one off; ""
 * (or NULL) keeps the defaults. The list replaces the previous setting. Warnings 0 to 4
 * are on by default:
 *   define-redefined        warning 0: a #DEFINE of a name defined before
 *   missing-endtable        warning 1: a table segment without its end
 *   macro-missing-parameter warning 2: a macro call that leaves a parameter blank
 *   working-register        warning 3: a working register operand below the registers
 *   text-after-eof          warning 4: text after a source file's end mark (1Ah)
 * The others point at the language's traps: the rules assemble such code without a word,
 * so a run raises them only when asked:
 *   undefined-in-condition  warning 5: an undefined symbol in .IF/.ELSEIF taken as 0
 *   parameter-in-word       warning 6: a macro parameter replaced inside a longer word
 *   truncation              warning 7: a value cut to fit where it is stored
 *   negative-unsigned       warning 8: a negative intermediate value read back unsigned
 *   mixed-operators         warning 9: operators of different kinds mixed without
 *                           parentheses, where the fixed left-to-right order differs
 *                           from the usual precedence
 * A warning turned off is not raised at all: the error file, the listing and their
 * totals leave it out. Returns 0, or -1 when a name is unknown (the setting is then left
 * as it was). ZqasmResetRunSettings restores the defaults. In the shared library too. */
int ZqasmSetWarnings(const char* names);

#ifdef __cplusplus
}
#endif

#endif /* ZQASM_ASSEMBLER_H_ */
