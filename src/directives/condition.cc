// Conditional assembly is not built yet: every IF-family directive answers "not a
// directive", so the statement goes on as an ordinary one and nothing is pushed.
#include "directives/condition.h"

#include "source/source_state.h"

namespace zq {

int handleConditional(AssemblerRun&, int, const std::string&, int) { return resultNotDirective; }

}  // namespace zq
