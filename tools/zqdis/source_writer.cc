// Source and listing text of an image's reading; see source_writer.h.
#include "zqdis/source_writer.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "platform/printf_format.h"

namespace zqdis {

namespace {

constexpr uint32_t kBankWords = 0x1000;
constexpr size_t kCommentColumn = 32;  // where the "; address word" comment starts

ZQ_PRINTF_FORMAT(2, 3) void append(std::string& out, const char* pattern, ...) {
  char text[256];
  va_list args;
  va_start(args, pattern);
  if (std::vsnprintf(text, sizeof text, pattern, args) > 0) out += text;
  va_end(args);
}

// A number in the source syntax: at least `digits` hexadecimal digits, a "0" before a
// leading letter, "h" behind.
std::string hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*Xh", digits, value);
  std::string number = text;
  if (number[0] > '9') number.insert(number.begin(), '0');
  return number;
}

std::string label(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "L%04X", address);
  return text;
}

// Pads `line` with blanks to `column` (at least one blank when it is already there).
void padTo(std::string& line, size_t column) {
  line.append(line.size() < column ? column - line.size() : 1, ' ');
}

struct Image {
  ZqasmImageFacts facts{};
  std::vector<ZqasmWordReading> words;
  std::vector<uint8_t> labelled;  // a statement here gets a label (a destination, a name)
  const WriteSettings* settings = nullptr;
  size_t unreproduced = 0;  // from start to stop
  // The names written for value operands, with their values (--symbols-for-operands).
  mutable std::map<std::string, uint32_t> operandNames;

  bool inRange(uint32_t a) const { return a >= settings->start && a <= settings->stop; }
  // The label of a statement: its name from --symbols, else Lxxxx.
  std::string labelOf(uint32_t address) const {
    const auto named = settings->names.find(address);
    return named != settings->names.end() ? named->second : label(address);
  }
};

Image collect(const ZqasmDisassembler* disassembler, const WriteSettings& settings) {
  Image image;
  image.settings = &settings;
  ZqasmDisassemblerFacts(disassembler, &image.facts);
  ZqasmWordReading reading;
  for (uint32_t a = 0; ZqasmDisassemblerWord(disassembler, a, &reading) == 0; ++a)
    image.words.push_back(reading);
  image.labelled.assign(image.words.size(), 0);
  // Only statements that are written get labels: a destination outside stays a number.
  auto labellable = [&image](uint32_t a) {
    return a < image.words.size() && image.words[a].role == ZQASM_WORD_INSTRUCTION &&
           image.inRange(a);
  };
  for (uint32_t a = 0; a < image.words.size(); ++a) {
    const ZqasmWordReading& w = image.words[a];
    if (image.inRange(a))
      image.unreproduced += w.role == ZQASM_WORD_UNWRITABLE ||
                            (w.role == ZQASM_WORD_AREA && (!w.rebuilt || w.writtenFill));
    if (w.role != ZQASM_WORD_INSTRUCTION || w.branch == ZQASM_BRANCH_NONE) continue;
    if (labellable(w.target)) image.labelled[w.target] = 1;
  }
  for (const auto& [address, name] : settings.names)
    if (labellable(address)) image.labelled[address] = 1;
  return image;
}

// The value of an operand written as a number ("45h"), or -1.
long numberValue(const char* operand) {
  char* end = nullptr;
  const long value = std::strtol(operand, &end, 16);
  return end != operand && end[0] == 'h' && end[1] == '\0' ? value : -1;
}

// "MNEMONIC op1, op2" in columns, the destination of a branch named by its label, and with
// --symbols-for-operands a value that equals a named address by that name.
std::string statement(const Image& image, const ZqasmWordReading& w) {
  std::string text = w.mnemonic;
  if (w.operandCount > 0) padTo(text, 8);
  for (int i = 0; i < w.operandCount; ++i) {
    if (i > 0) text += ", ";
    const bool destination = w.branch != ZQASM_BRANCH_NONE && i == w.targetOperand;
    const bool named = destination && w.target < image.labelled.size() && image.labelled[w.target];
    if (named) {
      text += image.labelOf(w.target);
      continue;
    }
    const long value =
        destination || !image.settings->namesForOperands ? -1 : numberValue(w.operands[i]);
    const auto name = value < 0 ? image.settings->names.end()
                                : image.settings->names.find(static_cast<uint32_t>(value));
    if (name != image.settings->names.end()) {
      image.operandNames[name->second] = static_cast<uint32_t>(value);
      text += name->second;
    } else {
      text += w.operands[i];
    }
  }
  return text;
}

// What is said of an instruction besides its address and word.
std::string remark(const ZqasmWordReading& w) {
  std::string text;
  if (w.via >= 0)
    append(text, "  via the trampoline at %04Xh to bank %u", static_cast<unsigned>(w.via),
           static_cast<unsigned>(w.target / kBankWords));
  if (w.warns) text += "  (the assembler warns on it)";
  return text;
}

std::string unwritableReason(const ZqasmWordReading& w, uint32_t address,
                             const std::string& model) {
  std::string text = "cannot be written: ";
  switch (w.reason) {
    case ZQASM_REASON_NO_RECORD:
      append(text, "no instruction of %s gives this word", model.c_str());
      break;
    case ZQASM_REASON_NO_TEXT:
      append(text, "no statement gives this word here (nearest: %s)", w.text);
      break;
    case ZQASM_REASON_BANK_END:
      append(text, "only 0000h can stand at the last word of bank %u",
             static_cast<unsigned>(address / kBankWords));
      break;
    case ZQASM_REASON_CPHL_PLACE:
      append(text, "CPHL may not stand at %04Xh", static_cast<unsigned>(address));
      break;
    default:
      append(text, "bank %u skips its bank convert area",
             static_cast<unsigned>(address / kBankWords));
      break;
  }
  return text;
}

// An area word as "MNEMONIC operand" and what it does.
void describeAreaWord(const ZqasmWordReading& w, std::string& statementText, std::string& meaning) {
  statementText.clear();
  meaning.clear();
  const unsigned target = static_cast<unsigned>(w.farTarget);
  switch (w.area) {
    case ZQASM_AREA_JUMP_OVER:
      statementText = "JMP     " + hex(w.word & 0x0FFFu, 2);
      meaning = "past the area";
      break;
    case ZQASM_AREA_SELECT:
      statementText = "SF2     " + hex(w.word & 0x00FFu, 2);
      if (w.farTarget >= 0)
        append(meaning, "trampoline to %04Xh in bank %u", target, target / kBankWords);
      else
        meaning = "selects a bank, no jump follows";
      break;
    case ZQASM_AREA_JUMP_ON:
      statementText = "JMP     " + hex(w.word & 0x0FFFu, 2);
      append(meaning, "trampoline to %04Xh, its second word", target);
      break;
    case ZQASM_AREA_UNUSED:
      statementText = "NOP";
      meaning = "unused";
      break;
    default:
      meaning = "not a word the assembler puts here";
      break;
  }
  if (!w.rebuilt) meaning += " (not built again from this source)";
  if (w.writtenFill)
    meaning += " (not built again as written: the assembler leaves this fill word unwritten)";
}

void writeHeading(const Image& image, const WriteSettings& settings, std::string& out) {
  const size_t unreproduced = image.unreproduced;
  const ZqasmImageFacts& f = image.facts;
  const std::string top = hex(static_cast<uint32_t>(f.romTop), 4);
  append(out, "; %s read back by zqdis: chip %s, program ROM top %s", settings.imageName.c_str(),
         settings.model.c_str(), top.c_str());
  if (f.banked) {
    append(out, ", banked (bank convert area %s-%s%s)", hex(f.areaStart, 4).c_str(),
           hex(f.areaEnd, 4).c_str(), f.areaFound ? "" : ", not found: the default");
  }
  out += ".\n";
  if (settings.romTopGuessed)
    out +=
        "; Intel HEX does not hold the ROM top: this is the end of the bank of the last word\n"
        "; (0FFFh, 1FFFh or 2FFFh; 0FFFFh beyond).\n";
  if (!settings.listing) {
    const std::string tableTop =
        settings.tableTop >= 0 ? " --table-top " + hex(static_cast<uint32_t>(settings.tableTop), 2)
                               : "";
    if (settings.tableTopGuessed)
      out +=
          "; Intel HEX does not hold the table ROM top: this is the end of the 100h bytes of\n"
          "; the last table byte.\n";
    append(out, "; Assemble with: zqasm --rom-top %s%s%s%s FILE\n", top.c_str(), tableTop.c_str(),
           settings.intelHex ? " --hex" : "",
           settings.model.size() >= 6 && settings.model.compare(2, 4, "3947") == 0
               ? " --mask-options OPTIONS"
               : "");
  }
  if (unreproduced > 0) {
    append(out, "; %zu word(s) cannot be written as source: marked \"cannot be written\" or\n",
           unreproduced);
    out += "; \"not built again\" below; the image assembled from this text differs there.\n";
  }
}

// The comment block of one bank's area, in the source.
void writeAreaComment(const Image& image, uint32_t bank, std::string& out) {
  const ZqasmImageFacts& f = image.facts;
  append(out, "; Bank convert area of bank %u, %s-%s, built by the assembler:\n", bank,
         hex(bank * kBankWords + f.areaStart, 4).c_str(),
         hex(bank * kBankWords + f.areaEnd, 4).c_str());
  for (uint32_t o = f.areaStart; o <= f.areaEnd; ++o) {
    const uint32_t a = bank * kBankWords + o;
    if (a >= image.words.size()) break;
    if (!image.inRange(a)) continue;
    const ZqasmWordReading& w = image.words[a];
    if (w.role != ZQASM_WORD_AREA || (w.area == ZQASM_AREA_UNUSED && w.rebuilt && !w.writtenFill))
      continue;
    std::string text, meaning;
    describeAreaWord(w, text, meaning);
    std::string line;
    append(line, ";   %04X %04X  %s", a, w.word, text.c_str());
    padTo(line, 30);
    out += line + meaning + "\n";
  }
}

// The table ROM as address and value pairs, in a TABLE region.
void writeTable(const WriteSettings& settings, std::string& out) {
  if (settings.tableTop < 0) return;
  out += "        .TABLE\n";
  for (size_t i = 0; i < settings.table.size(); ++i)
    if (settings.table[i] >= 0)
      append(out, "        DN      %s, %s\n", hex(static_cast<uint32_t>(i), 4).c_str(),
             hex(static_cast<uint32_t>(settings.table[i]), 2).c_str());
  out += "        .ENDT\n";
}

std::string writeAssembly(const Image& image, const WriteSettings& settings) {
  const ZqasmImageFacts& f = image.facts;
  std::string out;
  writeHeading(image, settings, out);
  append(out, "        .CHIP   %s\n", settings.model.c_str());
  if (f.banked)
    append(out, "        .BANKCONVERTAREA %s %s\n", hex(f.areaStart, 4).c_str(),
           hex(f.areaEnd, 4).c_str());
  writeTable(settings, out);
  std::string body;
  const uint32_t areaSize = static_cast<uint32_t>(f.areaEnd - f.areaStart + 1);
  uint32_t next = 0;  // where the assembler puts the next statement
  for (uint32_t a = 0; a < image.words.size(); ++a) {
    const ZqasmWordReading& w = image.words[a];
    if (!image.inRange(a)) continue;
    if (w.role == ZQASM_WORD_AREA) {
      if ((a & 0x0FFF) == f.areaStart || a == settings.start)
        writeAreaComment(image, a / kBankWords, body);
      continue;
    }
    if (w.role == ZQASM_WORD_UNWRITABLE) {
      append(body, "; %04X %04X  %s\n", a, w.word, unwritableReason(w, a, settings.model).c_str());
      continue;
    }
    if (w.role != ZQASM_WORD_INSTRUCTION) continue;
    if (a != next) append(body, "        ORG     %s\n", hex(a, 4).c_str());
    std::string line = image.labelled[a] ? image.labelOf(a) + ":" : "";
    padTo(line, 8);
    line += statement(image, w);
    padTo(line, kCommentColumn);
    append(line, "; %04X %04X", a, w.word);
    body += line + remark(w) + "\n";
    // Instructions, and only they, step over the area of a banked chip.
    next = a + 1;
    if (f.banked && (next & 0x0FFF) == f.areaStart) next += areaSize;
  }
  // The names written for values stand for numbers: constants beside the labels.
  for (const auto& [name, value] : image.operandNames) {
    std::string line = name;
    padTo(line, 8);
    out += line + "EQU     " + hex(value, 4) + "\n";
  }
  return out + body;
}

// The instructions after which the program does not go on at the next address.
bool endsFlow(const ZqasmWordReading& w) {
  const std::string m = w.mnemonic;
  return m == "RET" || m == "RETI" || m == "JMP";
}

std::string writeListing(const Image& image, const WriteSettings& settings) {
  std::string out;
  writeHeading(image, settings, out);
  out += "ADDR WORD  STATEMENT\n";
  int64_t previous = -1;  // the address of the last line
  for (uint32_t a = 0; a < image.words.size(); ++a) {
    const ZqasmWordReading& w = image.words[a];
    if (!image.inRange(a)) continue;
    std::string line;
    append(line, "%04X %04X  ", a, w.word);
    bool blankAfter = false;
    if (w.role == ZQASM_WORD_INSTRUCTION) {
      line += image.labelled[a] ? image.labelOf(a) + ":" : "";
      padTo(line, 19);
      line += statement(image, w);
      const std::string more = remark(w);
      if (!more.empty()) {
        padTo(line, 43);
        line += ";" + more.substr(1);
      }
      blankAfter = endsFlow(w);
    } else if (w.role == ZQASM_WORD_AREA &&
               (w.area != ZQASM_AREA_UNUSED || !w.rebuilt || w.writtenFill)) {
      std::string text, meaning;
      describeAreaWord(w, text, meaning);
      padTo(line, 19);
      line += text;
      padTo(line, 43);
      line += "; bank convert area: " + meaning;
    } else if (w.role == ZQASM_WORD_UNWRITABLE) {
      padTo(line, 19);
      line += "; " + unwritableReason(w, a, settings.model);
    } else {
      continue;
    }
    // Where the addresses jump, a mark says so.
    if (previous >= 0 && a != previous + 1) out += "....\n";
    previous = a;
    out += line + "\n";
    if (blankAfter) out += "\n";
  }
  return out;
}

}  // namespace

std::string writeSource(const ZqasmDisassembler* disassembler, const WriteSettings& settings,
                        size_t& unreproduced) {
  const Image image = collect(disassembler, settings);
  unreproduced = image.unreproduced;
  return settings.listing ? writeListing(image, settings) : writeAssembly(image, settings);
}

}  // namespace zqdis
