// zqasm: command-line front end of the assembler library. It fills a parameter block
// the way a host would, runs one assembly and turns the outcome into an exit status:
//   0  the run completed without errors
//   1  the run reported errors, or stopped with a fatal error
//   2  usage error (nothing was assembled)
//   3  the outputs are not all made: the source is missing (or no regular file, or
//      larger than 16 MiB), or the library returned 0 or -1 (an output not created or
//      not written in full), or the depfile was not written; no image is left then
// Beyond the block it uses the static library's run observer (zqasm/observer.h) for the
// diagnostics, the files read, the images and the -D defines, and its chip loading
// (zqasm/disassembler.h) to tell usable chip files from others.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/chip_directory.h"
#include "common/cli_report.h"
#include "common/command_line.h"
#include "common/rom_map.h"
#include "common/trap_warnings.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "zqasm/assembler.h"
#include "zqasm/cli_size.h"
#include "zqasm/disassembler.h"
#include "zqasm/observer.h"
#include "zqasm/preprocessed.h"

#ifndef ZQASM_TOOL_VERSION
#define ZQASM_TOOL_VERSION "unknown"
#endif

namespace {

// clang-format off
// The same text, option by option, is the man page zqasm.1; change both together.
const char kUsage[] =
    "Usage: zqasm [OPTION]... SOURCE\n"
    "Assemble SOURCE for a ZQ 4-bit microcontroller. The outputs go next to SOURCE, named\n"
    "after it (or as -o and --out-dir say): NAME.OBJ (program image, only when there were\n"
    "no errors), NAME.TAB (table ROM), NAME.LST (listing), NAME.ERR (error file),\n"
    "NAME.SYM, NAME.MAP, NAME.LBL, NAME.EQU and NAME.RAM.\n"
    "\n"
    "Options:\n"
    "  -I DIR, --include DIR   also look for include files in DIR; repeatable, searched in\n"
    "                          the order given (at most 34 directories)\n"
    "  -D NAME[=VALUE]         define NAME as if '#DEFINE NAME VALUE' stood first in SOURCE\n"
    "                          (VALUE a number, default 1); repeatable\n"
    "  --chip-dir DIR          where the .COE chip files are (default: $ZQASM_CHIP_DIR, else\n"
    "                          the chips installed with zqasm)\n"
    "  --rom-top N             highest program ROM address, at most 0FFFFh (default 0FFFh)\n"
    "  --table-top N           highest table ROM address, negative for none (default -1)\n"
    "  --mask-options FILE     mask option file, for the chips that read one (default none)\n"
    "  --case-sensitive        tell labels, constants and RAM names apart by case\n"
    "                          (default: case is ignored)\n"
    "  --hex                   also write NAME.HEX (and NAME.TAB.HEX when there is a table\n"
    "                          ROM) in Intel HEX after an error-free run\n"
    "  --outputs LIST          write only the outputs named in LIST, comma-separated: obj,\n"
    "                          tab, lst, err, sym, map, lbl, equ, ram (NAME.OBJ ...), hex\n"
    "                          (as --hex), bin (NAME.BIN, as --bin); those left out are\n"
    "                          neither written nor removed (default: the nine files)\n"
    "  --bin FILE              also write FILE, the flat program image: the words of\n"
    "                          NAME.OBJ without its header text\n"
    "  -E                      write the source as assembled (includes, conditionals and\n"
    "                          macros done, line markers '# LINE \"FILE\"') to standard\n"
    "                          output, or to -o FILE, and no other file\n"
    "  -P                      with -E, no line markers: a text that zqasm assembles\n"
    "  -o FILE                 write the program image to FILE and every other output\n"
    "                          beside it with FILE's name less its extension (its folder\n"
    "                          created when missing); FILE may not be another output\n"
    "  --out-dir DIR           write the outputs into DIR (created when missing), named\n"
    "                          after SOURCE\n"
    "  -M FILE, --depfile FILE write a make rule to FILE (its folder created when missing):\n"
    "                          the image depends on SOURCE, every include file, the chip\n"
    "                          file and the mask option file read\n"
    "  -MT TARGET              the rule's target instead of the image as written (-o FILE;\n"
    "                          DIR/NAME.OBJ with --out-dir; else SOURCE with its extension\n"
    "                          replaced by .OBJ); repeatable\n"
    "  --diagnostics=STYLE     'editor' (default): one 'FILE:LINE: error: TEXT [E12]' line\n"
    "                          per diagnostic on standard error; 'err': the error file's\n"
    "                          lines as they are\n"
    "  --max-errors N          show at most N errors and warnings (default 50, 0 for all),\n"
    "                          then one line telling how many more there are; all are in\n"
    "                          NAME.ERR\n"
    "  --color=WHEN            colour the diagnostics: 'auto' (default, only on a terminal\n"
    "                          and without NO_COLOR set), 'always' or 'never'\n"
    "  -q, --quiet             print nothing after a run without errors or warnings\n"
    "  -Wall                   every warning, the language's traps included (see below)\n"
    "  -WNAME, -Wno-NAME       turn the warning NAME on or off; options apply in the\n"
    "                          order given (-Wall -Wno-truncation)\n"
    "  -w                      no warnings at all, whatever the other options say\n"
    "  -Werror, --warnings-as-errors\n"
    "                          a run with warnings fails: status 1 and no images\n"
    "  --map-svg FILE          draw what the run placed in program ROM (bank by bank),\n"
    "                          table ROM and RAM as an SVG picture in FILE, also after\n"
    "                          errors\n"
    "  -Werror=NAME            the warning NAME (turned on) is an error: status 1, no images\n"
    "  --size[=FORMAT]         after a clean run, print the program ROM words written per\n"
    "                          bank and in all, the table ROM cells, the RAM names and\n"
    "                          nibbles and the code end on standard output; FORMAT 'text'\n"
    "                          (default) or 'json'\n"
    "  --list-chips            list the chip models in the chip directory and exit; a\n"
    "                          .COE file that is no usable chip file is marked so\n"
    "  --help                  show this text and exit\n"
    "  --version               show zqasm's and the library's versions and exit\n"
    "\n"
    "N is decimal, hexadecimal with a 0x prefix, or hexadecimal with an h suffix.\n"
    "\n"
    "Warnings, each shown with its name ('[W0] [-Wdefine-redefined]'); on by default:\n"
    "  define-redefined        a #DEFINE of a name defined before (W0)\n"
    "  missing-endtable        a table segment without its end (W1)\n"
    "  macro-missing-parameter a macro call that leaves a parameter blank (W2)\n"
    "  working-register        a working register operand below the registers (W3)\n"
    "  text-after-eof          text after the end mark 1Ah of a source file (W4)\n"
    "  extensionless-source    SOURCE has no extension and a folder above it a dot\n"
    "Trap warnings, off by default (code that assembles, but rarely as meant):\n"
    "  undefined-in-condition  an undefined symbol in .IF/.ELSEIF, taken as 0 (W5)\n"
    "  parameter-in-word       a macro parameter replaced inside a longer word (W6)\n"
    "  truncation              a value cut to fit where it is stored (W7)\n"
    "  negative-unsigned       a negative intermediate value read back unsigned (W8)\n"
    "  mixed-operators         operators mixed without parentheses where the fixed\n"
    "                          left-to-right order differs from the usual precedence (W9)\n"
    "A warning turned off is left out of NAME.ERR and the listing too.\n"
    "On a terminal each diagnostic is followed by the source line it names.\n"
    "\n"
    "Example:\n"
    "  zqasm -I include -D DEBUG --hex --depfile build/demo.d demo.asm\n"
    "\n"
    "SOURCE must be a regular file of at most 16 MiB.\n"
    "\n"
    "Exit status: 0 no errors, 1 errors or a fatal stop (with -Werror, warnings),\n"
    "2 a wrong command line (-o or -M naming a file the run writes otherwise),\n"
    "3 an output not made (SOURCE missing, no regular file or too large, an output not\n"
    "creatable or cut short, no memory; no image is left).\n";
// clang-format on

constexpr int kExitClean = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUsage = zqcli::kExitUsage;
constexpr int kExitNotRun = 3;

// The name of zqasm's own warning (an extensionless SOURCE below a folder with a dot).
constexpr char kOwnWarning[] = "extensionless-source";

// Include directories: two fixed slots plus the list.
constexpr size_t kMaxIncludeDirectories = 2 + ZQASM_EXTRA_INCLUDE_DIRS;

enum class Colour { kAuto, kAlways, kNever };

struct Options {
  std::string source;
  std::vector<std::string> includeDirectories;
  std::string chipDirectory;
  bool chipDirectoryGiven = false;
  std::string maskOptions;
  int32_t romTop = 0xFFF;
  int32_t tableTop = -1;
  bool caseSensitive = false;
  std::vector<std::string> defineNames, defineValues;  // in order; a later -D of a name wins
  std::string depfile;
  std::vector<std::string> depTargets;  // -MT, in order
  std::string output;                   // -o
  std::string outDir;                   // --out-dir
  bool quiet = false;
  bool warningsAsErrors = false;
  // Warnings by number: on (-Wall, -WNAME and -Wno-NAME, applied in order), made errors
  // (-Werror=NAME); -w turns all off whatever the order. zqasm's own warning is beside them.
  uint32_t warnings = zqcli::kDefaultWarnings;
  uint32_t errorWarnings = 0;
  bool noWarnings = false;
  bool ownWarning = true, ownWarningError = false;
  enum class Size { kNone, kText, kJson } size = Size::kNone;
  bool listChips = false;
  bool hex = false;
  std::string mapSvg;  // --map-svg
  // --outputs: the library's part of the list (every file by default), and whether NAME.BIN
  // was named; --bin FILE.
  std::string libraryOutputs;
  bool outputsGiven = false;
  bool errFile = true;
  bool binOutput = false;
  std::string bin;
  bool preprocess = false;  // -E
  bool lineMarkers = true;  // -E without -P
  bool errStyle = false;
  long maxErrors = zqcli::kDefaultMaxShown;  // errors and warnings shown; 0 all
  bool maxErrorsGiven = false;
  Colour colour = Colour::kAuto;
  bool help = false;
  bool version = false;
};

int usageError(const std::string& message) { return zqcli::usageError("zqasm", message); }
// Reads N as the command line writes numbers (zqcli::parseNumber). False when the text
// is no such number or leaves int32.
bool parseNumber(const std::string& text, bool allowNegative, int32_t& value) {
  int64_t result = 0;
  if (!zqcli::parseNumber(text, allowNegative, result)) return false;
  if (result > INT32_MAX || result < INT32_MIN) return false;
  value = static_cast<int32_t>(result);
  return true;
}

// The kinds of output --outputs names: the library's files, the Intel HEX forms and the
// flat binary.
constexpr const char* kOutputNames[] = {"obj", "tab", "lst", "err", "sym", "map",
                                        "lbl", "equ", "ram", "hex", "bin"};

// Parses the list of --outputs. Returns -1 on success, else the exit status.
int parseOutputs(const std::string& list, Options& options) {
  options.outputsGiven = true;
  options.libraryOutputs.clear();
  options.errFile = options.binOutput = false;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = std::min(list.find(',', start), list.size());
    const std::string item = list.substr(start, end - start);
    start = end + 1;
    if (item == "hex") {
      options.hex = true;
    } else if (item == "bin") {
      options.binOutput = true;
    } else if (std::find(std::begin(kOutputNames), std::end(kOutputNames), item) !=
               std::end(kOutputNames)) {
      options.libraryOutputs += (options.libraryOutputs.empty() ? "" : ",") + item;
      options.errFile = options.errFile || item == "err";
    } else {
      std::string known;
      for (const char* name : kOutputNames) known += std::string(known.empty() ? "" : ", ") + name;
      return usageError("unknown output '" + item + "' in --outputs (known: " + known + ")");
    }
  }
  return -1;
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
    // Options with a value take it from "--name=value", "-Xvalue" or the next argument.
    auto [name, value, inlineValue] = zqcli::splitLongOption(argument);
    if (inlineValue || argument == "-Werror") {
      // The name and value are complete.
    } else if (argument.compare(0, 2, "-W") == 0) {
      // -Wall, -WNAME, -Wno-NAME: a warning on or off; -Werror=NAME: on, and an error.
      const bool error = argument.compare(0, 8, "-Werror=") == 0;
      const bool off = !error && argument.compare(0, 5, "-Wno-") == 0;
      const std::string warning = argument.substr(error ? 8 : off ? 5 : 2);
      if (!off && !error && warning == "all") {
        options.warnings = zqcli::kAllWarnings;
        options.ownWarning = true;
        continue;
      }
      if (warning == kOwnWarning) {
        options.ownWarning = !off;
        options.ownWarningError = options.ownWarningError || error;
        continue;
      }
      const int number = zqcli::warningNumber(warning);
      if (number < 0) {
        if (warning.empty()) return usageError("unknown option " + argument);
        return usageError(zqcli::unknownWarning(warning, kOwnWarning) + " (in " + argument + ")");
      }
      const uint32_t bit = 1u << number;
      options.warnings = off ? options.warnings & ~bit : options.warnings | bit;
      if (error) options.errorWarnings |= bit;
      continue;
    } else if (argument == "-w") {
      options.noWarnings = true;
      continue;
    } else if (argument.size() > 2 && argument[1] != '-') {
      // "-MT" is one option; "-MTx" is its value x.
      const size_t length = argument.compare(0, 3, "-MT") == 0 ? 3 : 2;
      name = argument.substr(0, length);
      value = argument.substr(length);
      inlineValue = !value.empty();
    }
    bool takesValue = name == "-I" || name == "--include" || name == "--chip-dir" ||
                      name == "--rom-top" || name == "--table-top" || name == "--mask-options" ||
                      name == "-D" || name == "-M" || name == "--depfile" ||
                      name == "--diagnostics" || name == "--color" || name == "-MT" ||
                      name == "-o" || name == "--out-dir" || name == "--max-errors" ||
                      name == "--map-svg" || name == "--outputs" || name == "--bin";
    if (takesValue && !inlineValue) {
      if (i + 1 >= argc) return usageError("option " + name + " needs a value");
      value = argv[++i];
    } else if (!takesValue && inlineValue && name != "--size") {
      return usageError(name.size() == 2 ? "unknown option " + argument
                                         : "option " + name + " takes no value");
    }
    if (name == "-I" || name == "--include") {
      // An empty slot would end the library's list and drop the directories after it.
      if (value.empty()) return usageError("empty include directory");
      if (options.includeDirectories.size() == kMaxIncludeDirectories)
        return usageError("too many include directories (at most 34)");
      options.includeDirectories.push_back(value);
    } else if (name == "-D") {
      size_t split = value.find('=');
      std::string defineName = value.substr(0, split);
      std::string defineValue = split == std::string::npos ? "" : value.substr(split + 1);
      int check = ZqasmCheckDefine(defineName.c_str(), defineValue.c_str());
      if (check == 0) return usageError("bad name for -D: '" + defineName + "'");
      if (check < 0 || (split != std::string::npos && defineValue.empty()))
        return usageError("bad value for -D " + defineName + ": '" + defineValue + "'");
      options.defineNames.push_back(defineName);
      options.defineValues.push_back(defineValue);
    } else if (name == "-M" || name == "--depfile") {
      if (value.empty()) return usageError("empty depfile name");
      options.depfile = value;
    } else if (name == "-MT") {
      if (value.empty()) return usageError("empty -MT target");
      options.depTargets.push_back(value);
    } else if (name == "-o") {
      if (value.empty()) return usageError("empty -o file");
      options.output = value;
    } else if (name == "--out-dir") {
      if (value.empty()) return usageError("empty --out-dir");
      options.outDir = value;
    } else if (name == "-q" || name == "--quiet") {
      options.quiet = true;
    } else if (name == "-Werror" || name == "--warnings-as-errors") {
      options.warningsAsErrors = true;
    } else if (name == "--size") {
      if (inlineValue && value != "text" && value != "json")
        return usageError("--size takes 'text' or 'json', not '" + value + "'");
      if (value == "json" && !zqcli::haveJson())
        return usageError("--size=json: this zqasm was built without JSON support");
      options.size = value == "json" ? Options::Size::kJson : Options::Size::kText;
    } else if (name == "--list-chips") {
      options.listChips = true;
    } else if (name == "--diagnostics") {
      if (value != "editor" && value != "err")
        return usageError("--diagnostics takes 'editor' or 'err', not '" + value + "'");
      options.errStyle = value == "err";
    } else if (name == "--max-errors") {
      int32_t count = 0;
      if (!parseNumber(value, false, count) || count < 0)
        return usageError("bad number for --max-errors: " + value);
      options.maxErrors = count;
      options.maxErrorsGiven = true;
    } else if (name == "--color") {
      if (value != "auto" && value != "always" && value != "never")
        return usageError("--color takes 'auto', 'always' or 'never', not '" + value + "'");
      options.colour = value == "always" ? Colour::kAlways
                       : value == "never" ? Colour::kNever : Colour::kAuto;
    } else if (name == "--chip-dir") {
      options.chipDirectory = value;
      options.chipDirectoryGiven = true;
    } else if (name == "--rom-top") {
      if (!parseNumber(value, false, options.romTop))
        return usageError("bad number for --rom-top: " + value);
      // Program addresses are 16-bit: the library would refuse the run as fatal.
      if (options.romTop > 0xFFFF) return usageError("--rom-top above 0FFFFh: " + value);
    } else if (name == "--table-top") {
      if (!parseNumber(value, true, options.tableTop))
        return usageError("bad number for --table-top: " + value);
    } else if (name == "--mask-options") {
      options.maskOptions = value;
    } else if (name == "--case-sensitive") {
      options.caseSensitive = true;
    } else if (name == "--hex") {
      options.hex = true;
    } else if (name == "--map-svg") {
      if (value.empty()) return usageError("empty --map-svg file");
      options.mapSvg = value;
    } else if (name == "--outputs") {
      const int outputs = parseOutputs(value, options);
      if (outputs >= 0) return outputs;
    } else if (name == "--bin") {
      if (value.empty()) return usageError("empty --bin file");
      options.bin = value;
    } else if (name == "-E") {
      options.preprocess = true;
    } else if (name == "-P") {
      options.lineMarkers = false;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else {
      return usageError("unknown option " + argument);
    }
  }
  if (!options.output.empty() && !options.outDir.empty())
    return usageError("-o and --out-dir exclude each other");
  if (options.preprocess) {
    // -E writes the text alone (to -o FILE or standard output).
    const char* other = options.outputsGiven          ? "--outputs"
                        : !options.bin.empty()        ? "--bin"
                        : !options.mapSvg.empty()     ? "--map-svg"
                        : options.hex                 ? "--hex"
                        : !options.outDir.empty()     ? "--out-dir"
                        : !options.depfile.empty()    ? "--depfile"
                        : !options.depTargets.empty() ? "-MT"
                        : options.size != Options::Size::kNone ? "--size"
                        : options.errStyle                     ? "--diagnostics=err"
                                                               : nullptr;
    if (other != nullptr) return usageError(std::string("-E writes no other output: ") + other);
  } else if (!options.lineMarkers) {
    return usageError("-P goes with -E");
  }
  // The error file is the only place of the diagnostics beyond --max-errors.
  if (options.errStyle && !options.errFile)
    return usageError("--diagnostics=err copies NAME.ERR, which --outputs leaves out");
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

// --chip-dir when given, even empty; else as chip_directory.h says.
std::string chipDirectoryOf(const Options& options) {
  return zqcli::chipDirectory(options.chipDirectoryGiven, options.chipDirectory);
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
  const std::string chipDirectory = chipDirectoryOf(options);
  if (!fillSlot(block.chipDirectory, sizeof block.chipDirectory, chipDirectory, "chip directory",
                status))
    return status;
  block.programRomTop = options.romTop;
  block.tableRomTop = options.tableTop;
  block.labelCaseSensitive = options.caseSensitive ? 1 : 0;
  return -1;
}

// Largest SOURCE zqasm takes, as much as a pass reads of include files.
constexpr size_t kMaxSourceBytes = 16u << 20;

// The source must exist before the library is called: its own failure does not tell a
// missing source from an output that cannot be created. Only a regular file of at most
// kMaxSourceBytes is taken; a pipe or device is refused without being read.
bool sourceExists(const std::string& source) {
  const std::string found = zq::resolveExistingName(source);
  std::string contents;
  errno = ENOENT;
  const zq::InputFile read =
      found.empty() ? zq::InputFile::kMissing : zq::readInputFile(found, kMaxSourceBytes, contents);
  if (read == zq::InputFile::kRead) return true;
  const std::string reason = read == zq::InputFile::kNotRegular ? "not a regular file"
                             : read == zq::InputFile::kTooLarge ? "larger than 16 MiB"
                                                                : std::strerror(errno);
  std::fprintf(stderr, "zqasm: %s: %s\n", source.c_str(), reason.c_str());
  return false;
}

// `path` less the extension of its last component ("out/prog.OBJ" -> "out/prog"); a dot
// in a folder name or at the start of the file name is no extension.
std::string withoutExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  return dot != std::string::npos && dot > nameStart ? path.substr(0, dot) : path;
}

// Where the outputs go. Without -o and --out-dir the library names them after the
// source; with either it is handed a stem.
struct Naming {
  std::string stem;    // every output is stem + extension; empty: named after the source
  std::string image;   // -o FILE, when that is not stem + ".OBJ" (the library writes it)
  std::string target;  // the image as the user would write it in a make rule
  std::string source;  // as given
  std::string fullSource;

  std::string name(const char* extension) const {
    return stem.empty() ? zqcli::withExtension(fullSource, extension) : stem + extension;
  }
};

Naming namingOf(const Options& options) {
  Naming n;
  n.source = options.source;
  n.fullSource = zq::fullPath(options.source);
  if (!options.output.empty()) {
    n.stem = withoutExtension(options.output);
    n.target = options.output;
    if (options.output != n.stem + ".OBJ") n.image = options.output;
  } else if (!options.outDir.empty()) {
    std::string directory = options.outDir;
    while (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\'))
      directory.pop_back();
    const size_t slash = options.source.find_last_of("/\\");
    const std::string file =
        slash == std::string::npos ? options.source : options.source.substr(slash + 1);
    n.stem = (directory == "/" ? "" : directory) + "/" + withoutExtension(file);
    n.target = n.stem + ".OBJ";
  } else {
    // The form gcc uses for -MD: SOURCE as given, its extension replaced as the library
    // replaces it.
    n.target = zqcli::withExtension(options.source, ".OBJ");
  }
  return n;
}

// The library takes the last "." of the full name, folders included: a source without an
// extension below a folder such as "v1.2" has its outputs named "v1.*" in the folder that
// holds "v1.2", however deep the source lies. Says where they go (as an error with
// `asError`), tagged with the warning's name; true when it did.
bool warnOfStemOutsideFolder(const Naming& n, bool asError) {
  if (!n.stem.empty()) return false;
  const size_t dot = n.fullSource.rfind('.');
  const size_t slash = n.fullSource.find_last_of("/\\");
  if (dot == std::string::npos || slash == std::string::npos || dot > slash) return false;
  const std::string image = zqcli::relativeName(n.name(".OBJ"));
  const size_t folderEnd = image.find_last_of("/\\");
  const std::string folder = folderEnd == std::string::npos ? "the current directory"
                             : folderEnd == 0               ? "/"
                                                            : image.substr(0, folderEnd);
  const size_t nameStart = folderEnd == std::string::npos ? 0 : folderEnd + 1;
  const std::string stem = image.substr(nameStart, image.size() - 4 - nameStart);
  std::fprintf(stderr,
               "zqasm: %s: %s has no extension, so its outputs are named after its path "
               "up to the last dot: %s.OBJ, %s.LST, %s.ERR, ... in %s; give -o or --out-dir "
               "to name them [-W%s%s]\n",
               asError ? "error" : "warning", n.source.c_str(), stem.c_str(), stem.c_str(),
               stem.c_str(), folder.c_str(), asError ? "error=" : "", kOwnWarning);
  return true;
}

// Whether the library writes its file `kind` (a name of kOutputNames but hex and bin).
bool writesOutput(const Options& options, const std::string& kind) {
  if (!options.outputsGiven) return true;
  const std::string& list = options.libraryOutputs;
  for (size_t start = 0; start <= list.size();) {
    const size_t end = std::min(list.find(',', start), list.size());
    if (list.compare(start, end - start, kind) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The flat binary image: --bin FILE, else NAME.BIN when --outputs names bin; "" none.
std::string binaryFile(const Options& options, const Naming& naming) {
  if (!options.bin.empty()) return options.bin;
  return options.binOutput ? naming.name(".BIN") : "";
}

// The image files as the library writes them (ZqasmSetImageOutputs, ZqasmSetBinaryImage,
// ZqasmSetOutputs), in its order: the program image, its Intel HEX form, the flat binary,
// the table ROM image and its Intel HEX form.
std::vector<std::string> imageFiles(const Options& options, const Naming& naming) {
  std::vector<std::string> files;
  if (writesOutput(options, "obj"))
    files.push_back(naming.image.empty() ? naming.name(".OBJ") : naming.image);
  if (options.hex) files.push_back(naming.name(".HEX"));
  const std::string binary = binaryFile(options, naming);
  if (!binary.empty()) files.push_back(binary);
  if (writesOutput(options, "tab")) files.push_back(naming.name(".TAB"));
  if (options.hex) files.push_back(naming.name(".TAB.HEX"));
  return files;
}

// A run that fails after the library wrote its images (warnings made errors, an output
// not made) leaves none: removed one right after the other, each image before its HEX
// form, so an image never stands beside another run's HEX form.
void removeImages(const Options& options, const Naming& naming) {
  for (const std::string& file : imageFiles(options, naming)) zq::deleteFile(file);
}

// Writes `text` to the file `name`; false (errno set) when it could not be written in full.
bool writeTextFile(const std::string& name, const std::string& text) {
  FILE* out = zq::openFile(name, "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const int saved = errno;
  ok = std::fclose(out) == 0 && ok;
  if (!ok && errno == 0) errno = saved ? saved : EIO;
  return ok;
}

// The files a run writes beside its program image, as the library names them, with what
// each one is; the Intel HEX forms only with --hex.
std::vector<std::pair<std::string, const char*>> otherOutputs(const Options& options,
                                                                const Naming& naming) {
  std::vector<std::pair<std::string, const char*>> files = {
      {naming.name(".LST"), "listing"},       {naming.name(".ERR"), "error file"},
      {naming.name(".SYM"), "symbol file"},   {naming.name(".MAP"), "address map"},
      {naming.name(".LBL"), "label file"},    {naming.name(".EQU"), "constants report"},
      {naming.name(".RAM"), "RAM name file"}, {naming.name(".TAB"), "table ROM image"},
  };
  if (options.hex) {
    files.emplace_back(naming.name(".HEX"), "Intel HEX image");
    files.emplace_back(naming.name(".TAB.HEX"), "table ROM's Intel HEX image");
  }
  return files;
}

// Whether two names are one file: compared absolute and without regard to case, as names
// are looked up (an existing "fw.ERR" is what "fw.err" opens).
bool sameFile(const std::string& a, const std::string& b) {
  return zq::equalsNoCase(zq::fullPath(a), zq::fullPath(b));
}

// -o and -M name files of their own: one the run also writes (or reads, SOURCE) would be
// replaced by the other at the end of the run. Returns the usage error, or "".
std::string outputClash(const Options& options, const Naming& naming) {
  const auto outputs = otherOutputs(options, naming);
  if (!options.output.empty()) {
    for (const auto& [file, what] : outputs)
      if (sameFile(options.output, file))
        return "-o names the " + std::string(what) + " of the same run: " + options.output;
  }
  if (options.depfile.empty()) return "";
  if (!options.output.empty() && sameFile(options.depfile, options.output))
    return "-o and the depfile name the same file: " + options.depfile;
  if (sameFile(options.depfile, options.source))
    return "the depfile names SOURCE itself: " + options.depfile;
  if (sameFile(options.depfile, naming.image.empty() ? naming.name(".OBJ") : naming.image))
    return "the depfile names the program image of the same run: " + options.depfile;
  for (const auto& [file, what] : outputs)
    if (sameFile(options.depfile, file))
      return "the depfile names the " + std::string(what) + " of the same run: " +
             options.depfile;
  return "";
}

// Creates `folder` and those above it when missing, as make expects of an output's folder.
// False (named on standard error) when one cannot be made.
bool createFolder(const std::string& folder) {
  if (folder.empty()) return true;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error) return true;
  std::fprintf(stderr, "zqasm: %s: cannot create: %s\n", zqcli::relativeName(folder).c_str(),
               error.message().c_str());
  return false;
}

// The folder that holds the file `name` as the library names its outputs ("\\" and "/"
// both separate), absolute.
std::string folderOf(const std::string& name) {
  const std::string full = zq::fullPath(name);
  const size_t slash = full.find_last_of("/\\");
  return slash == std::string::npos ? "" : full.substr(0, slash == 0 ? 1 : slash);
}

// The outputs of zqasm itself, written after a run that completed. False when one could
// not be written (named on standard error).
bool writeExtraOutputs(const Options& options, const zqcli::Reporter& reporter,
                       const Naming& naming, zqcli::RomMapFacts& map) {
  bool ok = true;
  auto failed = [&ok](const std::string& name) {
    std::fprintf(stderr, "zqasm: %s: cannot create: %s\n", name.c_str(), std::strerror(errno));
    ok = false;
  };
  if (!options.depfile.empty()) {
    std::vector<std::string> prerequisites;
    for (const std::string& file : reporter.filesRead)
      prerequisites.push_back(zqcli::relativeName(file));
    const std::vector<std::string> targets =
        options.depTargets.empty() ? std::vector<std::string>{naming.target} : options.depTargets;
    if (!zqcli::writeDepfile(options.depfile, targets, prerequisites)) failed(options.depfile);
  }
  if (!options.mapSvg.empty()) {
    for (std::string& file : map.files) file = zqcli::relativeName(file, reporter.directory);
    if (!writeTextFile(options.mapSvg, zqcli::drawRomMap(map))) failed(options.mapSvg);
  }
  return ok;
}

// Whether the chip MODEL loads from `directory` as .CHIP MODEL would load it.
bool chipLoads(const std::string& directory, const std::string& model) {
  int status = ZQASM_DIS_OK;
  ZqasmDisassembler* loaded = ZqasmDisassemblerCreate(directory.c_str(), model.c_str(), &status);
  const bool usable = loaded != nullptr;
  ZqasmDisassemblerDestroy(loaded);
  return usable;
}

// Prints the chip models found in `directory`, one "MODEL  FILE" line each, by name; a
// file that .CHIP could not load (not a chip description, its name matched by another in
// another case) is marked. Status 1 when there is no usable one.
int listChips(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, std::string>> chips;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    std::string extension = it->path().extension().string();
    for (char& c : extension) c = zq::toUpper(c);
    std::error_code ignored;
    if (extension == ".COE" && it->is_regular_file(ignored))
      chips.emplace_back(it->path().stem().string(), it->path().string());
  }
  if (error) {
    std::fprintf(stderr, "zqasm: %s: %s\n", directory.c_str(), error.message().c_str());
    return kExitNotRun;
  }
  if (chips.empty()) {
    std::fprintf(stderr, "zqasm: no chip files (*.COE) in %s\n", directory.c_str());
    return kExitErrors;
  }
  std::sort(chips.begin(), chips.end());
  bool anyUsable = false;
  for (const auto& [model, file] : chips) {
    const bool usable = chipLoads(directory, model);
    anyUsable = anyUsable || usable;
    std::printf("%-8s %s%s\n", model.c_str(), file.c_str(),
                usable ? "" : "  (unusable: .CHIP cannot load it)");
  }
  return anyUsable ? kExitClean : kExitErrors;
}

// What the run observer's callbacks reach: the report, and the -E text.
struct RunContext {
  zqcli::Reporter& reporter;
  zqcli::PreprocessedWriter& preprocessed;
};
void onDiagnostic(void* context, const ZqasmDiagnostic* diagnostic) {
  zqcli::onDiagnostic(&static_cast<RunContext*>(context)->reporter, diagnostic);
}
void onFileRead(void* context, const char* path, int kind) {
  zqcli::onFileRead(&static_cast<RunContext*>(context)->reporter, path, kind);
}
void onImage(void* context, const ZqasmImage* image) {
  zqcli::onImage(&static_cast<RunContext*>(context)->reporter, image);
}
void onStatement(void* context, const ZqasmStatement* statement) {
  static_cast<RunContext*>(context)->preprocessed.take(*statement);
}

// Writes the -E text to -o FILE or standard output. False when it could not be written
// in full (named on standard error).
bool writePreprocessed(const Options& options, const std::string& text) {
  if (options.output.empty()) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
  }
  FILE* out = zq::openFile(options.output, "wb");
  bool ok = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out != nullptr) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "zqasm: %s: cannot create: %s\n", options.output.c_str(),
                 std::strerror(errno));
  }
  return ok;
}

// The whole command; main only catches what it throws.
int runCommand(int argc, char** argv) {
  Options options;
  int status = parseArguments(argc, argv, options);
  if (status >= 0) return status;
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitClean;
  }
  if (options.version) {
    auto block = std::make_unique<AssemblerParams>();
    std::memset(block.get(), 0, sizeof(AssemblerParams));
    ZqasmFillVersionText(block.get());
    block->versionText[sizeof block->versionText - 1] = '\0';
    std::printf("zqasm %s\nlibrary: %s\n", ZQASM_TOOL_VERSION, block->versionText);
    return kExitClean;
  }
  if (options.listChips) return listChips(chipDirectoryOf(options));
  if (options.source.empty()) return usageError("missing SOURCE");

  auto block = std::make_unique<AssemblerParams>();
  std::memset(block.get(), 0, sizeof(AssemblerParams));
  status = fillBlock(options, *block);
  if (status >= 0) return status;
  // The image would replace the source (an earlier image is removed before the run ends).
  if (!options.output.empty() && zq::fullPath(options.output) == zq::fullPath(options.source))
    return usageError("-o names SOURCE itself: " + options.output);
  const Naming naming = namingOf(options);
  const std::string clash = outputClash(options, naming);
  if (!clash.empty()) return usageError(clash);
  if (!sourceExists(options.source)) return kExitNotRun;
  // -E writes no file named after the source.
  const bool ownAsError = options.ownWarningError;
  const bool stemWarned = !options.preprocess && options.ownWarning && !options.noWarnings &&
                          warnOfStemOutsideFolder(naming, ownAsError);
  // The folders of the outputs are made when missing: --out-dir, the folder of -o (where
  // every output goes) and that of the depfile.
  if (!options.outDir.empty() && !createFolder(zq::fullPath(options.outDir))) return kExitNotRun;
  if (!options.output.empty() && !createFolder(folderOf(options.output))) return kExitNotRun;
  // The depfile is written by zqasm under its name as given, the others by the library.
  if (!options.depfile.empty() &&
      !createFolder(std::filesystem::path(options.depfile).parent_path().string()))
    return kExitNotRun;

  zqcli::Reporter reporter;
  reporter.directory = zq::currentDirectory();
  // zqasm's own warning counts as the run's do (totals, -Werror).
  reporter.warnings = stemWarned && !ownAsError ? 1 : 0;
  reporter.errors = reporter.promoted = stemWarned && ownAsError ? 1 : 0;
  reporter.settings.errorWarnings = options.errorWarnings;
  reporter.settings.editorStyle = !options.errStyle;
  // Without the error file the diagnostics are shown all, unless --max-errors says.
  reporter.settings.maxShown =
      options.errFile || options.maxErrorsGiven || options.preprocess ? options.maxErrors : 0;
  reporter.settings.errorFile = zqcli::relativeName(naming.name(".ERR"));
  const bool terminal = zq::isTerminal(stderr);
  const char* noColour = std::getenv("NO_COLOR");
  reporter.settings.colour =
      options.colour == Colour::kAlways ||
      (options.colour == Colour::kAuto && terminal && !(noColour && *noColour));
  reporter.settings.quoteSource = terminal;

  std::vector<const char*> names, values;
  for (size_t i = 0; i < options.defineNames.size(); ++i) {
    names.push_back(options.defineNames[i].c_str());
    values.push_back(options.defineValues[i].c_str());
  }
  zqcli::PreprocessedWriter preprocessed(reporter.directory, options.lineMarkers);
  if (options.preprocess) preprocessed.addDefines(options.defineNames, options.defineValues);
  RunContext context{reporter, preprocessed};
  ZqasmRunObserver observer{};
  observer.context = &context;
  observer.diagnostic = onDiagnostic;
  observer.fileRead = onFileRead;
  observer.image = onImage;
  if (options.preprocess) observer.statement = onStatement;
  observer.defineNames = names.data();
  observer.defineValues = values.data();
  observer.defineCount = names.size();

  // A write beyond a file size limit fails and is reported instead of killing zqasm
  // halfway through an output.
  zq::ignoreFileSizeSignal();
  // --map-svg: the map's collector sees the run on the way to the reporter.
  zqcli::RomMapCollector map;
  map.facts.source = options.source;
  map.facts.romTop = options.romTop;
  map.facts.tableTop = options.tableTop;
  const ZqasmRunObserver installed =
      options.mapSvg.empty() ? observer : zqcli::collectRomMap(map, observer);
  // Both stay installed only for the call, so the reporter outlives every callback.
  ZqasmSetMessageSink(zqcli::onMessage, &reporter);
  ZqasmSetRunObserver(&installed);
  ZqasmSetOutputStem(naming.stem.c_str());
  // The names come from the list the library knows, so the call cannot refuse them.
  ZqasmSetWarnings(options.noWarnings ? "no-all" : zqcli::warningList(options.warnings).c_str());
  // The library writes every image, the HEX forms and the -o file included, so that they
  // replace those of an earlier run together.
  ZqasmSetImageOutputs(naming.image.c_str(), options.hex ? 1 : 0);
  ZqasmSetBinaryImage(binaryFile(options, naming).c_str());
  // The names were checked by parseOutputs.
  ZqasmSetOutputs(options.outputsGiven ? options.libraryOutputs.c_str() : nullptr);
  // -E: the run's facts alone, no file written, replaced or removed.
  if (options.preprocess) ZqasmSetOutputFiles(0);
  int result = Run44Assembler(block.get());
  ZqasmSetOutputFiles(1);
  ZqasmSetOutputs(nullptr);
  ZqasmSetBinaryImage(nullptr);
  ZqasmSetImageOutputs(nullptr, 0);
  ZqasmSetOutputStem(nullptr);
  ZqasmSetRunObserver(nullptr);
  ZqasmSetMessageSink(nullptr, nullptr);
  zqcli::flushReport(reporter);

  // 0 and -1 come before any pass or from an output not written: what failed was named
  // by the library's message (an old error file may still lie beside the source).
  if (result != 1) {
    // The run may have written its images and stopped at a text file: a run that did not
    // make all its outputs leaves no image for make to take as up to date (-E touches none).
    if (!options.preprocess) removeImages(options, naming);
    if (result == 0)
      std::fprintf(stderr, "zqasm: %s: the assembler's tables could not be allocated\n",
                   options.source.c_str());
    else if (!reporter.createFailed)
      std::fprintf(stderr, "zqasm: %s: an output file could not be created\n",
                   options.source.c_str());
    return kExitNotRun;
  }
  if (options.preprocess) {
    const bool ok = writePreprocessed(options, preprocessed.text());
    if (!(options.quiet && reporter.errors == 0 && reporter.warnings == 0 && !reporter.fatal))
      zqcli::printTotals(reporter);
    zqcli::flushReport(reporter);
    if (!ok) return kExitNotRun;
    const bool failed = reporter.fatal || reporter.errors > 0 || reporter.promoted > 0 ||
                        (options.warningsAsErrors && reporter.warnings > 0);
    return failed ? kExitErrors : kExitClean;
  }
  // With -Werror a warning fails the run as an error does, and so does one that
  // -Werror=NAME made an error: no image is left.
  const bool failedOnWarnings =
      (options.warningsAsErrors && reporter.warnings > 0) || reporter.promoted > 0;
  const bool clean = !reporter.fatal && reporter.errors == 0 && !failedOnWarnings;
  if (failedOnWarnings) removeImages(options, naming);
  if (!(options.quiet && clean && reporter.warnings == 0)) {
    if (options.errStyle)
      zqcli::copyErrorFile(reporter, naming.name(".ERR"));
    else
      zqcli::printTotals(reporter);
  }
  zqcli::flushReport(reporter);
  if (options.warningsAsErrors && reporter.warnings > 0)
    std::fputs("zqasm: warnings are treated as errors\n", stderr);
  if (!writeExtraOutputs(options, reporter, naming, map.facts)) {
    removeImages(options, naming);
    return kExitNotRun;
  }
  if (options.size != Options::Size::kNone && clean && reporter.imageSeen) {
    const zqcli::SizeSummary summary =
        zqcli::summarize(reporter.programWritten, reporter.tableWritten, reporter.ramNames,
                         reporter.ramNibbles, block->codeEnd);
    if (options.size == Options::Size::kJson)
      zqcli::printSizeJson(stdout, summary);
    else
      zqcli::printSize(stdout, summary);
  }
  return clean ? kExitClean : kExitErrors;
}

}  // namespace

int main(int argc, char** argv) {
  // Out of memory anywhere in zqasm itself (the library never throws) ends it with a
  // message and the status of a run that assembled nothing, not with an abort.
  try {
    return runCommand(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zqasm: %s\n", e.what());
    return kExitNotRun;
  }
}
