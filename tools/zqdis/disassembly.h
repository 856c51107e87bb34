// One image file read back, as the zqdis command does it: the image told apart (".OBJ" or
// Intel HEX), its chip found by its header or given, its words read by the disassembler
// and written as source or a listing. The command and the round-trip tests share it.
#ifndef ZQASM_TOOLS_ZQDIS_DISASSEMBLY_H_
#define ZQASM_TOOLS_ZQDIS_DISASSEMBLY_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace zqdis {

struct Request {
  std::string imageName;  // as the user named it, for messages and the heading
  std::string bytes;      // the whole file
  std::string chipDirectory;
  std::string chip;  // --chip; empty: the ".OBJ" header names it
  bool listing = false;
};

struct Disassembly {
  std::string text;         // the source or listing
  std::string model;        // the chip read with
  int32_t romTop = -1;      // the ROM top the source must be assembled with
  size_t unreproduced = 0;  // words no source can give
};

// Results besides 0.
constexpr int kBadImage = 1;  // not an image, or its chip not found
constexpr int kUsage = 2;     // an Intel HEX image without a chip
constexpr int kNoMemory = 3;

// Reads the image of `request`. 0 with `out` filled, else one of the results above with
// `error` set to a message naming the file ("prog.OBJ: cut short: ...").
int disassemble(const Request& request, Disassembly& out, std::string& error);

}  // namespace zqdis

#endif  // ZQASM_TOOLS_ZQDIS_DISASSEMBLY_H_
