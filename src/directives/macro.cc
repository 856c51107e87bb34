// Macros are not built yet: heads are not taken, calls are never found and no name is
// macro-local.
#include "directives/macro.h"

#include "source/source_state.h"

namespace zq {

int defineMacroHead(AssemblerRun&, const std::string&, int) { return resultNotDirective; }
void appendMacroLine(AssemblerRun&, const std::string&, uint32_t) {}
int expandMacro(AssemblerRun&, const std::string&, int, uint32_t, int) { return -1; }
void declareLocalLabels(AssemblerRun&, const std::string&, int) {}
int isMacroLocalName(const AssemblerRun&, const std::string&) { return 0; }
void addLocalLabel(AssemblerRun&, const std::string&, uint32_t) {}

}  // namespace zq
