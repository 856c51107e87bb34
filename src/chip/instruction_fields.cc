// Field rules shared by the encoder and the decoder; see instruction_fields.h.
#include "chip/instruction_fields.h"

#include "platform/text.h"

namespace zq {

bool isConditionalJump(const std::string& mnemonic) {
  if (mnemonic.empty() || toUpper(mnemonic[0]) != 'J') return false;
  static const char* const kJumps[] = {"JB0", "JB1", "JB2", "JB3", "JNZ", "JNC", "JZ", "JC"};
  for (const char* jump : kJumps)
    if (equalsNoCase(mnemonic, jump)) return true;
  return false;
}

bool isCallOrJump(const std::string& mnemonic) {
  return equalsNoCase(mnemonic, "CALL") || equalsNoCase(mnemonic, "JMP");
}

uint32_t workingRegisterBase(const std::string& model) {
  return equalsNoCase(model, "4410") ? 0x18 : 0x70;
}

}  // namespace zq
