// zqdis: reads a program image (".OBJ", or Intel HEX with --chip) back as assembly source
// that zqasm assembles to the same image, or as a listing. Exit statuses as zqasm's:
//   0  the image was read (words that no source can give are counted on standard error)
//   1  the image is not one (empty, cut short, too long, a bad HEX line), or its chip
//      cannot be found
//   2  usage error
//   3  the image cannot be read
// It reaches the library through zqasm/disassembler.h.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "common/chip_directory.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "zqasm/disassembler.h"
#include "zqdis/image_file.h"
#include "zqdis/source_writer.h"

#ifndef ZQASM_TOOL_VERSION
#define ZQASM_TOOL_VERSION "unknown"
#endif

namespace {

// clang-format off
// The same text, option by option, is the man page zqdis.1; change both together.
const char kUsage[] =
    "Usage: zqdis [OPTION]... IMAGE\n"
    "Read a program image back as assembly source for zqasm, on standard output: an .OBJ\n"
    "written by zqasm (its chip named by its header), or an Intel HEX file (it begins\n"
    "with ':'; --chip is needed). Assembled again with the ROM top the first lines name,\n"
    "the source gives the same image.\n"
    "\n"
    "Options:\n"
    "  --chip-dir DIR   where the .COE chip files are (default: $ZQASM_CHIP_DIR, else the\n"
    "                   chips installed with zqasm)\n"
    "  --chip MODEL     read the image as one for chip MODEL (ZQ4460)\n"
    "  --listing        address, word and statement columns, for reading\n"
    "  --help           show this text and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Exit status: 0 image read, 1 not an image or its chip not found, 2 a wrong command\n"
    "line, 3 IMAGE not readable.\n";
// clang-format on

constexpr int kExitClean = 0;
constexpr int kExitBadImage = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotRead = 3;

// Larger files are no image: an Intel HEX of the largest ROM takes well under this.
constexpr size_t kMaxFileBytes = 8u << 20;

struct Options {
  std::string image;
  std::string chipDirectory;
  bool chipDirectoryGiven = false;
  std::string chip;
  bool listing = false;
  bool help = false;
  bool version = false;
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "zqdis: %s\nTry 'zqdis --help' for more information.\n", message.c_str());
  return kExitUsage;
}

int imageError(const std::string& image, const std::string& message) {
  std::fprintf(stderr, "zqdis: %s: %s\n", image.c_str(), message.c_str());
  return kExitBadImage;
}

// Returns -1 on success, else the exit status (the message written).
int parseArguments(int argc, char** argv, Options& options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      if (argument.empty()) return usageError("empty IMAGE");
      if (!options.image.empty()) return usageError("more than one IMAGE: " + argument);
      options.image = argument;
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = argument, value;
    bool inlineValue = false;
    const size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
      inlineValue = true;
    }
    const bool takesValue = name == "--chip-dir" || name == "--chip";
    if (takesValue && !inlineValue) {
      if (i + 1 >= argc) return usageError("option " + name + " needs a value");
      value = argv[++i];
    } else if (!takesValue && inlineValue) {
      return usageError("option " + name + " takes no value");
    }
    if (name == "--chip-dir") {
      options.chipDirectory = value;
      options.chipDirectoryGiven = true;
    } else if (name == "--chip") {
      if (value.empty()) return usageError("empty --chip");
      options.chip = value;
    } else if (name == "--listing") {
      options.listing = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else {
      return usageError("unknown option " + argument);
    }
  }
  return -1;
}

// Reads the whole image file. False with errno set (or EFBIG for a file too large).
bool readImageFile(const std::string& name, std::string& bytes) {
  errno = ENOENT;
  FILE* in = zq::openForReading(name, "rb");
  if (in == nullptr) return false;
  bytes.clear();
  char block[8192];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, in)) > 0 && bytes.size() <= kMaxFileBytes)
    bytes.append(block, count);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) {
    errno = EIO;
    return false;
  }
  if (bytes.size() > kMaxFileBytes) {
    errno = EFBIG;
    return false;
  }
  return true;
}

struct DisassemblerDeleter {
  void operator()(ZqasmDisassembler* d) const { ZqasmDisassemblerDestroy(d); }
};
using Disassembler = std::unique_ptr<ZqasmDisassembler, DisassemblerDeleter>;

// Loads a chip; on failure names the reason (status 1).
Disassembler openChip(const std::string& directory, const std::string& model, int& status) {
  int result = ZQASM_DIS_OK;
  Disassembler chip(ZqasmDisassemblerCreate(directory.c_str(), model.c_str(), &result));
  if (chip) return chip;
  status = kExitBadImage;
  if (result == ZQASM_DIS_NO_CHIP)
    std::fprintf(stderr, "zqdis: no chip description %s.COE in %s\n", model.c_str(),
                 directory.c_str());
  else if (result == ZQASM_DIS_NO_MEMORY)
    std::fprintf(stderr, "zqdis: no memory to load the chip %s\n", model.c_str());
  else
    std::fprintf(stderr, "zqdis: the chip description %s.COE in %s cannot be used\n", model.c_str(),
                 directory.c_str());
  return chip;
}

// The chip models of the directory (the stems of its ".COE" files), sorted.
std::vector<std::string> chipModels(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<std::string> models;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    std::string extension = zq::upperCase(it->path().extension().string());
    std::error_code ignored;
    if (extension == ".COE" && it->is_regular_file(ignored))
      models.push_back(it->path().stem().string());
  }
  std::sort(models.begin(), models.end());
  return models;
}

// The chip whose name text an ".OBJ" begins with; the header length with it. Empty when
// no chip of the directory (nor `preferred`, when given) matches.
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
  const int match = zqdis::matchHeader(bytes, names);
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

// Intel HEX does not hold the ROM top: the least of 0FFFh, 2FFFh and 0FFFFh that holds
// every word (a ROM of one bank, of three banks, or the largest).
int32_t guessRomTop(size_t words) {
  if (words <= 0x1000) return 0x0FFF;
  if (words <= 0x3000) return 0x2FFF;
  return 0xFFFF;
}

int runCommand(int argc, char** argv) {
  Options options;
  int status = parseArguments(argc, argv, options);
  if (status >= 0) return status;
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitClean;
  }
  if (options.version) {
    std::printf("zqdis %s\n", ZQASM_TOOL_VERSION);
    return kExitClean;
  }
  if (options.image.empty()) return usageError("missing IMAGE");

  std::string bytes;
  if (!readImageFile(options.image, bytes)) {
    std::fprintf(stderr, "zqdis: %s: %s\n", options.image.c_str(),
                 errno == EFBIG ? "too large to be an image" : std::strerror(errno));
    return kExitNotRead;
  }
  const std::string directory =
      zqcli::chipDirectory(options.chipDirectoryGiven, options.chipDirectory);
  const bool intelHex = zqdis::isIntelHex(bytes);
  if (intelHex && options.chip.empty())
    return usageError(options.image + ": an Intel HEX file does not name its chip: give --chip");
  if (bytes.empty()) return imageError(options.image, "the file is empty");

  zqdis::ProgramImage image;
  std::string error;
  std::string model = options.chip;
  if (intelHex) {
    if (!zqdis::readIntelHex(bytes, image, error)) return imageError(options.image, error);
  } else {
    size_t headerLength = 0;
    const std::string found = modelOfHeader(directory, bytes, options.chip, headerLength);
    if (found.empty()) {
      return imageError(options.image,
                        "its header \"" + headerStart(bytes) + "\" names no chip of " + directory);
    }
    if (model.empty()) model = found;
    if (!zqdis::readObject(bytes, headerLength, image, error))
      return imageError(options.image, error);
  }

  Disassembler chip = openChip(directory, model, status);
  if (!chip) return status;
  const int32_t romTop =
      intelHex ? guessRomTop(image.words.size()) : static_cast<int32_t>(image.words.size()) - 1;
  if (ZqasmDisassemblerRead(chip.get(), image.words.data(),
                            intelHex ? image.written.data() : nullptr, image.words.size(),
                            romTop) != 0) {
    std::fprintf(stderr, "zqdis: %s: no memory to read the image\n", options.image.c_str());
    return kExitNotRead;
  }
  zqdis::WriteSettings settings;
  settings.imageName = options.image;
  settings.model = model;
  settings.intelHex = intelHex;
  settings.listing = options.listing;
  const std::string text = zqdis::writeSource(chip.get(), settings);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "zqdis: standard output: %s\n", std::strerror(errno));
    return kExitNotRead;
  }
  ZqasmImageFacts facts;
  ZqasmDisassemblerFacts(chip.get(), &facts);
  if (facts.unreproduced > 0)
    std::fprintf(stderr,
                 "zqdis: %s: %zu word(s) cannot be written as source (marked in the output)\n",
                 options.image.c_str(), facts.unreproduced);
  return kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return runCommand(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zqdis: %s\n", e.what());
    return kExitNotRead;
  }
}
