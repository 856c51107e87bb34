// What follows a successful encoding: the bank rules of banked chips, the instruction
// record and its ".MAP" record, and the advance of the location counter.
#ifndef ZQASM_CHIP_BANK_FIXUP_H_
#define ZQASM_CHIP_BANK_FIXUP_H_

#include <cstdint>

namespace zq {

struct AssemblerRun;

// Banked chips: where an instruction encoded at statementAddress (its word in the code
// text) must go instead, or -1 when it stays. The last words of banks 0 and 1 (0FFFh,
// 1FFFh) hold only a NOP (0000h), so any other instruction there goes to the first word
// of the next bank, past the bank convert area if that starts there.
int32_t bankEndDestination(const AssemblerRun& run);
// The addresses kept for that NOP, which the bank switch needs: the last words of banks
// 0 and 1.
inline bool isBankEndAddress(int32_t address) { return address == 0x0FFF || address == 0x1FFF; }

// Moves the instruction to `movedTo` (from bankEndDestination) before it is encoded for
// its new address: in pass 2 a NOP takes the old address (five listing lines and its
// record, no far target); statementAddress and locationCounter become `movedTo`. Runs in
// every pass, so labels agree between the passes. Returns 1; resultRomOverflow when
// `movedTo` lies beyond programRomTop, where the instruction is refused like any statement
// beyond the ROM (it takes its word; the listing raises error 22); resultFatal when the
// NOP cannot be recorded.
int moveToNextBank(AssemblerRun& run, int pass, int32_t movedTo);

// After a successful encoding at statementAddress: error 63 (banked chips), the record
// and its ".MAP" line in pass 2, and the advance of locationCounter. Returns 1, or
// resultFatal when the record cannot be made.
int finishInstruction(AssemblerRun& run, int byteCount, int pass, uint32_t lineNumber);

}  // namespace zq

#endif  // ZQASM_CHIP_BANK_FIXUP_H_
