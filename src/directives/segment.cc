// RAM and table ROM segments are not built yet: no statement is taken as segment data
// and the data directives answer "not a directive".
#include "directives/segment.h"

#include "source/source_state.h"

namespace zq {

int defineRamName(AssemblerRun&, const std::string&, int) { return -1; }
int defineTableData(AssemblerRun&, const std::string&, int) { return -1; }
int byteDataDirective(AssemblerRun&, const std::string&, size_t, bool, int, uint32_t) {
  return resultNotDirective;
}
int stringDataDirective(AssemblerRun&, const std::string&, size_t, int, uint32_t) {
  return resultNotDirective;
}

}  // namespace zq
