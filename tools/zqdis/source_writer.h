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

#include <string>

#include "zqasm/disassembler.h"

namespace zqdis {

struct WriteSettings {
  std::string imageName;  // the image as named on the command line
  std::string model;      // the chip, as .CHIP names it
  bool intelHex = false;  // the image came from Intel HEX (its ROM top was guessed)
  bool listing = false;   // columns for reading instead of source
};

// The source (or listing) of the image the disassembler read last.
std::string writeSource(const ZqasmDisassembler* disassembler, const WriteSettings& settings);

}  // namespace zqdis

#endif  // ZQASM_TOOLS_ZQDIS_SOURCE_WRITER_H_
