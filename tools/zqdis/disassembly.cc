// One image file read back; see disassembly.h.
#include "zqdis/disassembly.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <vector>

#include "platform/text.h"
#include "zqasm/disassembler.h"
#include "zqdis/image_file.h"
#include "zqdis/source_writer.h"

namespace zqdis {

namespace {

struct DisassemblerDeleter {
  void operator()(ZqasmDisassembler* d) const { ZqasmDisassemblerDestroy(d); }
};
using Disassembler = std::unique_ptr<ZqasmDisassembler, DisassemblerDeleter>;

// The chip models of the directory (the stems of its ".COE" files), sorted.
std::vector<std::string> chipModels(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<std::string> models;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const std::string extension = zq::upperCase(it->path().extension().string());
    std::error_code ignored;
    if (extension == ".COE" && it->is_regular_file(ignored))
      models.push_back(it->path().stem().string());
  }
  std::sort(models.begin(), models.end());
  return models;
}

// The chip whose name text an ".OBJ" begins with (`preferred` first, when given), and
// the header's length; empty when none matches.
std::string modelOfHeader(const std::string& directory, const std::string& bytes,
                          const std::string& preferred, size_t& headerLength) {
  std::vector<std::string> models = chipModels(directory);
  if (!preferred.empty()) models.insert(models.begin(), preferred);
  std::vector<std::string> names;
  for (const std::string& model : models) {
    int ignored = 0;
    Disassembler chip(ZqasmDisassemblerCreate(directory.c_str(), model.c_str(), &ignored));
    names.push_back(chip ? ZqasmDisassemblerNameText(chip.get()) : "");
  }
  const int match = matchHeader(bytes, names);
  if (match < 0) return "";
  headerLength = names[static_cast<size_t>(match)].size();
  return models[static_cast<size_t>(match)];
}

// A number as messages write it: 2FFFh, 0FFFh.
std::string hexText(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04Xh", value);
  return text[0] > '9' ? "0" + std::string(text) : std::string(text);
}

// The printable start of a header, for a message.
std::string headerStart(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size() && i < 16; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x21 || c > 0x7E) break;
    text += static_cast<char>(c);
  }
  return text;
}

// Intel HEX does not hold the ROM top: the end of the bank that holds the last word
// (0FFFh, 1FFFh, 2FFFh), or the largest ROM beyond. A banked image has words in the area
// of every bank up to its top, so a three-bank image always reaches bank 2.
int32_t guessRomTop(size_t words) {
  if (words > 0x3000) return 0xFFFF;
  return static_cast<int32_t>((words + 0xFFF) / 0x1000 * 0x1000) - 1;
}

// The largest table ROM read back.
constexpr size_t kMaxTableBytes = 0x10000;

// A name the source can use for a label: a letter or "_" first, then letters, digits and
// "_", and not of the form of the labels zqdis makes itself (Lxxxx).
bool usableName(const std::string& name) {
  if (name.empty() || !(zq::isLetter(name[0]) || name[0] == '_')) return false;
  for (char c : name)
    if (!(zq::isLetter(c) || zq::isDigit(c) || c == '_')) return false;
  bool madeHere = name.size() == 5 && zq::toUpper(name[0]) == 'L';
  for (size_t i = 1; madeHere && i < name.size(); ++i) madeHere = zq::isHexDigit(name[i]);
  return !madeHere;
}

// Reads the label file zqasm writes (".LBL"): a heading, a rule of W "=" and the columns
// " Addr Line  Dup", then one line per label, the name padded or cut to W characters,
// then " %04X %5u %d", and a closing rule. Takes for each address the first name that the
// source can use and that no other address took (case not counting): duplicates
// (flag 1) and names that are no label of the source are passed over.
bool readLabelFile(const std::string& text, std::map<uint32_t, std::string>& names,
                   std::string& error) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  if (lines.size() < 2 || lines[0].compare(0, 10, "Label Name") != 0) {
    error = "not a label file: it does not begin with \"Label Name\"";
    return false;
  }
  const size_t width = lines[1].find(' ');
  if (width == std::string::npos || width < 10 || lines[1].find_first_not_of('=') != width) {
    error = "line 2: not the rule line of a label file";
    return false;
  }
  std::set<std::string> taken;  // folded to upper case
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (line.find_first_not_of('=') == std::string::npos) break;  // the closing rule
    unsigned long address = 0;
    unsigned number = 0;
    int duplicate = 0;
    char rest = 0;
    if (line.size() <= width ||
        std::sscanf(line.c_str() + width, " %lx %u %d %c", &address, &number, &duplicate, &rest) !=
            3 ||
        address > 0xFFFF) {
      error = "line " + std::to_string(i + 1) + ": not a label line";
      return false;
    }
    std::string name = line.substr(0, width);
    name.erase(name.find_last_not_of(' ') + 1);
    const std::string folded = zq::upperCase(name);
    if (duplicate != 0 || !usableName(name) || taken.count(folded) > 0 ||
        names.count(static_cast<uint32_t>(address)) > 0)
      continue;
    taken.insert(folded);
    names[static_cast<uint32_t>(address)] = name;
  }
  return true;
}

// The table ROM image: a ".TAB" (the chip's name text, then a byte per address from 0 to
// the table top) or Intel HEX (".TAB.HEX", only the bytes written). Cells of -1 are not
// written back: the bytes a HEX lacks, and the 00h bytes of a ".TAB", which the
// assembler writes for unwritten cells as well.
int readTable(const Request& request, std::vector<int>& cells, int32_t& tableTop, bool& guessed,
              std::vector<std::string>& warnings, std::string& error) {
  const std::string& name = request.tableName;
  const std::string& bytes = request.tableBytes;
  cells.clear();
  guessed = false;
  if (isIntelHex(bytes)) {
    ByteImage image;
    std::string problem;
    if (!readIntelHexBytes(bytes, image, problem)) {
      error = name + ": " + problem;
      return kBadImage;
    }
    for (const std::string& warning : image.warnings) warnings.push_back(name + ": " + warning);
    size_t size = 0;
    for (size_t i = 0; i < image.given.size(); ++i)
      if (image.given[i]) size = i + 1;
    if (size > kMaxTableBytes) {
      error = name + ": table bytes beyond 0FFFFh";
      return kBadImage;
    }
    cells.assign(size, -1);
    for (size_t i = 0; i < size; ++i)
      if (image.given[i]) cells[i] = image.bytes[i];
    tableTop = static_cast<int32_t>((size - 1) | 0xFF);
    guessed = true;
    return 0;
  }
  size_t headerLength = 0;
  if (modelOfHeader(request.chipDirectory, bytes, "", headerLength).empty()) {
    error = name + ": its header \"" + headerStart(bytes) + "\" names no chip of " +
            request.chipDirectory;
    return kBadImage;
  }
  const size_t size = bytes.size() - headerLength;
  if (size > kMaxTableBytes) {
    error = name + ": more than 10000h table bytes";
    return kBadImage;
  }
  cells.assign(size, -1);
  for (size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<uint8_t>(bytes[headerLength + i]);
    if (byte != 0) cells[i] = byte;
  }
  tableTop = static_cast<int32_t>(size) - 1;
  return 0;
}

}  // namespace

bool isTableImageName(const std::string& name) {
  const std::string upper = zq::upperCase(name);
  auto endsWith = [&upper](const std::string& end) {
    return upper.size() >= end.size() &&
           upper.compare(upper.size() - end.size(), end.size(), end) == 0;
  };
  return endsWith(".TAB") || endsWith(".TAB.HEX");
}

int disassemble(const Request& request, Disassembly& out, std::string& error) {
  const std::string& name = request.imageName;
  if (isTableImageName(name)) {
    error = name + ": a table ROM image (.TAB), not a program image: give it with --table";
    return kBadImage;
  }
  const bool intelHex = isIntelHex(request.bytes);
  if (intelHex && request.chip.empty()) {
    error = name + ": an Intel HEX file does not name its chip: give --chip";
    return kUsage;
  }
  if (request.bytes.empty()) {
    error = name + ": the file is empty";
    return kBadImage;
  }
  ProgramImage image;
  std::string problem;
  out.model = request.chip;
  if (intelHex) {
    if (!readIntelHex(request.bytes, image, problem)) {
      error = name + ": " + problem;
      return kBadImage;
    }
  } else {
    size_t headerLength = 0;
    const std::string found =
        modelOfHeader(request.chipDirectory, request.bytes, request.chip, headerLength);
    if (found.empty()) {
      error = name + ": its header \"" + headerStart(request.bytes) + "\" names no chip of " +
              request.chipDirectory;
      return kBadImage;
    }
    if (out.model.empty()) out.model = found;
    if (!readObject(request.bytes, headerLength, image, problem)) {
      error = name + ": " + problem;
      return kBadImage;
    }
  }

  int status = ZQASM_DIS_OK;
  Disassembler chip(
      ZqasmDisassemblerCreate(request.chipDirectory.c_str(), out.model.c_str(), &status));
  if (!chip) {
    if (status == ZQASM_DIS_NO_MEMORY) {
      error = "no memory to load the chip " + out.model;
      return kNoMemory;
    }
    error = (status == ZQASM_DIS_NO_CHIP ? "no chip description " : "the chip description ") +
            out.model + ".COE in " + request.chipDirectory +
            (status == ZQASM_DIS_NO_CHIP ? "" : " cannot be used");
    return kBadImage;
  }
  for (const std::string& warning : image.warnings) out.warnings.push_back(name + ": " + warning);
  out.romTop =
      intelHex ? guessRomTop(image.words.size()) : static_cast<int32_t>(image.words.size()) - 1;
  if (request.romTop >= 0 && !intelHex && request.romTop != out.romTop) {
    error = "--rom-top is for Intel HEX: " + name + " holds words up to " +
            hexText(static_cast<uint32_t>(out.romTop)) + ", its ROM top";
    return kUsage;
  }
  if (request.romTop >= 0 && intelHex) {
    if (image.words.size() > static_cast<size_t>(request.romTop) + 1) {
      error = name + ": words up to " + hexText(static_cast<uint32_t>(image.words.size() - 1)) +
              ", beyond --rom-top " + hexText(static_cast<uint32_t>(request.romTop));
      return kBadImage;
    }
    out.romTop = static_cast<int32_t>(request.romTop);
  }
  WriteSettings settings;
  if (!request.tableName.empty()) {
    const int tableStatus = readTable(request, settings.table, settings.tableTop,
                                      settings.tableTopGuessed, out.warnings, error);
    if (tableStatus != 0) return tableStatus;
  }
  if (!request.symbolsName.empty()) {
    std::string reason;
    if (!readLabelFile(request.symbolsText, settings.names, reason)) {
      error = request.symbolsName + ": " + reason;
      return kBadImage;
    }
  }
  ZqasmDisassemblerSetGaps(chip.get(), request.gaps);
  if (ZqasmDisassemblerRead(chip.get(), image.words.data(),
                            intelHex ? image.written.data() : nullptr, image.words.size(),
                            out.romTop) != 0) {
    error = name + ": no memory to read the image";
    return kNoMemory;
  }
  settings.imageName = name;
  settings.model = out.model;
  settings.intelHex = intelHex;
  settings.romTopGuessed = intelHex && request.romTop < 0;
  settings.listing = request.listing;
  settings.start = request.start;
  settings.stop = request.stop;
  settings.namesForOperands = request.symbolsForOperands;
  out.text = writeSource(chip.get(), settings, out.unreproduced);
  return 0;
}

}  // namespace zqdis
