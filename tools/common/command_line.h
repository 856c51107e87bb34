// The option words the programs of tools/ share: how one argument splits into an option
// name and an inline value, how a number is written, and the usage-error message with its
// exit status.
#ifndef ZQASM_TOOLS_COMMON_COMMAND_LINE_H_
#define ZQASM_TOOLS_COMMON_COMMAND_LINE_H_

#include <cstdint>
#include <string>

namespace zqcli {

// Status of a usage error, the same for every program.
constexpr int kExitUsage = 2;

struct OptionWord {
  std::string name;          // "--chip-dir" of "--chip-dir=x"; the whole argument otherwise
  std::string value;         // "x" of "--chip-dir=x"
  bool inlineValue = false;  // the argument was "--name=value"
};

// "--name=value" gives the name and its value; any other argument is a name alone.
OptionWord splitLongOption(const std::string& argument);

// A number as the command line and zqasm.json write it: decimal, "0x" hexadecimal or
// hexadecimal with an "h"/"H" suffix; a leading "-" only when `allowNegative`. False when
// the text is no such number or its magnitude is above 2^32 (so nothing can overflow).
bool parseNumber(const std::string& text, bool allowNegative, int64_t& value);

// Prints "PROGRAM: MESSAGE" and the hint to --help on standard error; returns kExitUsage.
int usageError(const char* program, const std::string& message);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_COMMON_COMMAND_LINE_H_
