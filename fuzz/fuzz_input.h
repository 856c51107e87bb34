// One fuzz input through the whole assembler, or through the image reading of zqdis. The
// libFuzzer harnesses call these, and so
// does the test that replays tests/fuzz-regressions/ in the ordinary build, so an input
// saved from a fuzzing run behaves the same in both.
#ifndef ZQASM_FUZZ_FUZZ_INPUT_H_
#define ZQASM_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>

namespace zqfuzz {

// Source text. Byte 0 chooses how the rest is used; its bits, from the lowest:
//   0     put a ".CHIP" line for one of the bundled chip models before the text;
//   1     split the text at its first NUL byte: before it the main source, after it the
//         include file "INC.ASM" (found through the first include directory);
//   2..4  the model of the ".CHIP" line, counted modulo the number of bundled chips;
//   5     compare label names with regard to case;
//   6     banked program ROM (top 2FFFh) instead of 0FFFh;
//   7     table ROM top 0FFh instead of none.
// Returns what Run44Assembler returned, or 2 for an empty input.
int runSourceInput(const uint8_t* data, size_t size);

// Chip description file: the bytes are the ".COE" file of the chip that a fixed source,
// which uses every operand form, names. It is assembled twice, for an unbanked ROM with
// table ROM and for a banked ROM without. Returns the result of the second run.
int runChipInput(const uint8_t* data, size_t size);

// Program image, read as zqdis reads one. Byte 0 chooses how the rest is used; its bits,
// from the lowest:
//   0..2  the chip, one of the bundled models counted modulo their number (an ".OBJ" is
//         read with the chip its header names, this one first among equal names);
//   3     the listing form of the text instead of source;
//   4     bytes 1..4 are the ROM top (little-endian, signed) instead of the one zqdis takes;
//   5     the rest is raw words, low byte first, instead of an ".OBJ" or Intel HEX file;
//   6     raw words: each is followed by its written flag byte (else there are no flags).
// Every query of the disassembler is made on the reading and the text written. Returns
// 0, 1 for an image the file readers refuse, or 2 for an empty input.
int runImageInput(const uint8_t* data, size_t size);

}  // namespace zqfuzz

#endif  // ZQASM_FUZZ_FUZZ_INPUT_H_
