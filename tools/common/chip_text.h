// Readable text form of a chip description file (".COE"), for the zqcoe tool and its
// tests. The text names the chip and lists one instruction record per line:
//
//   # comment (anywhere on a line); blank lines are ignored
//   chip ZQ4460                  first statement: the name text
//   filler 2                     optional: bytes between the count and the records (0..10)
//   NOP   00  0 0000 0000 0000   MNEMONIC FORM KIND OPCODE MASK1 MASK2
//
// FORM (2 hex digits), OPCODE, MASK1 and MASK2 (up to 4 hex digits) are hexadecimal,
// KIND is decimal. The first record must be NOP, since the loader finds the records by
// searching for it. formatChipText writes the canonical form, which compiles back to the
// same image.
#ifndef ZQASM_TOOLS_CHIP_TEXT_H_
#define ZQASM_TOOLS_CHIP_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chip/chip_file.h"

namespace zq {

// Everything the text form holds; the reserved words of the records are always zero.
struct ChipDescription {
  std::string name;                  // the name text, without padding
  size_t filler = 0;                 // zero bytes between the count and the records
  std::vector<OpcodeEntry> records;  // in file order, NOP first
};

// A problem found in a text or an image. `line` is 1-based, 0 for an image.
struct ChipTextError {
  int line = 0;
  std::string message;
};

constexpr size_t kMaxFiller = 10;
constexpr size_t kMaxChipRecords = 32767;

// Length p of the name area for `name`: index of its first "." plus 2, or 10 without one.
size_t chipNameLength(const std::string& name);

// Parses the text form. False with `error` set when it is malformed.
bool parseChipText(const std::string& text, ChipDescription& chip, ChipTextError& error);

// The binary image of a valid description (name area, count, filler, 20-byte records).
std::vector<uint8_t> encodeChipImage(const ChipDescription& chip);

// Reads an image the way the assembler's loader does: name length from the first ".",
// the count, the records from the first "NOP" within twelve bytes after the name. False
// when the image cannot be shown in the text form (error set).
bool decodeChipImage(const std::vector<uint8_t>& image, ChipDescription& chip,
                     ChipTextError& error);

// The canonical text form.
std::string formatChipText(const ChipDescription& chip);

}  // namespace zq

#endif  // ZQASM_TOOLS_CHIP_TEXT_H_
