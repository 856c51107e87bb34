// The text zqdis prints for an image read by the disassembler (zqasm/disassembler.h):
// assembly source that zqasm assembles back to the same image, or with --listing columns
// of address, word and statement for reading. The source looks like
//
//   ; prog.OBJ read back by zqdis: chip ZQ4460, program ROM top 0FFFh.
//   ; Assemble with: zqasm --rom-top 0FFFh FILE
//           .CHIP   ZQ4460
//           ORG     0010h
//   L0010:  LDA     01h             ; 0010 1010
//           JNZ     L0010           ; 0011 A010
//
// one statement per word, labels Lxxxx at every destination that holds a statement, ORG
// where a run of words starts after a gap, and the address and word as a comment.
#ifndef ZQASM_TOOLS_ZQDIS_SOURCE_WRITER_H_
#define ZQASM_TOOLS_ZQDIS_SOURCE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "zqasm/disassembler.h"

namespace zqdis {

struct WriteSettings {
  std::string imageName;  // the image as named on the command line
  std::string model;      // the chip, as .CHIP names it
  bool intelHex = false;  // the image came from Intel HEX
  bool romTopGuessed = false;  // Intel HEX without --rom-top
  bool listing = false;   // columns for reading instead of source
  uint32_t start = 0, stop = 0xFFFF;  // the addresses written
  // The table ROM (--table): a byte per address, -1 where none is written back;
  // `tableTop` is the --table-top to assemble with (-1: no table given).
  std::vector<int> table;
  int32_t tableTop = -1;
  bool tableTopGuessed = false;           // from a ".TAB.HEX", which does not hold it
  std::map<uint32_t, std::string> names;  // label names by address (--symbols)
  bool namesForOperands = false;          // value operands equal to an address as its name
};

// The source (or listing) of the image the disassembler read last; `unreproduced` gets
// the number of words from start to stop that no source can give.
std::string writeSource(const ZqasmDisassembler* disassembler, const WriteSettings& settings,
                        size_t& unreproduced);

}  // namespace zqdis

#endif  // ZQASM_TOOLS_ZQDIS_SOURCE_WRITER_H_
