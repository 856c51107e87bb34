// Text substitutions: DEFINE names (numbers, rebuilt every pass) and DEFSTRING names
// (operand texts, built in pass 1 and kept for the run). Both compare names with case,
// whatever the label-case option says.
#ifndef ZQASM_SYMBOLS_SUBSTITUTION_H_
#define ZQASM_SYMBOLS_SUBSTITUTION_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flat_index.h"

namespace zq {

struct AssemblerRun;

struct DefineNode {
  std::string name;  // at most 64 characters
  int32_t value = 0;
};

struct StringNode {
  std::string name;
  std::string text;
};

struct SubstitutionState {
  std::vector<DefineNode> defines;  // in definition order; emptied after every pass
  NameIndex defineByName;           // first node per stored name
  std::vector<StringNode> strings;  // in definition order; kept for the run
  NameIndex stringByName;           // first node per name
  // Bit (length % 64) of every string name's length and bit (first character % 64) of
  // its first character: most statement fields are no string name, and these turn them
  // away before the index is asked.
  uint64_t stringNameLengths = 0;
  uint64_t stringNameStarts = 0;

  // False when no string name can be `name`, by its length and first character.
  bool mayBeStringName(std::string_view name) const {
    if ((stringNameLengths >> (name.size() % 64) & 1) == 0) return false;
    return name.empty() || (stringNameStarts >> (static_cast<unsigned char>(name[0]) % 64) & 1);
  }
};

// DEFINE handler, for an active DEFINE statement of passes 1 and 2 (the whole line).
// Returns 1 entered or updated, 0 value failed or wrong field count, -1 invalid name.
// Raises errors 0, 20 and the evaluator's errors, and warning 0 for a redefinition, in
// pass 2.
int defineSymbol(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber);
// Value bound to `name` or -1; a newValue >= 0 is stored first.
int findDefine(AssemblerRun& run, std::string_view name, int newValue);
// 1 when `name` may be a DEFINE name (letter or "_", then letters, digits, "_"), else -1.
int isValidDefineName(std::string_view name);
// Empties the define table; the driver calls it after every pass.
void freeDefineList(SubstitutionState& state);
// Offered the lines that the constant check did not take, outside DATA segments (keyword
// "DEFSTR"). 0 when the line is no string definition, resultStringDefined when handled.
// Raises error 20 in pass 2 for a wrong field count.
int defineString(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                 const char* keyword);
// The same for a line known to hold the keyword (the pass loop's line scan found it).
int defineStringLine(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber);
// Position of the first string named `name` (text copied out), or -1.
int findString(const AssemblerRun& run, std::string_view name, std::string& text);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_SUBSTITUTION_H_
