// The assembly driver: one run of pass 0, pass 1 and pass 2 and the end-of-run work.
#ifndef ZQASM_DRIVER_DRIVER_H_
#define ZQASM_DRIVER_DRIVER_H_

#include "zqasm/assembler.h"

namespace zq {

struct AssemblerRun;

// Runs one assembly for the block. Returns 1 after a run, 0 when the tables cannot be
// allocated, -1 when the output file set cannot be prepared or an output could not be
// written in full.
int runAssembly(AssemblerParams* params);

// Resets the per-pass state before `pass` (condition stacks, segment flags, counters).
void beginPass(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_DRIVER_DRIVER_H_
