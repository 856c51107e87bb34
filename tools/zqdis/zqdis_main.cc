// zqdis: reads a program image (".OBJ", or Intel HEX with --chip) back as assembly source
// that zqasm assembles to the same image, or as a listing. Exit statuses as zqasm's:
//   0  the image was read (words that no source can give are counted on standard error)
//   1  the image is not one (empty, cut short, too long, a file above 8 MiB, a bad HEX
//      line), or its chip cannot be found
//   2  usage error
//   3  the image cannot be read (missing, or no regular file)
// The reading itself is disassembly.h's, which reaches the library through
// zqasm/disassembler.h.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "common/chip_directory.h"
#include "common/command_line.h"
#include "platform/platform.h"
#include "zqdis/disassembly.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

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
    "  --listing        address, word and statement columns, for reading: \"....\" where\n"
    "                   the addresses jump, a blank line after each RET, RETI and JMP\n"
    "  --rom-top N      the program ROM top of an Intel HEX image (default: the end of\n"
    "                   the bank of its last word, 0FFFh, 1FFFh or 2FFFh; 0FFFFh beyond)\n"
    "  --gaps           take runs of four or more fill words (0000h; FFFFh on the ZQ44W05)\n"
    "                   of an Intel HEX image as unwritten, as a device read-back holds\n"
    "                   them wherever nothing was written\n"
    "  --start N, --stop N  write only the addresses from N, up to N\n"
    "  --table FILE     the table ROM image (.TAB or .TAB.HEX) to write back as a .TABLE\n"
    "                   region, its top in the --table-top of the first lines\n"
    "  --symbols FILE   the label file (.LBL) zqasm wrote beside the image: its names for\n"
    "                   the labels instead of Lxxxx\n"
    "  --symbols-for-operands  with --symbols, also a value operand that equals a named\n"
    "                   address as that name (an EQU of the same name gives its value)\n"
    "  --help           show this text and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "IMAGE must be a regular file of at most 8 MiB, or - for standard input. A .TAB or\n"
    ".TAB.HEX given as IMAGE is refused: it is a table ROM image.\n"
    "Intel HEX records that give bytes already given are warned of on standard error.\n"
    "\n"
    "Exit status: 0 image read, 1 not an image (also a file above 8 MiB) or its chip not\n"
    "found, 2 a wrong command line, 3 IMAGE not readable (also no regular file).\n";
// clang-format on

constexpr int kExitClean = 0;
constexpr int kExitBadImage = 1;
constexpr int kExitNotRead = 3;

// Larger files are no image: an Intel HEX of the largest ROM takes well under this.
constexpr size_t kMaxFileBytes = 8u << 20;

struct Options {
  std::string image;
  std::string chipDirectory;
  bool chipDirectoryGiven = false;
  std::string chip;
  bool listing = false;
  int64_t romTop = -1;
  bool gaps = false;
  int64_t start = 0, stop = 0xFFFF;
  std::string table, symbols;
  bool symbolsForOperands = false;
  bool help = false;
  bool version = false;
};

int usageError(const std::string& message) { return zqcli::usageError("zqdis", message); }

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
    auto [name, value, inlineValue] = zqcli::splitLongOption(argument);
    const bool takesValue = name == "--chip-dir" || name == "--chip" || name == "--rom-top" ||
                            name == "--start" || name == "--stop" || name == "--table" ||
                            name == "--symbols";
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
    } else if (name == "--rom-top" || name == "--start" || name == "--stop") {
      int64_t& number = name == "--rom-top" ? options.romTop
                        : name == "--start" ? options.start
                                            : options.stop;
      if (!zqcli::parseNumber(value, false, number))
        return usageError("bad number for " + name + ": " + value);
      if (number > 0xFFFF) return usageError(name + " above 0FFFFh: " + value);
    } else if (name == "--gaps") {
      options.gaps = true;
    } else if (name == "--table" || name == "--symbols") {
      if (value.empty()) return usageError("empty " + name);
      (name == "--table" ? options.table : options.symbols) = value;
    } else if (name == "--symbols-for-operands") {
      options.symbolsForOperands = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else {
      return usageError("unknown option " + argument);
    }
  }
  if (options.start > options.stop) return usageError("--start above --stop");
  if (options.symbolsForOperands && options.symbols.empty())
    return usageError("--symbols-for-operands needs --symbols");
  return -1;
}

// Reads standard input whole, up to kMaxFileBytes + 1 bytes.
zq::InputFile readStandardInput(std::string& bytes) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  bytes.clear();
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
    bytes.append(buffer, got);
    if (bytes.size() > kMaxFileBytes) return zq::InputFile::kTooLarge;
  }
  return std::ferror(stdin) ? zq::InputFile::kFailed : zq::InputFile::kRead;
}

// Reads the whole image file, found as zqasm finds its files. kMissing and kFailed leave
// errno set.
zq::InputFile readImageFile(const std::string& name, std::string& bytes) {
  if (name == "-") return readStandardInput(bytes);
  const std::string found = zq::resolveExistingName(name);
  errno = ENOENT;
  return found.empty() ? zq::InputFile::kMissing : zq::readInputFile(found, kMaxFileBytes, bytes);
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

  // The image and the files given with it, each read whole.
  std::string bytes, tableBytes, symbolsText;
  const std::pair<const std::string*, std::string*> inputs[] = {
      {&options.image, &bytes}, {&options.table, &tableBytes}, {&options.symbols, &symbolsText}};
  for (const auto& [file, contents] : inputs) {
    if (file->empty()) continue;
    const zq::InputFile read = readImageFile(*file, *contents);
    if (read == zq::InputFile::kRead) continue;
    const bool tooLarge = read == zq::InputFile::kTooLarge;
    const std::string shown = *file == "-" ? "standard input" : *file;
    std::fprintf(stderr, "zqdis: %s: %s\n", shown.c_str(),
                 tooLarge ? "larger than 8 MiB, too large to be an image"
                 : read == zq::InputFile::kNotRegular ? "not a regular file"
                                                      : std::strerror(errno));
    return tooLarge ? kExitBadImage : kExitNotRead;
  }
  zqdis::Request request;
  request.imageName = options.image == "-" ? "standard input" : options.image;
  request.bytes = std::move(bytes);
  request.romTop = options.romTop;
  request.gaps = options.gaps;
  request.start = static_cast<uint32_t>(options.start);
  request.stop = static_cast<uint32_t>(options.stop);
  request.tableName = options.table;
  request.tableBytes = std::move(tableBytes);
  request.symbolsName = options.symbols;
  request.symbolsText = std::move(symbolsText);
  request.symbolsForOperands = options.symbolsForOperands;
  request.chipDirectory = zqcli::chipDirectory(options.chipDirectoryGiven, options.chipDirectory);
  request.chip = options.chip;
  request.listing = options.listing;
  zqdis::Disassembly result;
  std::string error;
  status = zqdis::disassemble(request, result, error);
  for (const std::string& warning : result.warnings)
    std::fprintf(stderr, "zqdis: warning: %s\n", warning.c_str());
  if (status == zqdis::kUsage) return usageError(error);
  if (status != 0) {
    std::fprintf(stderr, "zqdis: %s\n", error.c_str());
    return status == zqdis::kNoMemory ? kExitNotRead : kExitBadImage;
  }
  const std::string& text = result.text;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "zqdis: standard output: %s\n", std::strerror(errno));
    return kExitNotRead;
  }
  if (result.unreproduced > 0)
    std::fprintf(stderr,
                 "zqdis: %s: %zu word(s) cannot be written as source (marked in the output)\n",
                 request.imageName.c_str(), result.unreproduced);
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
