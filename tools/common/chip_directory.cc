// The chip directory of the tools; see chip_directory.h.
#include "common/chip_directory.h"

#include <cstdlib>

#include "platform/platform.h"

#ifndef ZQASM_DEFAULT_CHIP_DIR
#define ZQASM_DEFAULT_CHIP_DIR "chips"
#endif

namespace zqcli {

namespace {

// The chips of an installed copy lie in ../share/zqasm/chips beside its bin folder; those
// of a Windows build (and of a copy of its folder) in chips/ beside the program; a
// program run from the native build tree uses the chips built there.
std::string defaultChipDirectory() {
  std::string program = zq::executablePath();
  size_t slash = program.find_last_of("/\\");
  if (slash != std::string::npos) {
    for (const char* place : {"/../share/zqasm/chips", "/chips"}) {
      const std::string chips = program.substr(0, slash) + place;
      if (!zq::resolveExistingName(chips).empty()) return zq::fullPath(chips);
    }
  }
  return ZQASM_DEFAULT_CHIP_DIR;
}

}  // namespace

std::string chipDirectory(bool isGiven, const std::string& given) {
  if (isGiven) return given;
  const char* fromEnvironment = std::getenv("ZQASM_CHIP_DIR");
  return fromEnvironment && *fromEnvironment ? fromEnvironment : defaultChipDirectory();
}

}  // namespace zqcli
