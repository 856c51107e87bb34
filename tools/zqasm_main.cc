// zqasm: command-line front end of the assembler library. It fills a parameter block
// the way a host would, runs one assembly and turns the outcome into an exit status:
//   0  the run completed without errors
//   1  the run reported errors, or stopped with a fatal error
//   2  usage error (nothing was assembled)
//   3  the library returned 0 or -1 (source missing, output not creatable, no memory)
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"
#include "zqasm/assembler.h"

#ifndef ZQASM_DEFAULT_CHIP_DIR
#define ZQASM_DEFAULT_CHIP_DIR "chips"
#endif

namespace {

// clang-format off
const char kUsage[] =
    "usage: zqasm [options] SOURCE\n"
    "  -I DIR, --include DIR   include directory; repeatable, in search order: the first fills the\n"
    "                          first slot (offset 516), the second the second (774), the rest the\n"
    "                          list at 1032 (at most 34 in all)\n"
    "  --chip-dir DIR          directory of the .COE chip files (default: $ZQASM_CHIP_DIR, else the\n"
    "                          chips folder built with zqasm)\n"
    "  --rom-top N             highest program ROM address (default 0FFFh)\n"
    "  --table-top N           highest table ROM address, negative for none (default -1)\n"
    "  --mask-options FILE     mask option file\n"
    "  --case-sensitive        label, constant and RAM names compared with regard to case\n"
    "  --version, --help\n"
    "N is decimal, 0x-prefixed hexadecimal, or hexadecimal with an h/H suffix.\n";
// clang-format on

constexpr int kExitClean = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotRun = 3;

// Include directories: two fixed slots plus the list.
constexpr size_t kMaxIncludeDirectories = 2 + ZQASM_EXTRA_INCLUDE_DIRS;

const char kFatalMessage[] = "Occurred FATAL ERROR !";

struct Options {
  std::string source;
  std::vector<std::string> includeDirectories;
  std::string chipDirectory;
  bool chipDirectoryGiven = false;
  std::string maskOptions;
  int32_t romTop = 0xFFF;
  int32_t tableTop = -1;
  bool caseSensitive = false;
  bool help = false;
  bool version = false;
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "zqasm: %s\nTry 'zqasm --help' for more information.\n", message.c_str());
  return kExitUsage;
}

// Reads N: decimal, "0x" hexadecimal or hexadecimal with an "h"/"H" suffix; a leading
// "-" only when `allowNegative`. False when the text is no such number or leaves int32.
bool parseNumber(const std::string& text, bool allowNegative, int32_t& value) {
  std::string digits = text;
  bool negative = !digits.empty() && digits[0] == '-';
  if (negative) {
    if (!allowNegative) return false;
    digits.erase(0, 1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.erase(0, 2);
  } else if (digits.size() > 1 && (digits.back() == 'h' || digits.back() == 'H')) {
    base = 16;
    digits.pop_back();
  }
  if (digits.empty()) return false;
  // Accumulated in 64 bits and checked at every digit, so no input can overflow.
  int64_t magnitude = 0;
  for (char c : digits) {
    int digit;
    if (zq::isDigit(c))
      digit = c - '0';
    else if (base == 16 && zq::isHexDigit(c))
      digit = zq::toUpper(c) - 'A' + 10;
    else
      return false;
    magnitude = magnitude * base + digit;
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return false;
  value = static_cast<int32_t>(result);
  return true;
}

// Parses the command line. Returns -1 on success, else the exit status to end with
// (the message already written).
int parseArguments(int argc, char** argv, Options& options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    // Anything not shaped like an option is the source; "-" too, as a file name.
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
      if (!options.source.empty()) return usageError("more than one SOURCE: " + argument);
      if (argument.empty()) return usageError("empty SOURCE");
      options.source = argument;
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    // Options with a value take it from "--name=value", "-Ivalue" or the next argument.
    std::string name = argument, value;
    bool inlineValue = false;
    size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
      inlineValue = true;
    } else if (argument.compare(0, 2, "-I") == 0 && argument.size() > 2) {
      name = "-I";
      value = argument.substr(2);
      inlineValue = true;
    }
    bool takesValue = name == "-I" || name == "--include" || name == "--chip-dir" ||
                      name == "--rom-top" || name == "--table-top" || name == "--mask-options";
    if (takesValue && !inlineValue) {
      if (i + 1 >= argc) return usageError("option " + name + " needs a value");
      value = argv[++i];
    } else if (!takesValue && inlineValue) {
      return usageError("option " + name + " takes no value");
    }
    if (name == "-I" || name == "--include") {
      // An empty slot would end the library's list and drop the directories after it.
      if (value.empty()) return usageError("empty include directory");
      if (options.includeDirectories.size() == kMaxIncludeDirectories)
        return usageError("too many include directories (at most 34)");
      options.includeDirectories.push_back(value);
    } else if (name == "--chip-dir") {
      options.chipDirectory = value;
      options.chipDirectoryGiven = true;
    } else if (name == "--rom-top") {
      if (!parseNumber(value, false, options.romTop))
        return usageError("bad number for --rom-top: " + value);
    } else if (name == "--table-top") {
      if (!parseNumber(value, true, options.tableTop))
        return usageError("bad number for --table-top: " + value);
    } else if (name == "--mask-options") {
      options.maskOptions = value;
    } else if (name == "--case-sensitive") {
      options.caseSensitive = true;
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

// Copies `value` into a fixed slot of `size` bytes; false (with a message) when it does
// not fit with its NUL.
bool fillSlot(char* slot, size_t size, const std::string& value, const char* what, int& status) {
  if (value.size() + 1 > size) {
    status = usageError(std::string(what) + " is longer than " + std::to_string(size - 1) +
                        " characters: " + value);
    return false;
  }
  std::memcpy(slot, value.c_str(), value.size() + 1);
  return true;
}

int fillBlock(const Options& options, AssemblerParams& block) {
  int status = kExitUsage;
  if (!fillSlot(block.sourcePath, sizeof block.sourcePath, options.source, "SOURCE", status))
    return status;
  if (!fillSlot(block.maskOptionPath, sizeof block.maskOptionPath, options.maskOptions,
                "mask option file", status))
    return status;
  // Search order: slot 516, slot 774, then the list at 1032 (the parser allowed 34).
  for (size_t i = 0; i < options.includeDirectories.size(); ++i) {
    char* slot = i == 0 ? block.includeDir1 : i == 1 ? block.includeDir2 : block.includeDirs[i - 2];
    if (!fillSlot(slot, ZQASM_PATH_SLOT, options.includeDirectories[i], "include directory",
                  status))
      return status;
  }
  // An explicit --chip-dir wins, even when empty; else the environment, else the build.
  std::string chipDirectory = options.chipDirectory;
  if (!options.chipDirectoryGiven) {
    const char* fromEnvironment = std::getenv("ZQASM_CHIP_DIR");
    chipDirectory = fromEnvironment && *fromEnvironment ? fromEnvironment : ZQASM_DEFAULT_CHIP_DIR;
  }
  if (!fillSlot(block.chipDirectory, sizeof block.chipDirectory, chipDirectory, "chip directory",
                status))
    return status;
  block.programRomTop = options.romTop;
  block.tableRomTop = options.tableTop;
  block.labelCaseSensitive = options.caseSensitive ? 1 : 0;
  return -1;
}

// Messages of the run go to standard error as the library's default would write them;
// the fatal end-of-run message is remembered for the exit status.
void recordMessage(const char* text, void* context) {
  std::string line = text;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  if (line == kFatalMessage) *static_cast<bool*>(context) = true;
  std::fprintf(stderr, "%s\n", line.c_str());
}

// The error file of the run: the absolute source name with its extension (from the last
// "." anywhere) replaced by ".ERR", or ".ERR" appended.
std::string errorFileName(const std::string& source) {
  // The same full path the library derives its output names from.
  std::string name = zq::fullPath(source);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name + ".ERR";
  return name.substr(0, dot) + ".ERR";
}

// Copies the error file to standard error. Returns the error count of its totals line
// "N Error(s), M Warning(s)" (its last non-empty line), or -1 when there is none.
long reportErrorFile(const std::string& name) {
  // A text stream, as the file was written: on Windows its CR LF line ends come back as
  // line feeds, which standard error writes as CR LF again.
  FILE* in = std::fopen(name.c_str(), "r");
  if (in == nullptr) return -1;
  // Standard error is unbuffered: the copy goes in blocks, not one system call per byte.
  std::vector<char> block(1 << 16);
  std::string lastLine, line;
  size_t count;
  while ((count = std::fread(block.data(), 1, block.size(), in)) > 0) {
    std::fwrite(block.data(), 1, count, stderr);
    for (size_t start = 0; start < count;) {
      const void* feed = std::memchr(block.data() + start, '\n', count - start);
      size_t end =
          feed ? static_cast<size_t>(static_cast<const char*>(feed) - block.data()) : count;
      line.append(block.data() + start, end - start);
      if (feed == nullptr) break;
      if (line.find_first_not_of(" \t\r") != std::string::npos) lastLine = line;
      line.clear();
      start = end + 1;
    }
  }
  std::fclose(in);
  if (line.find_first_not_of(" \t\r") != std::string::npos) {
    lastLine = line;
    std::fputc('\n', stderr);
  }
  if (!lastLine.empty() && lastLine.back() == '\r') lastLine.pop_back();
  // The library writes the totals only when the run ended normally; after a fatal stop
  // the last line is the fatal text instead, which counts as an error below.
  long errors = 0, warnings = 0;
  int consumed = 0;
  if (std::sscanf(lastLine.c_str(), "%ld Error(s), %ld Warning(s)%n", &errors, &warnings,
                  &consumed) != 2 ||
      static_cast<size_t>(consumed) != lastLine.size() || errors < 0)
    return -1;
  return errors;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = parseArguments(argc, argv, options);
  if (status >= 0) return status;
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitClean;
  }
  if (options.version) {
    std::puts("zqasm: Assembler Version 4.6.1");
    return kExitClean;
  }
  if (options.source.empty()) return usageError("missing SOURCE");

  auto block = std::make_unique<AssemblerParams>();
  std::memset(block.get(), 0, sizeof(AssemblerParams));
  status = fillBlock(options, *block);
  if (status >= 0) return status;

  // The sink stays installed only for the call, so the flag outlives every message.
  bool fatal = false;
  ZqasmSetMessageSink(recordMessage, &fatal);
  int result = Run44Assembler(block.get());
  ZqasmSetMessageSink(nullptr, nullptr);
  // 0 and -1 come before any pass: there is no error file of this run to show (an old
  // one may still lie beside the source).
  if (result != 1) {
    if (result == 0)
      std::fprintf(stderr, "zqasm: %s: the assembler's tables could not be allocated\n",
                   options.source.c_str());
    else
      std::fprintf(stderr, "zqasm: %s: cannot open the source or create an output file\n",
                   options.source.c_str());
    return kExitNotRun;
  }
  long errors = reportErrorFile(errorFileName(options.source));
  return fatal || errors != 0 ? kExitErrors : kExitClean;
}
