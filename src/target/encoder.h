// Instruction encoder: splits an instruction statement, finds the form of the mnemonic
// in the chip's table, evaluates and checks the operands and builds the 16-bit word.
#ifndef ZQASM_TARGET_ENCODER_H_
#define ZQASM_TARGET_ENCODER_H_

#include <cstdint>
#include <string>

namespace zq {

struct AssemblerRun;

// Instruction statement. 1 assembled, 0 empty, -1 more than 32 fields or refused,
// resultUnknownMnemonic, resultBadOperandCount, or resultFatal.
int assembleInstruction(AssemblerRun& run, const std::string& text, int pass, int& fieldCount,
                        int macroContext, uint32_t lineNumber);
// Splits a statement into field[1..]; applies DEFSTRING substitution. Returns the count
// (33 when a 33rd field was met).
int splitStatement(AssemblerRun& run, const std::string& text);
// Encodes the split statement. 2 success, 0 n < 1, -1 refused, resultUnknownMnemonic,
// resultBadOperandCount.
int encodeInstruction(AssemblerRun& run, int n, int pass);
// Reads up to `count` (all when negative, at most 8) hexadecimal characters.
uint32_t readHex(const std::string& text, int count);

}  // namespace zq

#endif  // ZQASM_TARGET_ENCODER_H_
