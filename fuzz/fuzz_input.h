// One fuzz input through the whole assembler. The libFuzzer harnesses call these, and so
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

}  // namespace zqfuzz

#endif  // ZQASM_FUZZ_FUZZ_INPUT_H_
