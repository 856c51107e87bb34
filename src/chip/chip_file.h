// Chip description file (".COE"): the instruction set of one chip model as fixed
// 20-byte records, loaded in pass 0 when the source names its chip with .CHIP.
//
// File layout (little-endian):
//   0      p bytes   chip name text; p = index of the first "." + 2, or 10 without one
//   p      2 bytes   instruction count N (usable when 1..7FFFh)
//   p+2    ...       filler up to q, the first "NOP" (any case) at p+1..p+12, else p+13
//   q      20 * N    OpcodeEntry records
//
// OpcodeEntry:
//   +0  mnemonic[6]  NUL-terminated, first character upper case
//   +6  form         | 80h op2 not 40h-6Fh | 40h op1 not 40h-6Fh | 20h op2 RAM 40h-7Fh |
//                    | 10h op1 RAM 40h-7Fh | low nibble: 0 plain, 15 "@HL", 1-14 other |
//   +7  kind         operand kind code (0, 1, 2, 3, 5, 11, 22, 23)
//   +8  opcode       base instruction word
//   +10 reserved
//   +12 mask 1       bits of operand 1 in the word
//   +14 reserved
//   +16 mask 2       bits of operand 2 in the word
//   +18 reserved
#ifndef ZQASM_CHIP_CHIP_FILE_H_
#define ZQASM_CHIP_CHIP_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flat_index.h"

namespace zq {

struct AssemblerRun;

struct OpcodeEntry {
  char mnemonic[6];
  uint8_t form;
  uint8_t kind;
  uint16_t opcode;
  uint16_t reserved1;
  uint16_t mask1;
  uint16_t reserved2;
  uint16_t mask2;
  uint16_t reserved3;
};
static_assert(sizeof(OpcodeEntry) == 20, "OpcodeEntry is a 20-byte file record");

constexpr size_t kOpcodeEntrySize = 20;

struct ChipState {
  int16_t instructionCount = 0;      // N; 0 or negative: no usable records
  std::vector<OpcodeEntry> opcodes;  // N records plus a zero record at the end
  uint16_t stopForbidden = 0;        // mask options forbid "STOP"
  // Records by mnemonic, in file order; built by indexMnemonics. The key is the
  // mnemonic upper-cased and packed into a number (see mnemonicKey in chip_file.cc).
  // The records of mnemonic k are mnemonicRecords[k]; k is found by the key.
  IntegerMap<int32_t> mnemonicByKey;
  std::vector<std::vector<int>> mnemonicRecords;
  // Class bits of each record's mnemonic (kMnemonicConditionalJump, kMnemonicCallOrJump),
  // worked out once by indexMnemonics: a statement whose mnemonic matched the record
  // has the same class, since the match ignores case as the classes do.
  std::vector<uint8_t> mnemonicClass;
};

// The conditional jumps "JB0" to "JB3", "JNZ", "JNC", "JZ", "JC": 11-bit targets within
// their half page, looked up among the labels (symbol class 3).
constexpr uint8_t kMnemonicConditionalJump = 1;
// "CALL" and "JMP": 12-bit targets, labels only (symbol class 4), far targets.
constexpr uint8_t kMnemonicCallOrJump = 2;

// Parsed form of a chip file image (for the loader and the zqcoe tool).
struct ChipImage {
  std::string name;                  // the p-byte name text
  size_t nameLength = 0;             // p
  int16_t count = 0;                 // N as a signed number
  size_t recordOffset = 0;           // q
  std::vector<OpcodeEntry> records;  // N records; missing bytes read as zero
};

// Decodes a chip file image. Never fails: a short image leaves records zero.
ChipImage decodeChipFile(const std::vector<uint8_t>& bytes);

// Loads the chip named in .CHIP. 1 success, -1 chip file missing, -2 mask options missing,
// -3 chip file unusable (a name text too long for the block).
int loadChipFile(AssemblerRun& run, const std::string& chipName);
// 0 model needs none or no power source line, 1 line read, -2 file missing.
int readMaskOptions(AssemblerRun& run);
// Rebuilds chip.mnemonicRecords from the opcode table; loadChipFile calls it, and so must
// any code that changes the table afterwards.
void indexMnemonics(ChipState& chip);
// True when a record has the mnemonic (first character upper-cased and compared
// exactly, the whole text without regard to case).
bool isMnemonic(const AssemblerRun& run, std::string_view word);
// Index of the first record at or after `from` that has the mnemonic `word` (same
// matching rule), or -1. The search ends at the zero record that closes the table.
int findMnemonic(const AssemblerRun& run, std::string_view word, size_t from);
// Indexes of all records that have the mnemonic `word`, in file order; nullptr for none.
const std::vector<int>* findMnemonicRecords(const AssemblerRun& run, std::string_view word);
// The four model characters after "ZQ" in the block's chip name ("" if shorter).
std::string chipModel(const AssemblerRun& run);
// True when chipModel equals `model` without regard to case (no string is made).
bool chipModelIs(const AssemblerRun& run, std::string_view model);
// The class bits of record `index` (0 for an index beyond the table).
inline uint8_t mnemonicClassOf(const ChipState& chip, int index) {
  if (index < 0 || static_cast<size_t>(index) >= chip.mnemonicClass.size()) return 0;
  return chip.mnemonicClass[static_cast<size_t>(index)];
}
// Releases the opcode table.
void releaseOpcodeTable(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_CHIP_CHIP_FILE_H_
