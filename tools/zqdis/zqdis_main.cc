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
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "common/chip_directory.h"
#include "common/command_line.h"
#include "platform/platform.h"
#include "zqdis/disassembly.h"

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
    "IMAGE must be a regular file of at most 8 MiB.\n"
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

// Reads the whole image file, found as zqasm finds its files. kMissing and kFailed leave
// errno set.
zq::InputFile readImageFile(const std::string& name, std::string& bytes) {
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

  std::string bytes;
  const zq::InputFile read = readImageFile(options.image, bytes);
  if (read != zq::InputFile::kRead) {
    const bool tooLarge = read == zq::InputFile::kTooLarge;
    std::fprintf(stderr, "zqdis: %s: %s\n", options.image.c_str(),
                 tooLarge ? "larger than 8 MiB, too large to be an image"
                 : read == zq::InputFile::kNotRegular ? "not a regular file"
                                                      : std::strerror(errno));
    return tooLarge ? kExitBadImage : kExitNotRead;
  }
  zqdis::Request request;
  request.imageName = options.image;
  request.bytes = std::move(bytes);
  request.chipDirectory = zqcli::chipDirectory(options.chipDirectoryGiven, options.chipDirectory);
  request.chip = options.chip;
  request.listing = options.listing;
  zqdis::Disassembly result;
  std::string error;
  status = zqdis::disassemble(request, result, error);
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
                 options.image.c_str(), result.unreproduced);
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
