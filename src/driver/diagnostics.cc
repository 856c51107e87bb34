// Work in progress.
#include "driver/diagnostics.h"
#include "driver/run.h"

namespace zq {
const char* const kErrorTexts[kErrorTextCount] = {};
const char* const kWarningTexts[kWarningTextCount] = {};
void raiseError(AssemblerRun&, int) {}
void raiseWarning(AssemblerRun&, int) {}
void flushLineDiagnostics(AssemblerRun&, unsigned) {}
void dropLineDiagnostics(AssemblerRun&) {}
}  // namespace zq
