// Work in progress.
#include "directives/directive.h"
#include "driver/run.h"

namespace zq {
const DirectiveEntry* findDirective(const std::string&) { return nullptr; }
int processDirective(AssemblerRun&, const std::string&, size_t, int, uint32_t) { return resultNotDirective; }
bool nextDirectiveWord(AssemblerRun&) { return false; }
}  // namespace zq
