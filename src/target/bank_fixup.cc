// Work in progress.
#include "target/bank_fixup.h"
#include "driver/run.h"

namespace zq {
int finishInstruction(AssemblerRun&, int, int, uint32_t) { return 1; }
}  // namespace zq
