// DEFINE and DEFSTRING are not built yet: the directives are not taken and the tables
// stay empty; the lookups below already search them.
#include "symbols/substitution.h"

#include "driver/run.h"

namespace zq {

int defineSymbol(AssemblerRun&, const std::string&, int, uint32_t) { return -1; }

int findDefine(AssemblerRun& run, const std::string& name, int newValue) {
  for (DefineNode& node : run.substitutions.defines) {
    if (node.name == name) {
      if (newValue >= 0) node.value = newValue;
      return node.value;
    }
  }
  return -1;
}

int defineString(AssemblerRun&, const std::string&, int, uint32_t, const char*) { return 0; }

int findString(const AssemblerRun& run, const std::string& name, std::string& text) {
  const auto& strings = run.substitutions.strings;
  for (size_t i = 0; i < strings.size(); ++i) {
    if (strings[i].name == name) {
      text = strings[i].text;
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace zq
