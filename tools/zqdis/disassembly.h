// One image file read back, as the zqdis command does it: the image told apart (".OBJ" or
// Intel HEX), its chip found by its header or given, its words read by the disassembler
// and written as source or a listing. The command and the round-trip tests share it.
#ifndef ZQASM_TOOLS_ZQDIS_DISASSEMBLY_H_
#define ZQASM_TOOLS_ZQDIS_DISASSEMBLY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zqdis {

struct Request {
  std::string imageName;  // as the user named it, for messages and the heading
  std::string bytes;      // the whole file
  std::string chipDirectory;
  std::string chip;  // --chip; empty: the ".OBJ" header names it
  bool listing = false;
  bool gaps = false;    // --gaps: fill words of Intel HEX read as unwritten
  int64_t romTop = -1;  // --rom-top for Intel HEX; -1: the end of the last word's bank
  uint32_t start = 0;   // --start, --stop: the addresses written
  uint32_t stop = 0xFFFF;
  std::string tableName;  // --table: the table ROM image (".TAB" or ".TAB.HEX")
  std::string tableBytes;
  std::string symbolsName;  // --symbols: the label file (".LBL") of the image
  std::string symbolsText;
  bool symbolsForOperands = false;
};

struct Disassembly {
  std::string text;         // the source or listing
  std::string model;        // the chip read with
  int32_t romTop = -1;      // the ROM top the source must be assembled with
  size_t unreproduced = 0;  // words no source can give
  std::vector<std::string> warnings;  // "NAME: line 5: ...", for standard error
};

// Results besides 0.
constexpr int kBadImage = 1;  // not an image, or its chip not found
constexpr int kUsage = 2;     // an Intel HEX image without a chip
constexpr int kNoMemory = 3;

// True when `name` ends in ".TAB" or ".TAB.HEX" (case not counting): a table ROM image.
bool isTableImageName(const std::string& name);

// Reads the image of `request`. 0 with `out` filled, else one of the results above with
// `error` set to a message naming the file ("prog.OBJ: cut short: ...").
int disassemble(const Request& request, Disassembly& out, std::string& error);

}  // namespace zqdis

#endif  // ZQASM_TOOLS_ZQDIS_DISASSEMBLY_H_
