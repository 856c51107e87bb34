// DEFINE and DEFSTRING. The define table lives for one pass, so a define is seen only by
// the statements after it; the string table is filled in pass 1 and read in pass 2.
#include "symbols/substitution.h"

#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "source/line_fields.h"
#include "symbols/constant_table.h"
#include "symbols/label_table.h"

namespace zq {

namespace {

constexpr int kErrorIllegalSymbol = 0;
constexpr int kErrorSyntax = 20;
constexpr int kWarningRedefinition = 0;

}  // namespace

int isValidDefineName(std::string_view name) {
  if (name.empty() || !(isLetter(name[0]) || name[0] == '_')) return -1;
  for (char c : name)
    if (!(isLetter(c) || isDigit(c) || c == '_')) return -1;
  return 1;
}

int defineSymbol(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber) {
  SourceState& s = run.source;
  // Directive word, name, value (one word without blanks).
  const int count = splitFields(s, line, 0);
  reportFieldCut(run, pass);
  if (count >= 2 && isValidDefineName(s.field[2]) != 1) {
    if (pass == 2) raiseError(run, kErrorIllegalSymbol);
    return -1;
  }
  int value = 1;  // a DEFINE without a value makes a flag
  if (count == 3) {
    value = definitionValue(run, s.field[3], pass);
    if (value < 0) return 0;
  } else if (count != 2) {
    // One field, or more than three: nothing is entered.
    if (pass == 2) raiseError(run, kErrorSyntax);
    return 0;
  }

  const std::string name = s.field[2].str();
  if (pass == 2) observeDefinition(run, ZQASM_SYMBOL_DEFINE, name, value);
  if (findDefine(run, name, value) != -1) {
    if (pass == 2) {
      raiseWarning(run, kWarningRedefinition);
      noteRedefinition(run, kWarningRedefinition, "define", 'D', name, false);
    }
    return 1;
  }
  if (pass == 2) recordDefinition(run, 'D', name, false, lineNumber);
  // A name longer than 64 characters is stored cut and so never found again: every
  // DEFINE of it appends another node.
  SubstitutionState& state = run.substitutions;
  state.defines.push_back(DefineNode{name.substr(0, kMaxSymbolName), value});
  state.defineByName.insert(state.defines.back().name,
                            static_cast<int32_t>(state.defines.size() - 1));
  return 1;
}

int findDefine(AssemblerRun& run, std::string_view name, int newValue) {
  SubstitutionState& state = run.substitutions;
  const int32_t found = state.defineByName.find(name);
  if (found < 0 || static_cast<size_t>(found) >= state.defines.size()) return -1;
  DefineNode& node = state.defines[static_cast<size_t>(found)];
  if (newValue >= 0) node.value = newValue;
  return node.value;
}

void freeDefineList(SubstitutionState& state) {
  state.defines.clear();
  state.defineByName.clear();
}

int defineString(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                 const char* keyword) {
  if (!hasDefinitionKeyword(line, keyword, "DEFSTRING")) return 0;
  return defineStringLine(run, line, pass, lineNumber);
}

int defineStringLine(AssemblerRun& run, const std::string& line, int pass, uint32_t) {
  SourceState& s = run.source;
  // Name, keyword, and the rest of the statement whole, blanks included.
  const int count = splitFields(s, line, 1);
  reportFieldCut(run, pass);
  if (count != 3) {
    if (pass == 2) raiseError(run, kErrorSyntax);
    return resultStringDefined;
  }
  if (pass == 2) observeDefinition(run, ZQASM_SYMBOL_STRING, s.field[1], -1, 0, s.field[3].str());
  if (pass == 1) {
    SubstitutionState& state = run.substitutions;
    state.strings.push_back(StringNode{s.field[1].str(), s.field[3].str()});
    state.stringByName.insert(s.field[1], static_cast<int32_t>(state.strings.size() - 1));
    state.stringNameLengths |= uint64_t{1} << (s.field[1].size() % 64);
    if (!s.field[1].empty())
      state.stringNameStarts |= uint64_t{1} << (static_cast<unsigned char>(s.field[1][0]) % 64);
  }
  return resultStringDefined;
}

int findString(const AssemblerRun& run, std::string_view name, std::string& text) {
  const SubstitutionState& state = run.substitutions;
  if (!state.mayBeStringName(name)) return -1;
  const int32_t found = state.stringByName.find(name);
  if (found < 0 || static_cast<size_t>(found) >= state.strings.size()) return -1;
  text = state.strings[static_cast<size_t>(found)].text;
  return found;
}

}  // namespace zq
