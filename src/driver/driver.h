// The assembly driver: one run of pass 0, pass 1 and pass 2 and the end-of-run work.
#ifndef ZQASM_DRIVER_DRIVER_H_
#define ZQASM_DRIVER_DRIVER_H_

#include "zqasm/assembler.h"

namespace zq {

// Runs one assembly for the block. Returns 1 after a run, 0 when the tables cannot be
// allocated, -1 when the output file set cannot be prepared or an output could not be
// written in full.
int runAssembly(AssemblerParams* params);

}  // namespace zq

#endif  // ZQASM_DRIVER_DRIVER_H_
