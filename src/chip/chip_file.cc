// Chip description file loader and mask option reader. The file layout and the
// OpcodeEntry record are drawn in chip_file.h.
#include "chip/chip_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/text.h"
#include "services/run.h"
#include "services/run_observer.h"

namespace zq {

namespace {

// The name text is looked for in the first 64 bytes; its "." fixes p.
constexpr size_t kNameScanBytes = 64;
constexpr size_t kNameLengthWithoutDot = 10;
// The records start at the first "NOP" among the twelve offsets after p.
constexpr size_t kNopSearchOffsets = 12;
// Largest file prefix that can matter: q is at most p + 13 (p at most 65) and at most
// 7FFFh records follow. Bytes beyond are never read.
constexpr size_t kMaxUsefulBytes = kNameScanBytes + 1 + 13 + kOpcodeEntrySize * 0x7FFF;
// Mask option lines are read in pieces of at most 255 characters.
constexpr size_t kMaskLineBuffer = 256;

// One byte of the image; bytes past its end read as zero, as in a zeroed buffer.
uint8_t byteAt(const std::vector<uint8_t>& bytes, size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}

uint16_t wordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint16_t>(byteAt(bytes, offset) | (byteAt(bytes, offset + 1) << 8));
}

OpcodeEntry decodeRecord(const std::vector<uint8_t>& bytes, size_t offset) {
  OpcodeEntry entry;
  for (size_t i = 0; i < sizeof entry.mnemonic; ++i)
    entry.mnemonic[i] = static_cast<char>(byteAt(bytes, offset + i));
  entry.form = byteAt(bytes, offset + 6);
  entry.kind = byteAt(bytes, offset + 7);
  entry.opcode = wordAt(bytes, offset + 8);
  entry.reserved1 = wordAt(bytes, offset + 10);
  entry.mask1 = wordAt(bytes, offset + 12);
  entry.reserved2 = wordAt(bytes, offset + 14);
  entry.mask2 = wordAt(bytes, offset + 16);
  entry.reserved3 = wordAt(bytes, offset + 18);
  return entry;
}

// Reads at most `limit` bytes of an open stream.
std::vector<uint8_t> readPrefix(FILE* stream, size_t limit) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  while (bytes.size() < limit) {
    size_t wanted = std::min(sizeof buffer, limit - bytes.size());
    size_t got = std::fread(buffer, 1, wanted, stream);
    if (got == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

}  // namespace

ChipImage decodeChipFile(const std::vector<uint8_t>& bytes) {
  ChipImage image;
  // p: the name takes its first "." and one character after it. A NUL (or the end of a
  // short image) before any "." leaves the fixed length.
  size_t p = kNameLengthWithoutDot;
  for (size_t d = 0; d < kNameScanBytes; ++d) {
    uint8_t c = byteAt(bytes, d);
    if (c == 0) break;
    if (c == '.') {
      p = d + 2;
      break;
    }
  }
  image.nameLength = p;
  for (size_t i = 0; i < p && byteAt(bytes, i) != 0; ++i)
    image.name.push_back(static_cast<char>(byteAt(bytes, i)));

  image.count = static_cast<int16_t>(wordAt(bytes, p));

  // q is found by content; the first candidate overlaps the high byte of the count.
  image.recordOffset = p + kNopSearchOffsets + 1;
  for (size_t q = p + 1; q <= p + kNopSearchOffsets; ++q) {
    if (toUpper(static_cast<char>(byteAt(bytes, q))) == 'N' &&
        toUpper(static_cast<char>(byteAt(bytes, q + 1))) == 'O' &&
        toUpper(static_cast<char>(byteAt(bytes, q + 2))) == 'P') {
      image.recordOffset = q;
      break;
    }
  }

  if (image.count > 0) {
    image.records.reserve(static_cast<size_t>(image.count));
    for (int16_t i = 0; i < image.count; ++i)
      image.records.push_back(
          decodeRecord(bytes, image.recordOffset + static_cast<size_t>(i) * kOpcodeEntrySize));
  }
  return image;
}

// Called in pass 0 with the operand of .CHIP, written as in the source; the file name is
// matched without regard to case. The previous table, if any, is replaced.
int loadChipFile(AssemblerRun& run, const std::string& chipName) {
  if (run.params == nullptr) return -1;
  std::string directory = slotText(run.params->chipDirectory, sizeof run.params->chipDirectory);
  std::string path = directory + kPathSeparator + chipName + ".COE";
  path = fullPath(path);
  FILE* stream = openForReading(path, "rb");
  if (stream == nullptr) return -1;
  observeFileRead(path, ZQASM_FILE_CHIP);
  std::vector<uint8_t> bytes = readPrefix(stream, kMaxUsefulBytes);
  std::fclose(stream);

  ChipImage image = decodeChipFile(bytes);
  // The block's chip name slot holds 31 characters and a NUL. A longer name text would
  // be cut, and the ".OBJ" header and every model rule would read a different name:
  // such a file counts as one that cannot be used.
  if (image.name.size() >= sizeof run.params->chipName) return -3;
  std::memset(run.params->chipName, 0, sizeof run.params->chipName);
  std::memcpy(run.params->chipName, image.name.data(), image.name.size());

  run.chip.instructionCount = image.count;
  run.chip.opcodes = std::move(image.records);
  run.chip.opcodes.push_back(OpcodeEntry{});  // the all-zero record that ends the table
  indexMnemonics(run.chip);
  observeChip(run);

  // Mask options are read afresh for every chip; only model 3947 has them.
  run.chip.stopForbidden = 0;
  return readMaskOptions(run) == -2 ? -2 : 1;
}

// The option file is a text file of the host; the line that matters reads like
// "1.POWER SOURCE : 3.0V", and a first digit of 3 or more forbids "STOP".
int readMaskOptions(AssemblerRun& run) {
  if (!equalsNoCase(chipModel(run), "3947")) return 0;
  std::string path = slotText(run.params->maskOptionPath, sizeof run.params->maskOptionPath);
  FILE* stream = openForReading(path, "r");
  if (stream == nullptr) return -2;
  observeFileRead(fullPath(path), ZQASM_FILE_MASK_OPTIONS);

  PieceReader reader(stream, kMaskLineBuffer);
  std::string line;
  int result = 0;
  while (reader.next(line)) {
    line = upperCase(line);
    if (line.find("POWER SOURCE :") == std::string::npos) continue;
    // The digit is taken after the first ":" of the line, which may stand before the
    // searched text ("X:Y POWER SOURCE : 3V" gives 3).
    size_t colon = line.find(':');
    for (size_t i = colon + 1; i < line.size(); ++i) {
      if (isDigit(line[i])) {
        if (line[i] >= '3') run.chip.stopForbidden = 1;
        break;
      }
    }
    result = 1;
    break;
  }
  std::fclose(stream);
  return result;
}

namespace {

// A text of one to six characters, upper-cased, one byte each from bit 0 on, with its
// length above them; 0 (no key) for any other length.
uint64_t mnemonicKey(const char* text, size_t length) {
  if (length == 0 || length > sizeof(OpcodeEntry::mnemonic)) return 0;
  uint64_t key = static_cast<uint64_t>(length) << 48;
  for (size_t i = 0; i < length; ++i)
    key |= static_cast<uint64_t>(static_cast<unsigned char>(toUpper(text[i]))) << (8 * i);
  return key;
}

}  // namespace

// A statement word matches a record when its first character upper-cased equals the
// stored byte exactly (a record stored in lower case never matches) and the rest agrees
// without regard to case: the word upper-cased equals the stored text with all but its
// first byte upper-cased. The index is keyed by that text; the search of a table ends at
// its count or at the zero record that closes it.
void indexMnemonics(ChipState& chip) {
  chip.mnemonicRecords.clear();
  chip.mnemonicByKey.clear();
  const std::vector<OpcodeEntry>& table = chip.opcodes;
  chip.mnemonicClass.assign(table.size(), 0);
  static const char* const kConditionalJumps[] = {"JB0", "JB1", "JB2", "JB3",
                                                  "JNZ", "JNC", "JZ",  "JC"};
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string_view mnemonic(table[i].mnemonic,
                                    strnlen(table[i].mnemonic, sizeof table[i].mnemonic));
    for (const char* jump : kConditionalJumps)
      if (equalsNoCase(mnemonic, jump)) chip.mnemonicClass[i] |= kMnemonicConditionalJump;
    if (equalsNoCase(mnemonic, "CALL") || equalsNoCase(mnemonic, "JMP"))
      chip.mnemonicClass[i] |= kMnemonicCallOrJump;
  }
  size_t count = chip.instructionCount > 0 ? static_cast<size_t>(chip.instructionCount) : 0;
  for (size_t i = 0; i < count && i < table.size(); ++i) {
    const OpcodeEntry& entry = table[i];
    if (entry.mnemonic[0] == '\0') break;
    if (isLowerLetter(entry.mnemonic[0])) continue;
    size_t length = strnlen(entry.mnemonic, sizeof entry.mnemonic);
    const auto next = static_cast<int32_t>(chip.mnemonicRecords.size());
    const int32_t k = chip.mnemonicByKey.insert(mnemonicKey(entry.mnemonic, length), next);
    if (k == next) chip.mnemonicRecords.emplace_back();
    chip.mnemonicRecords[static_cast<size_t>(k)].push_back(static_cast<int>(i));
  }
}

const std::vector<int>* findMnemonicRecords(const AssemblerRun& run, std::string_view word) {
  uint64_t key = mnemonicKey(word.data(), word.size());
  if (key == 0) return nullptr;
  const int32_t* found = run.chip.mnemonicByKey.find(key);
  if (found == nullptr || static_cast<size_t>(*found) >= run.chip.mnemonicRecords.size())
    return nullptr;
  return &run.chip.mnemonicRecords[static_cast<size_t>(*found)];
}

int findMnemonic(const AssemblerRun& run, std::string_view word, size_t from) {
  const std::vector<int>* records = findMnemonicRecords(run, word);
  if (records == nullptr) return -1;
  for (int index : *records)
    if (static_cast<size_t>(index) >= from) return index;
  return -1;
}

bool isMnemonic(const AssemblerRun& run, std::string_view word) {
  return findMnemonic(run, word, 0) >= 0;
}

// The name field reads "ZQ" and the model, e.g. "ZQ4460" gives "4460".
std::string chipModel(const AssemblerRun& run) {
  if (run.params == nullptr) return "";
  std::string name = slotText(run.params->chipName, sizeof run.params->chipName);
  return name.size() < 6 ? std::string() : name.substr(2, 4);
}

bool chipModelIs(const AssemblerRun& run, std::string_view model) {
  if (run.params == nullptr) return false;
  const char* name = run.params->chipName;
  const size_t length = strnlen(name, sizeof run.params->chipName);
  const std::string_view found = length < 6 ? std::string_view() : std::string_view(name + 2, 4);
  return equalsNoCase(found, model);
}

void releaseOpcodeTable(AssemblerRun& run) {
  run.chip.opcodes.clear();
  run.chip.opcodes.shrink_to_fit();
  run.chip.instructionCount = 0;
  run.chip.mnemonicRecords.clear();
  run.chip.mnemonicByKey.clear();
  run.chip.mnemonicClass.clear();
}

}  // namespace zq
