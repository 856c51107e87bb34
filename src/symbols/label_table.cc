// Work in progress.
#include "symbols/label_table.h"
#include "driver/run.h"

namespace zq {
int defineLabel(AssemblerRun&, const std::string&, int, uint32_t, size_t&, int) { return 0; }
int findLabel(AssemblerRun&, const std::string&) { return -1; }
int isValidSymbolName(const std::string&) { return 1; }
bool labelNamesEqual(const AssemblerRun&, const std::string& a, const std::string& b) { return a == b; }
}  // namespace zq
