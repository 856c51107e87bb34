// Program image and object files: the instruction records collected in pass 2, the
// ".SYM" lines, and the ".RAM", ".OBJ" and ".TAB" files (and their Intel HEX forms)
// written after the passes.
#ifndef ZQASM_CHIP_OBJECT_FILE_H_
#define ZQASM_CHIP_OBJECT_FILE_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

struct AssemblerRun;

constexpr int kFarTargetEntries = 0x3000;

struct InstructionRecord {
  uint16_t address = 0;
  std::array<uint8_t, 6> bytes{};  // an instruction uses 2, low byte first
  uint8_t byteCount = 0;
};

// A source line as its diagnostics name it: an index into ObjectState::placeFiles and
// the line number in that file; line 0 where none was recorded.
struct SourcePlace {
  uint32_t file = 0;
  uint32_t line = 0;
};

struct ObjectState {
  std::vector<InstructionRecord> insertAddressTable;  // in assembly order
  // 65536 flags beside the list: the words that an instruction or a .DS reservation
  // holds (pass 2), for the overlap checks.
  std::vector<bool> addressUsed;
  std::vector<uint16_t> farTargetTable;               // 3000h entries, FFFFh none
  // Listing line of each address below 3000h as its last ".SYM" line names it (-1 none,
  // also for the addresses beyond its end: it grows as instructions are recorded); the
  // bank convert area matches redirected instructions to listing lines with it.
  std::vector<int32_t> symbolLines;
  std::string mapFileName;                            // name of the last ".MAP" record
  // Pass 2, banked chips: the line of each "CALL"/"JMP" with a far target, by address
  // (grows as they are recorded), so that the bank convert area can report on it after
  // the passes. The file names, each stored once per run of equal names.
  std::vector<SourcePlace> farCallerPlaces;
  std::vector<std::string> placeFiles;
};

// Byte `index` of the code text "LL HH" (0 the low byte, 1 the high byte); 0 when absent.
uint8_t codeTextByte(std::string_view codeText, size_t index);
// Records an instruction at `address` with bytes from the code text; writes its ".SYM"
// line. False when memory is exhausted.
bool recordInstruction(AssemblerRun& run, int byteCount, int address);
// 1 when a record or a .DS reservation holds the address locationCounter (16-bit
// compare), else 0.
int orgAddressUsed(AssemblerRun& run);
// Pass 2, .DS: marks the `count` words from `first` on that lie within the ROM (0 to
// programRomTop) as held, as a record holds its word, so that code or an ORG placed
// over them later is an overlap. True when one of them was held already.
bool reserveProgramWords(AssemblerRun& run, int32_t first, uint32_t count);
// The word of ".OBJ" at an address that no instruction covers: FFFFh on model 44W05,
// else 0000h.
uint16_t unwrittenWord(const AssemblerRun& run);
// Writes ".RAM", ".OBJ", ".TAB" (with intelHex also ".HEX" and ".TAB.HEX") and the host
// results. Called once after the passes. The images replace those of an earlier run
// together, or, in a run that makes none, those are removed. An output that cannot be
// written in full is shown as one that cannot be created, and sets the run's writeFailed
// (no image is then left); an ".OBJ" that cannot be made at all (44V09 header file
// missing, no memory) is a fatal stop: the run must not report success.
void writeObjectFiles(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_CHIP_OBJECT_FILE_H_
