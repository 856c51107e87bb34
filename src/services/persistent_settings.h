// The only state that outlives a run: settings the assembler keeps from one call of
// Run44Assembler to the next within one process. Everything else belongs to the run.
#ifndef ZQASM_SERVICES_PERSISTENT_SETTINGS_H_
#define ZQASM_SERVICES_PERSISTENT_SETTINGS_H_

#include <cstdint>
#include <string>

#include "platform/source_overlay.h"

namespace zq {

// The output files a host may leave out (ZqasmSetOutputs), one bit each, in the order of
// their names in kOutputKindNames.
enum OutputKind : uint32_t {
  kOutputObj = 1u << 0,
  kOutputTab = 1u << 1,
  kOutputLst = 1u << 2,
  kOutputErr = 1u << 3,
  kOutputSym = 1u << 4,
  kOutputMap = 1u << 5,
  kOutputLbl = 1u << 6,
  kOutputEqu = 1u << 7,
  kOutputRam = 1u << 8,
};
constexpr uint32_t kAllOutputKinds = (1u << 9) - 1;
constexpr const char* kOutputKindNames[] = {"obj", "tab", "lst", "err", "sym",
                                            "map", "lbl", "equ", "ram"};

struct PersistentSettings {
  // In-bank range kept free for the bank convert trampolines; set by BANKCONVERTAREA
  // and not reset by a run, so the last setting holds for later runs.
  uint16_t bankConvertStart = 0x100;
  uint16_t bankConvertEnd = 0x1FF;
  // Last RAM address allocated by a DATA segment; continues across runs unless a
  // DATA segment sets it with ORG.
  int16_t ramCounter = -1;
  // Installed by the host (ZqasmSetOutputStem) and kept until it changes it: when not
  // empty, every output is named this stem plus its extension instead of after the
  // source. Held as given; made absolute when a run derives its names.
  std::string outputStem;
  // Installed by the host (ZqasmSetImageOutputs) and kept until it changes them: the name
  // of the program image when it is not the ".OBJ" name (held as given, made absolute
  // when a run derives its names; empty: the ".OBJ" name), and whether the images are
  // also written in Intel HEX (".HEX", ".TAB.HEX").
  std::string imageName;
  bool intelHex = false;
  // Installed by the host (ZqasmSetBinaryImage): the name of a flat binary image written
  // with the other images (held as given); empty: none.
  std::string binaryImageName;
  // Installed by the host (ZqasmSetOutputs): the OutputKind bits of the files written.
  uint32_t outputKinds = kAllOutputKinds;
  // Installed by the host (ZqasmSetSourceText) and kept until it changes them: texts read
  // in place of source and include files, an editor's unsaved buffers.
  SourceOverlay sourceOverlay;
  // Installed by the host (ZqasmSetOutputFiles): when false a run creates, replaces and
  // removes no file; what it finds reaches the host through the run observer alone.
  bool writeOutputs = true;
  // Installed by the host (ZqasmSetWarnings): one bit per trap warning it asked for, bit 0
  // for the first (kFirstTrapWarning); none by default. Cleared by resetRunSettings.
  uint32_t trapWarnings = 0;
  // Installed by the host (ZqasmSetWarnings "no-NAME"): bit n set turns warning n (below
  // kFirstTrapWarning, which are on by default) off. Cleared by resetRunSettings.
  uint32_t warningsOff = 0;
};

// The one instance, made on first use. Inline: the statement path reads it per line.
inline PersistentSettings& persistentSettings() {
  static PersistentSettings settings;
  return settings;
}

// Gives the settings that a run's source changes (bank convert bounds, RAM counter) the
// values they have when the library is loaded, and gives every warning its default (the
// trap warnings off, the others on); the host's other settings stay.
void resetRunSettings(PersistentSettings& settings);

}  // namespace zq

#endif  // ZQASM_SERVICES_PERSISTENT_SETTINGS_H_
