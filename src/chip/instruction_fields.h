// The instruction word as the chip records describe it, read by both directions: the
// encoder (statement to word) and the decoder (word to statement). The form byte and kind
// of OpcodeEntry say how many operands a form takes and how each fills its field:
//
//   form byte:  | 80h op2 not 40h-6Fh | 40h op1 not 40h-6Fh | 20h op2 RAM | 10h op1 RAM |
//               | low nibble: 0 plain, 15 one operand written "@HL", 1-14 other forms  |
//
// A field's shift is the index of the lowest set bit of its mask, its limit the mask
// shifted down by that much; a RAM operand is encoded relative to 40h.
#ifndef ZQASM_CHIP_INSTRUCTION_FIELDS_H_
#define ZQASM_CHIP_INSTRUCTION_FIELDS_H_

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace zq {

// Form byte.
constexpr uint8_t kFormNibble = 0x0F;
constexpr uint8_t kFormHl = 0x0F;       // one operand is written "@HL"
constexpr uint8_t kRamOperand1 = 0x10;  // operand 1 is a RAM address 40h-7Fh
constexpr uint8_t kRamOperand2 = 0x20;
constexpr uint8_t kNotReservedOperand1 = 0x40;  // operand 1 must avoid 40h-6Fh
constexpr uint8_t kNotReservedOperand2 = 0x80;

// Operand kinds (OpcodeEntry::kind).
constexpr int kKindPlain = 0;
constexpr int kKindAddress = 1;
constexpr int kKindPair = 2;
constexpr int kKindPairHlFirst = 3;
constexpr int kKindShifted = 5;
constexpr int kKindBits = 11;
constexpr int kKindRegisterFirst = 22;
constexpr int kKindRegisterSecond = 23;

constexpr uint32_t kRamBase = 0x40;
constexpr uint32_t kReservedRamEnd = 0x6F;
constexpr uint32_t kBankedTop = 0x2FFF;  // banked CALL/JMP destinations end here
constexpr uint32_t kPageHalf = 0x800;    // conditional jumps reach one half of a 4K page

// Index of the lowest set bit among bits 0-11; 12 when only higher bits are set; 0 for 0.
inline int maskShift(uint16_t mask) {
  if (mask == 0) return 0;
  const unsigned low = mask & 0x0FFFu;
  if (low == 0) return 12;
#if defined(__GNUC__)
  return __builtin_ctz(low);
#else
  int bit = 0;
  while ((low >> bit & 1u) == 0) ++bit;
  return bit;
#endif
}
// Count of binary digits of a number without leading zeros (1 for zero).
inline int binaryDigitCount(uint32_t value) {
#if defined(__GNUC__)
  return value == 0 ? 1 : 32 - __builtin_clz(value);
#else
  int count = 1;
  for (int step : {16, 8, 4, 2, 1}) {
    if (value >> step) {
      value >>= step;
      count += step;
    }
  }
  return count;
#endif
}

// Fails where the mask has a 0 digit and the value a 1 digit, over the first 13 binary
// digits (written without leading zeros, compared from the left) of mask + 1000h and
// value + 1000h, each taken as a 16-bit number. The added 1000h aligns the two digit
// strings for 12-bit numbers, where this is "no bit of the value outside the mask".
inline bool bitsCheck(uint32_t mask, uint32_t value) {
  if (value == 0) return true;
  uint32_t maskDigits = (mask + 0x1000) & 0xFFFF;
  uint32_t valueDigits = (value + 0x1000) & 0xFFFF;
  int maskCount = binaryDigitCount(maskDigits);
  int valueCount = binaryDigitCount(valueDigits);
  int compared = std::min({13, maskCount, valueCount});
  // The leading `compared` digits of each, as numbers aligned at their right end.
  uint32_t maskLead = maskDigits >> (maskCount - compared);
  uint32_t valueLead = valueDigits >> (valueCount - compared);
  return (valueLead & ~maskLead) == 0;
}

// The conditional jumps (JB0-JB3, JNZ, JNC, JZ, JC), compared without regard to case:
// an 11-bit offset within their half page, targets looked up among the labels.
bool isConditionalJump(const std::string& mnemonic);
// "CALL" or "JMP" in any case: a 12-bit address, routed across banks on banked chips.
bool isCallOrJump(const std::string& mnemonic);
// First working register of the chip model (the four characters after "ZQ"): 18h on
// model 4410, 70h on every other.
uint32_t workingRegisterBase(const std::string& model);

}  // namespace zq

#endif  // ZQASM_CHIP_INSTRUCTION_FIELDS_H_
