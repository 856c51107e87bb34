#include "common/command_line.h"

#include <cstdio>

namespace zqcli {

OptionWord splitLongOption(const std::string& argument) {
  OptionWord word;
  word.name = argument;
  const size_t equals = argument.find('=');
  if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
    word.name = argument.substr(0, equals);
    word.value = argument.substr(equals + 1);
    word.inlineValue = true;
  }
  return word;
}

int usageError(const char* program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, message.c_str(),
               program);
  return kExitUsage;
}

}  // namespace zqcli
