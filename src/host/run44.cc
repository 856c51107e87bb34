// Work in progress.
#include "zqasm/assembler.h"
#include "driver/driver.h"
#include "driver/persistent_settings.h"

namespace zq {
PersistentSettings& persistentSettings() { static PersistentSettings s; return s; }
}  // namespace zq
extern "C" __attribute__((visibility("default"))) int Run44Assembler(AssemblerParams* params) {
  return zq::runAssembly(params);
}
extern "C" void ZqasmSetMessageSink(ZqasmMessageSink, void*) {}
