// One image file read back; see disassembly.h.
#include "zqdis/disassembly.h"

#include <algorithm>
#include <filesystem>
#include <memory>
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

}  // namespace

int disassemble(const Request& request, Disassembly& out, std::string& error) {
  const std::string& name = request.imageName;
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
  out.romTop =
      intelHex ? guessRomTop(image.words.size()) : static_cast<int32_t>(image.words.size()) - 1;
  if (ZqasmDisassemblerRead(chip.get(), image.words.data(),
                            intelHex ? image.written.data() : nullptr, image.words.size(),
                            out.romTop) != 0) {
    error = name + ": no memory to read the image";
    return kNoMemory;
  }
  WriteSettings settings;
  settings.imageName = name;
  settings.model = out.model;
  settings.intelHex = intelHex;
  settings.listing = request.listing;
  out.text = writeSource(chip.get(), settings);
  ZqasmImageFacts facts;
  ZqasmDisassemblerFacts(chip.get(), &facts);
  out.unreproduced = facts.unreproduced;
  return 0;
}

}  // namespace zqdis
