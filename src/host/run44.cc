// The library's entry point for hosts, and the little state that belongs to the library
// as a whole rather than to one run: the load directory and the persistent settings.
// The load notification is the one system-specific piece here: DllMain on Windows, a
// load-time constructor elsewhere.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <iterator>
#include <string_view>

#include "driver/driver.h"
#include "platform/platform.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "zqasm/assembler.h"

namespace zq {

void resetRunSettings(PersistentSettings& settings) {
  const PersistentSettings loaded;
  settings.bankConvertStart = loaded.bankConvertStart;
  settings.bankConvertEnd = loaded.bankConvertEnd;
  settings.ramCounter = loaded.ramCounter;
  settings.trapWarnings = loaded.trapWarnings;
  settings.warningsOff = loaded.warningsOff;
}

namespace {

// The block is shared with hosts byte for byte, 32-bit and 64-bit alike: every build
// checks that each field sits at its offset.
#define ZQASM_CHECK_OFFSET(field, offset) \
  static_assert(offsetof(AssemblerParams, field) == (offset), #field " must be at " #offset)
ZQASM_CHECK_OFFSET(sourcePath, 0);
ZQASM_CHECK_OFFSET(maskOptionPath, 258);
ZQASM_CHECK_OFFSET(includeDir1, 516);
ZQASM_CHECK_OFFSET(includeDir2, 774);
ZQASM_CHECK_OFFSET(includeDirs, 1032);
ZQASM_CHECK_OFFSET(chipDirectory, 9288);
ZQASM_CHECK_OFFSET(programRomTop, 9548);
ZQASM_CHECK_OFFSET(tableRomTop, 9552);
ZQASM_CHECK_OFFSET(chipName, 9556);
ZQASM_CHECK_OFFSET(versionText, 9588);
ZQASM_CHECK_OFFSET(labelCaseSensitive, 9652);
ZQASM_CHECK_OFFSET(codeEnd, 9656);
ZQASM_CHECK_OFFSET(tableRomUsed, 9658);
#undef ZQASM_CHECK_OFFSET
static_assert(sizeof(AssemblerParams) >= 9660, "the block is at least 9,660 bytes long");

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

// The directory current at load time is remembered before any host code runs.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) zq::loadDirectory();
  return TRUE;
}
#else
__attribute__((constructor)) static void rememberLoadDirectory() { zq::loadDirectory(); }
#endif

// For programs linked with the static library; the shared library does not export these.
extern "C" void ZqasmSetMessageSink(ZqasmMessageSink sink, void* context) {
  zq::setMessageSink(sink, context);
}

extern "C" void ZqasmSetOutputStem(const char* stem) {
  // An allocation failure leaves the outputs named after the source.
  try {
    zq::persistentSettings().outputStem = stem != nullptr ? stem : "";
  } catch (const std::exception&) {
    zq::persistentSettings().outputStem.clear();
  }
}

extern "C" void ZqasmSetImageOutputs(const char* image, int intelHex) {
  zq::PersistentSettings& settings = zq::persistentSettings();
  settings.intelHex = intelHex != 0;
  // An allocation failure leaves the image under its ".OBJ" name.
  try {
    settings.imageName = image != nullptr ? image : "";
  } catch (const std::exception&) {
    settings.imageName.clear();
  }
}

extern "C" void ZqasmFillVersionText(AssemblerParams* params) {
  if (params != nullptr) zq::writeVersionText(params);
}

// Exported by the shared library too (exports.map, exports.def).
extern "C" __attribute__((visibility("default"))) void ZqasmResetRunSettings(void) {
  zq::resetRunSettings(zq::persistentSettings());
}

extern "C" int ZqasmSetSourceText(const char* name, const char* text, size_t size) {
  if (name == nullptr) return 0;
  zq::SourceOverlay& overlay = zq::persistentSettings().sourceOverlay;
  try {
    if (text == nullptr) {
      overlay.remove(name);
      return 1;
    }
    return overlay.set(name, std::string(text, size)) ? 1 : 0;
  } catch (const std::exception&) {
    // No memory: the file on disk is read, as if the text had never been given.
    overlay.remove(name);
    return 0;
  }
}

extern "C" void ZqasmClearSourceTexts(void) { zq::persistentSettings().sourceOverlay.clear(); }

extern "C" __attribute__((visibility("default"))) int ZqasmSetWarnings(const char* names) {
  // The whole list is read before anything changes, so an unknown name changes nothing.
  // It starts from the defaults (trap warnings off, the others on) and is applied in order.
  uint32_t trap = 0, off = 0;
  constexpr uint32_t kAllTrap = (1u << zq::kTrapWarningCount) - 1;
  constexpr uint32_t kAllOthers = (1u << zq::kFirstTrapWarning) - 1;
  const std::string_view list = names != nullptr ? names : "";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view name = list.substr(start, end - start);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    const bool turnOff = name.substr(0, 3) == "no-";
    if (turnOff) name.remove_prefix(3);
    if (name == "all") {
      trap = turnOff ? 0 : kAllTrap;
      off = turnOff ? kAllOthers : 0;
    } else if (!name.empty()) {
      const int number = zq::warningNumber(name);
      if (number < 0) return -1;
      uint32_t& bits = number >= zq::kFirstTrapWarning ? trap : off;
      const uint32_t bit = 1u << (number >= zq::kFirstTrapWarning ? number - zq::kFirstTrapWarning
                                                                   : number);
      // `off` holds the warnings turned off, `trap` those turned on.
      if (turnOff == (&bits == &off))
        bits |= bit;
      else
        bits &= ~bit;
    } else if (turnOff || (list.size() != 0 && list.find_first_not_of(" \t") != std::string_view::npos)) {
      return -1;  // an empty item between commas, or "no-" alone
    }
    start = end + 1;
  }
  zq::persistentSettings().trapWarnings = trap;
  zq::persistentSettings().warningsOff = off;
  return 0;
}

extern "C" int ZqasmSetOutputs(const char* names) {
  if (names == nullptr) {
    zq::persistentSettings().outputKinds = zq::kAllOutputKinds;
    return 0;
  }
  uint32_t kinds = 0;
  const std::string_view list(names);
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view item = list.substr(start, end - start);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    uint32_t bit = 0;
    for (size_t k = 0; k < std::size(zq::kOutputKindNames); ++k)
      if (item == zq::kOutputKindNames[k]) bit = 1u << k;
    // An empty item is allowed only as the whole of an empty list.
    if (bit == 0 && !(item.empty() && list.find_first_not_of(" \t") == std::string_view::npos))
      return -1;
    kinds |= bit;
    start = end + 1;
  }
  zq::persistentSettings().outputKinds = kinds;
  return 0;
}

extern "C" void ZqasmSetBinaryImage(const char* name) {
  zq::persistentSettings().binaryImageName = name != nullptr ? name : "";
}

extern "C" void ZqasmSetOutputFiles(int write) {
  zq::persistentSettings().writeOutputs = write != 0;
}
