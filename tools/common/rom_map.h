// The ROM map: a picture of what a run put in program ROM (one strip per bank of 1000h
// words), table ROM and RAM, written as plain SVG. collectRomMap gathers the facts from
// the run observer; drawRomMap is a function of the facts alone, so every host that runs
// the assembler (zqasm --map-svg, a page) draws the same picture.
#ifndef ZQASM_TOOLS_ROM_MAP_H_
#define ZQASM_TOOLS_ROM_MAP_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "zqasm/observer.h"

namespace zqcli {

// What a program word or table cell holds. The names are the classes of the SVG.
enum class WordKind : uint8_t {
  kFree,        // nothing placed
  kCode,        // an instruction
  kData,        // a table ROM cell written
  kReserved,    // reserved by .DS
  kArea,        // bank convert area without a trampoline word
  kTrampoline,  // a word of a trampoline in the bank convert area
  kBankEndNop,  // the NOP at the end of a bank for an instruction moved on
  kMixed,       // (drawing only) words too few for a pixel each, of several kinds
};

constexpr uint32_t kNoFile = UINT32_MAX;

// Words of one kind placed together. `file` and `line` name the source line of the first
// word, `lastFile` and `lastLine` that of the last one (the same for a single statement).
struct MapRegion {
  WordKind kind = WordKind::kFree;
  uint32_t first = 0;  // program address or table cell
  uint32_t count = 0;
  uint32_t file = kNoFile;  // index into RomMapFacts::files
  unsigned line = 0;
  uint32_t lastFile = kNoFile;
  unsigned lastLine = 0;
};

// An ORG and the first label defined after it.
struct OrgBlock {
  uint32_t address = 0;
  std::string label;  // empty when none
  uint32_t file = kNoFile;
  unsigned line = 0;
  bool placed = false;  // a word was placed since (collecting only)
};

struct RamVariable {
  std::string name;
  int64_t first = 0;  // nibble address
  int64_t size = 0;   // nibbles
  uint32_t file = kNoFile;
  unsigned line = 0;
};

struct RomMapFacts {
  std::string source;      // the program's name for the heading
  int32_t romTop = 0xFFF;  // highest program address (banked above 1000h); negative: none
  int32_t tableTop = -1;   // highest table ROM cell; negative: no table ROM
  // The bank convert area of a banked chip: in-bank offsets areaStart to areaStart +
  // areaSize - 1 of every bank; size 0 when unknown.
  uint32_t areaStart = 0;
  uint32_t areaSize = 0;
  std::vector<std::string> files;  // source files named by the regions, as shown
  std::vector<MapRegion> program;  // in the order placed: a later region wins a word
  std::vector<MapRegion> table;
  std::vector<OrgBlock> blocks;  // in source order
  std::vector<RamVariable> ram;

  bool banked() const { return romTop > 0x1000; }
};

// The SVG document of `facts`. A run of words of one kind is one rectangle; neighbouring
// runs too narrow to see are drawn together as one "mixed" rectangle, so the text stays
// small for any program. Every region has a <title>: its address range and the source
// lines it came from.
std::string drawRomMap(const RomMapFacts& facts);

// Gathers the facts of one run. Install the observer that collectRomMap returns: it
// records what the map needs and hands every call on to `next` (copied), so a host keeps
// its own observer. The collector must outlive the run.
struct RomMapCollector {
  RomMapFacts facts;
  ZqasmRunObserver next{};
  std::map<std::string, uint32_t> fileIndex;
};
ZqasmRunObserver collectRomMap(RomMapCollector& collector, const ZqasmRunObserver& next);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_ROM_MAP_H_
