// What follows a successful encoding: the bank rules of banked chips, the instruction
// record and its ".MAP" record, and the advance of the location counter.
#ifndef ZQASM_CHIP_BANK_FIXUP_H_
#define ZQASM_CHIP_BANK_FIXUP_H_

#include <cstdint>

namespace zq {

struct AssemblerRun;

// Returns 1, or resultFatal when the record cannot be made.
int finishInstruction(AssemblerRun& run, int byteCount, int pass, uint32_t lineNumber);

}  // namespace zq

#endif  // ZQASM_CHIP_BANK_FIXUP_H_
