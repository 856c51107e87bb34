// RAM (DATA ... ENDD) and table ROM (TABLE ... ENDT) segments: RAM name allocation,
// table ROM address/value pairs and the sequential data directives.
#ifndef ZQASM_DIRECTIVES_SEGMENT_H_
#define ZQASM_DIRECTIVES_SEGMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zq {

struct AssemblerRun;

struct RamName {
  int32_t first = 0;  // first RAM address
  int32_t size = 0;   // nibbles
  std::string name;   // at most 64 characters
};

constexpr int kRamLimit = 2048;

struct SegmentState {
  std::vector<RamName> ramNames;  // entry 0 unused; 1..ramNameCount filled in pass 1
  int32_t ramNameCount = 0;
  int32_t ramCheckCount = 0;
  int32_t tableRomTop = -1;        // from the block; negative: no table ROM
  std::vector<uint16_t> tableRom;  // tableRomTop + 1 cells, 0xFFFF when unwritten
  int32_t tableCounter = 0;        // next address for sequential table data
};

// -1 outside a DATA segment, else 0.
int defineRamName(AssemblerRun& run, const std::string& statement, int pass);
// -1 outside a TABLE segment, 1 after storing a pair, else 0.
int defineTableData(AssemblerRun& run, const std::string& statement, int pass);
// BYTE/DB (word mode false) and DW/WORD (word mode true). 0 or resultListedDirective.
int byteDataDirective(AssemblerRun& run, const std::string& statement, size_t position,
                      bool wordMode, int pass, uint32_t lineNumber);
// DSU. -1 or resultListedTable.
int stringDataDirective(AssemblerRun& run, const std::string& statement, size_t position,
                        int pass, uint32_t lineNumber);

// Text helpers of the data and conditional directives.
// Copies `text` into `out` up to a ";" or line feed outside quotes, dropping blanks and
// tabs outside quotes and keeping quoted parts (single or double) with their quotes.
// Returns 0 for an unterminated quote (error 32 in pass 2) or an empty copy, else 1.
int stripBlanks(AssemblerRun& run, const std::string& text, std::string& out, int pass);
// Splits at every comma (quoted or not); empty items are skipped.
std::vector<std::string> splitList(const std::string& text);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_SEGMENT_H_
