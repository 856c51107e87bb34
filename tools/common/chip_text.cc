// Conversion between the text form of a chip description and its binary ".COE" image.
#include "common/chip_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/text.h"

namespace zq {

namespace {

// The loader copies the name text with its NUL into the 32-byte chip name field.
constexpr size_t kMaxDottedNameLength = 31;
// Without a ".", the name must leave a NUL inside its 10-byte area: the loader looks
// for a "." up to the first NUL, and must not find one in the count that follows.
constexpr size_t kMaxPlainNameLength = 9;
constexpr size_t kPlainNameArea = 10;
// The loader looks for "NOP" at p + 1 .. p + 12 and reads from p + 13 otherwise.
constexpr size_t kNopSearchSpan = 12;

// Operand kinds the encoder knows; anything else in a text is taken for a typing error.
const int kKnownKinds[] = {0, 1, 2, 3, 5, 11, 22, 23};

bool isNameCharacter(char c) { return c > ' ' && c < 0x7F && c != '#'; }

// Checks a chip name; returns an empty string or the reason it is refused.
std::string nameProblem(const std::string& name) {
  if (name.empty()) return "empty chip name";
  for (char c : name)
    if (!isNameCharacter(c)) return "chip name \"" + name + "\" has a character not allowed";
  size_t dot = name.find('.');
  if (dot == std::string::npos) {
    if (name.size() > kMaxPlainNameLength)
      return "chip name \"" + name +
             "\" is longer than 9 characters (names with a \".\" "
             "may be longer)";
    return std::string();
  }
  if (name.size() != dot + 2)
    return "chip name \"" + name + "\" must end one character after its first \".\"";
  if (name.size() > kMaxDottedNameLength)
    return "chip name \"" + name + "\" is longer than 31 characters";
  return std::string();
}

std::string mnemonicProblem(const std::string& mnemonic) {
  if (mnemonic.size() > 5) return "mnemonic \"" + mnemonic + "\" is longer than 5 characters";
  if (!isUpperLetter(mnemonic[0]))
    return "mnemonic \"" + mnemonic + "\" must begin with an upper-case letter";
  for (char c : mnemonic)
    if (!isNameCharacter(c)) return "mnemonic \"" + mnemonic + "\" has a character not allowed";
  return std::string();
}

// Parses `digits` in `base` (10 or 16) into `value`, at most `maxDigits` digits and at
// most `limit`. False when it is not such a number.
bool parseUnsigned(const std::string& digits, int base, size_t maxDigits, unsigned limit,
                   unsigned& value) {
  if (digits.empty() || digits.size() > maxDigits) return false;
  value = 0;
  for (char c : digits) {
    unsigned digit;
    if (isDigit(c))
      digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && isHexDigit(c))
      digit = static_cast<unsigned>(toUpper(c) - 'A' + 10);
    else
      return false;
    value = value * static_cast<unsigned>(base) + digit;
  }
  return value <= limit;
}

// Blank- or tab-separated words of a line ("\r" of a CRLF file counts as a blank).
std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

void putWord(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
  image[offset] = static_cast<uint8_t>(value & 0xFF);
  image[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t getWord(const std::vector<uint8_t>& image, size_t offset) {
  auto byteAt = [&](size_t at) -> unsigned { return at < image.size() ? image[at] : 0u; };
  return static_cast<uint16_t>(byteAt(offset) | (byteAt(offset + 1) << 8));
}

// Parses one record line into `entry`; returns an empty string or the problem. The
// reserved words stay zero: the assembler never reads them.
std::string parseRecord(const std::vector<std::string>& words, OpcodeEntry& entry) {
  if (words.size() != 6)
    return "expected MNEMONIC FORM KIND OPCODE MASK1 MASK2, found " + std::to_string(words.size()) +
           " fields";
  std::string problem = mnemonicProblem(words[0]);
  if (!problem.empty()) return problem;
  unsigned form, kind, opcode, mask1, mask2;
  if (!parseUnsigned(words[1], 16, 2, 0xFF, form))
    return "form \"" + words[1] + "\" is not a hexadecimal byte";
  if (!parseUnsigned(words[2], 10, 3, 0xFF, kind))
    return "kind \"" + words[2] + "\" is not a decimal number up to 255";
  bool known = false;
  for (int k : kKnownKinds) known = known || static_cast<unsigned>(k) == kind;
  if (!known) return "kind " + words[2] + " is not an operand kind (0 1 2 3 5 11 22 23)";
  if (!parseUnsigned(words[3], 16, 4, 0xFFFF, opcode))
    return "opcode \"" + words[3] + "\" is not a hexadecimal word";
  if (!parseUnsigned(words[4], 16, 4, 0xFFFF, mask1))
    return "mask 1 \"" + words[4] + "\" is not a hexadecimal word";
  if (!parseUnsigned(words[5], 16, 4, 0xFFFF, mask2))
    return "mask 2 \"" + words[5] + "\" is not a hexadecimal word";
  std::memset(&entry, 0, sizeof entry);
  std::memcpy(entry.mnemonic, words[0].data(), words[0].size());
  entry.form = static_cast<uint8_t>(form);
  entry.kind = static_cast<uint8_t>(kind);
  entry.opcode = static_cast<uint16_t>(opcode);
  entry.mask1 = static_cast<uint16_t>(mask1);
  entry.mask2 = static_cast<uint16_t>(mask2);
  return std::string();
}

}  // namespace

size_t chipNameLength(const std::string& name) {
  size_t dot = name.find('.');
  return dot == std::string::npos ? kPlainNameArea : dot + 2;
}

// One statement per line: "chip" first, then an optional "filler", then the records.
bool parseChipText(const std::string& text, ChipDescription& chip, ChipTextError& error) {
  chip = ChipDescription();
  bool haveName = false;
  int lineNumber = 0;
  std::istringstream in(text);
  std::string line;
  auto fail = [&](const std::string& message) {
    error.line = lineNumber;
    error.message = message;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNumber;
    size_t comment = line.find('#');
    if (comment != std::string::npos) line.erase(comment);
    std::vector<std::string> words = splitWords(line);
    if (words.empty()) continue;
    if (!haveName) {
      if (words[0] != "chip" || words.size() != 2)
        return fail("the first statement must be \"chip NAME\"");
      std::string problem = nameProblem(words[1]);
      if (!problem.empty()) return fail(problem);
      chip.name = words[1];
      haveName = true;
    } else if (words[0] == "chip") {
      return fail("a second \"chip\" statement");
    } else if (words[0] == "filler") {
      unsigned filler;
      if (!chip.records.empty()) return fail("\"filler\" must come before the records");
      if (words.size() != 2 || !parseUnsigned(words[1], 10, 2, kMaxFiller, filler))
        return fail("expected \"filler N\" with N from 0 to 10");
      chip.filler = filler;
    } else {
      OpcodeEntry entry;
      std::string problem = parseRecord(words, entry);
      if (!problem.empty()) return fail(problem);
      if (chip.records.empty() && std::strcmp(entry.mnemonic, "NOP") != 0)
        return fail("the first record must be NOP");
      if (chip.records.size() == kMaxChipRecords) return fail("more than 32767 records");
      chip.records.push_back(entry);
    }
  }
  lineNumber = lineNumber == 0 ? 1 : lineNumber;
  if (!haveName) return fail("no \"chip NAME\" statement");
  if (chip.records.empty()) return fail("no records (the first record must be NOP)");
  return true;
}

// Layout written (little-endian), with p the name area and q = p + 2 + filler:
//   0 name text, NUL-padded to p | p count | p+2 filler zeros | q records of 20 bytes
// Each record: mnemonic[6] form kind opcode reserved mask1 reserved mask2 reserved.
std::vector<uint8_t> encodeChipImage(const ChipDescription& chip) {
  size_t p = chipNameLength(chip.name);
  size_t q = p + 2 + chip.filler;
  std::vector<uint8_t> image(q + kOpcodeEntrySize * chip.records.size(), 0);
  std::memcpy(image.data(), chip.name.data(), std::min(chip.name.size(), p));
  putWord(image, p, static_cast<uint16_t>(chip.records.size()));
  for (size_t i = 0; i < chip.records.size(); ++i) {
    const OpcodeEntry& entry = chip.records[i];
    size_t at = q + i * kOpcodeEntrySize;
    std::memcpy(&image[at], entry.mnemonic, sizeof entry.mnemonic);
    image[at + 5] = 0;  // the mnemonic stays NUL-terminated
    image[at + 6] = entry.form;
    image[at + 7] = entry.kind;
    putWord(image, at + 8, entry.opcode);
    putWord(image, at + 12, entry.mask1);
    putWord(image, at + 16, entry.mask2);
  }
  return image;
}

bool decodeChipImage(const std::vector<uint8_t>& image, ChipDescription& chip,
                     ChipTextError& error) {
  chip = ChipDescription();
  error.line = 0;
  // The loader reads into zeroed storage without checking the length, so bytes past
  // the end of a short image read as zero here too.
  auto byteAt = [&](size_t at) -> uint8_t { return at < image.size() ? image[at] : 0; };
  // Name length: the first "." before the first NUL of the first 64 bytes decides.
  size_t p = kPlainNameArea;
  for (size_t i = 0; i < 64 && byteAt(i) != 0; ++i) {
    if (byteAt(i) == '.') {
      p = i + 2;
      break;
    }
  }
  for (size_t i = 0; i < p && byteAt(i) != 0; ++i)
    chip.name.push_back(static_cast<char>(byteAt(i)));
  // The count is used as a signed number: 8000h and above give no records at all.
  int16_t count = static_cast<int16_t>(getWord(image, p));
  size_t q = p + kNopSearchSpan + 1;
  for (size_t at = p + 1; at <= p + kNopSearchSpan; ++at) {
    if (toUpper(static_cast<char>(byteAt(at))) == 'N' &&
        toUpper(static_cast<char>(byteAt(at + 1))) == 'O' &&
        toUpper(static_cast<char>(byteAt(at + 2))) == 'P') {
      q = at;
      break;
    }
  }
  if (q < p + 2) {
    error.message = "the records overlap the instruction count";
    return false;
  }
  if (q == p + kNopSearchSpan + 1) {
    error.message = "no \"NOP\" record within twelve bytes after the name";
    return false;
  }
  chip.filler = q - p - 2;
  // Only the fields the loader uses are taken; the reserved words are not shown.
  for (int i = 0; i < count; ++i) {
    size_t at = q + static_cast<size_t>(i) * kOpcodeEntrySize;
    OpcodeEntry entry;
    std::memset(&entry, 0, sizeof entry);
    for (size_t k = 0; k < sizeof entry.mnemonic; ++k)
      entry.mnemonic[k] = static_cast<char>(byteAt(at + k));
    entry.mnemonic[sizeof entry.mnemonic - 1] = '\0';
    entry.form = byteAt(at + 6);
    entry.kind = byteAt(at + 7);
    entry.opcode = getWord(image, at + 8);
    entry.mask1 = getWord(image, at + 12);
    entry.mask2 = getWord(image, at + 16);
    chip.records.push_back(entry);
  }
  // Whatever the text form could not say back is refused here rather than dumped wrong.
  ChipDescription reparsed;
  if (!parseChipText(formatChipText(chip), reparsed, error)) {
    error.message = "cannot be written as text: " + error.message;
    error.line = 0;
    return false;
  }
  return true;
}

// Columns as in the files of chips/: mnemonic padded to 5, form, kind right-aligned in 2.
std::string formatChipText(const ChipDescription& chip) {
  std::string text = "chip " + chip.name + "\n";
  char line[96];
  if (chip.filler != 0) {
    std::snprintf(line, sizeof line, "filler %zu\n", chip.filler);
    text += line;
  }
  text += "# mnemonic form kind opcode mask1 mask2   (form, opcode, masks in hex; kind decimal)\n";
  for (const OpcodeEntry& entry : chip.records) {
    std::string mnemonic(entry.mnemonic, strnlen(entry.mnemonic, sizeof entry.mnemonic));
    std::snprintf(line, sizeof line, "%-5s %02X %2u %04X %04X %04X\n", mnemonic.c_str(), entry.form,
                  entry.kind, entry.opcode, entry.mask1, entry.mask2);
    text += line;
  }
  return text;
}

}  // namespace zq
