#include "common/command_line.h"

#include <cstdio>

#include "platform/text.h"

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

bool parseNumber(const std::string& text, bool allowNegative, int64_t& value) {
  std::string digits = text;
  const bool negative = !digits.empty() && digits[0] == '-';
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
    if (magnitude > (int64_t{1} << 32)) return false;
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

int usageError(const char* program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, message.c_str(),
               program);
  return kExitUsage;
}

}  // namespace zqcli
