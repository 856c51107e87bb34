// RAM (DATA ... ENDD) and table ROM (TABLE ... ENDT) segments: RAM name allocation,
// table ROM address/value pairs and the sequential data directives.
#ifndef ZQASM_DIRECTIVES_SEGMENT_H_
#define ZQASM_DIRECTIVES_SEGMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/flat_index.h"

namespace zq {

struct AssemblerRun;

struct RamName {
  int32_t first = 0;  // first RAM address
  int32_t size = 0;   // nibbles
  std::string name;   // at most 64 characters
};

// Highest RAM address, and highest entry number less one: entries 1..kRamLimit+1 exist.
constexpr int kRamLimit = 2048;
// Longest stored RAM name.
constexpr size_t kMaxRamName = 64;

// Which addresses the RAM names checked so far cover: interval counts in a Fenwick tree
// over every address a name can start at (the RAM counter is 16 bits wide).
class RamCover {
 public:
  // Counts [first, last] as covered; the part outside the addresses is dropped.
  void add(int64_t first, int64_t last);
  bool covers(int64_t address) const;

 private:
  static constexpr int64_t kLowest = -32768;
  static constexpr int64_t kHighest = 32768;
  void addAt(int64_t address, int32_t delta);
  std::vector<int32_t> tree_;  // made at the first add
};

struct SegmentState {
  std::vector<RamName> ramNames;  // entry 0 unused; 1..ramNameCount filled in pass 1
  int32_t ramNameCount = 0;
  int32_t ramCheckCount = 0;
  // Beside entries 1..ramNamesIndexed (see indexRamNames): the first entry per name as
  // written and per upper-cased name (the label-case option chooses which one a lookup
  // uses). Valid until the output files sort the names.
  NameIndex firstRamByName;
  NameIndex firstRamByFoldedName{true};
  int32_t ramNamesIndexed = 0;
  bool ramNamesSorted = false;
  // What entries 1..ramCheckCount of pass 2 cover, for the overlap check.
  RamCover ramCover;
  int32_t tableRomTop = -1;        // from the block; negative: no table ROM
  std::vector<uint16_t> tableRom;  // tableRomTop + 1 cells, 0xFFFF when unwritten
  int32_t tableCounter = 0;        // next address for sequential table data
};

// Brings the name indexes up to entry ramNameCount (entries are only ever appended).
void indexRamNames(SegmentState& segments);
// -1 outside a DATA segment, else 0.
int defineRamName(AssemblerRun& run, const std::string& statement, int pass);
// -1 outside a TABLE segment, 1 after storing a pair, else 0.
int defineTableData(AssemblerRun& run, const std::string& statement, int pass);
// BYTE/DB (word mode false) and DW/WORD (word mode true). 0 or resultListedDirective.
int byteDataDirective(AssemblerRun& run, const std::string& statement, size_t position,
                      bool wordMode, int pass, uint32_t lineNumber);
// DSU. -1 or resultListedTable.
int stringDataDirective(AssemblerRun& run, const std::string& statement, size_t position, int pass,
                        uint32_t lineNumber);
// Writes one group of bytes[start..end) into the table ROM at tableCounter: at most four
// bytes, one cell each; with step 2 the bytes go in pairs. Returns the next start index
// and the bytes taken in `consumed`, or -1 (nothing left, no table ROM: error 65, or
// tableCounter past tableRomTop: error 52). Errors are raised in any pass.
int writeTableData(AssemblerRun& run, const std::vector<uint8_t>& bytes, int start, int end,
                   int step, int& consumed);
// The bytes of one BYTE/DB (byte mode) or DW/WORD (word mode) item, appended to `bytes`.
// Character literals and strings become numbers; the item is then evaluated, except a
// lone string in byte mode, which gives its characters. A quote of one kind inside a part
// quoted with the other is a character. Raises errors 25 and 31 in pass 2.
void appendDataItem(AssemblerRun& run, const std::string& item, bool wordMode, int pass,
                    std::vector<uint8_t>& bytes);

// Text helpers of the data and conditional directives.
// Copies `text` into `out` up to a ";" or line feed outside quotes, dropping blanks and
// tabs outside quotes and keeping quoted parts (single or double) with their quotes.
// Returns 0 for an unterminated quote (error 32 in pass 2) or an empty copy, else 1.
int stripBlanks(AssemblerRun& run, const std::string& text, std::string& out, int pass);
// Splits at every comma (quoted or not); empty items are skipped.
std::vector<std::string> splitList(const std::string& text);
// The items of a data directive: splits at the commas outside single and double quotes
// (a comma in a string or a character literal is data); empty items are skipped.
std::vector<std::string> splitDataList(const std::string& text);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_SEGMENT_H_
