// The option words the programs of tools/ share: how one argument splits into an option
// name and an inline value, and the usage-error message with its exit status.
#ifndef ZQASM_TOOLS_COMMON_COMMAND_LINE_H_
#define ZQASM_TOOLS_COMMON_COMMAND_LINE_H_

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

// Prints "PROGRAM: MESSAGE" and the hint to --help on standard error; returns kExitUsage.
int usageError(const char* program, const std::string& message);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_COMMON_COMMAND_LINE_H_
