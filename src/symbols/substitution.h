// Text substitutions: DEFINE names (numbers, rebuilt every pass) and DEFSTRING names
// (operand texts, built in pass 1 and kept for the run).
#ifndef ZQASM_SYMBOLS_SUBSTITUTION_H_
#define ZQASM_SYMBOLS_SUBSTITUTION_H_

#include <cstdint>
#include <string>
#include <vector>

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
  std::vector<StringNode> strings;  // in definition order; kept for the run
};

// DEFINE handler: 1 entered or updated, 0 value failed, -1 invalid name.
int defineSymbol(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber);
// Value bound to `name` or -1; a newValue >= 0 is stored first.
int findDefine(AssemblerRun& run, const std::string& name, int newValue);
// 0 not a string definition, resultStringDefined when handled.
int defineString(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                 const char* keyword);
// Position of the first string named `name` (text copied out), or -1.
int findString(const AssemblerRun& run, const std::string& name, std::string& text);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_SUBSTITUTION_H_
