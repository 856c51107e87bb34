// Bank convert area: trampolines that let CALL and JMP cross banks on banked chips,
// built after pass 2 on the word image.
#ifndef ZQASM_CHIP_BANK_CONVERT_H_
#define ZQASM_CHIP_BANK_CONVERT_H_

#include <cstdint>
#include <vector>

namespace zq {

struct AssemblerRun;

// Fills the areas of `words` (0x3002 words). True on success, false on overflow.
bool runBankConvertArea(AssemblerRun& run, std::vector<uint16_t>& words);

}  // namespace zq

#endif  // ZQASM_CHIP_BANK_CONVERT_H_
