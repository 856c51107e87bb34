// The library's entry point for hosts, and the little state that belongs to the library
// as a whole rather than to one run: the load directory and the persistent settings.
#include <cstdio>

#include "driver/driver.h"
#include "driver/persistent_settings.h"
#include "platform/platform.h"
#include "zqasm/assembler.h"

namespace zq {

PersistentSettings& persistentSettings() {
  static PersistentSettings settings;
  return settings;
}

namespace {

// Stands in for the process-attach notification of a Windows library: the directory
// current at load time is remembered before any host code runs.
__attribute__((constructor)) void rememberLoadDirectory() { loadDirectory(); }

// The library version is kept as a float, as hosts have always seen it: 4.61 printed with
// two decimals. Its digits are spread over "Assembler Version %c.%c.%c".
constexpr float kLibraryVersion = 4.61f;

void writeVersionText(AssemblerParams* params) {
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", static_cast<double>(kLibraryVersion));
  std::snprintf(params->versionText, sizeof params->versionText, "Assembler Version %c.%c.%c",
                number[0], number[2], number[3]);
}

}  // namespace
}  // namespace zq

extern "C" __attribute__((visibility("default"))) int Run44Assembler(AssemblerParams* params) {
  // A host that hands no block gets the result of a run that could not open its files.
  if (params == nullptr) return -1;
  // Written before the run, so a host sees it whatever the run returns.
  zq::writeVersionText(params);
  return zq::runAssembly(params);
}

// For programs linked with the static library; the shared library does not export it.
extern "C" void ZqasmSetMessageSink(ZqasmMessageSink sink, void* context) {
  zq::setMessageSink(sink, context);
}
