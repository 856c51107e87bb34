// The number syntax, read character by character.
#include "source/numbers.h"

#include <cstdint>

#include "platform/text.h"

namespace zq {

namespace {

constexpr int kMaxBinaryLast = 12;  // at most 12 characters before the 'B'

bool isHexLetter(char c) {
  char u = toUpper(c);
  return u >= 'A' && u <= 'F';
}

int32_t toSigned(uint32_t value) { return static_cast<int32_t>(value); }

bool hasDecimalDigit(std::string_view text) {
  for (char c : text)
    if (isDigit(c)) return true;
  return false;
}

}  // namespace

// Number syntax: an optional sign ('-' 8-bit negate, '~' 16-bit complement, '+'),
// then digits with an optional radix suffix B (at most 12 characters before it), D or
// H, or a leading '$' for hexadecimal. Reads text[0..lastIndex].
int parseNumber(std::string_view text, int lastIndex) {
  if (lastIndex < 0 || text.empty()) return -1;
  size_t last = static_cast<size_t>(lastIndex);
  if (last >= text.size()) last = text.size() - 1;
  const std::string_view s = text.substr(0, last + 1);

  bool negate = s[0] == '-';
  bool complement = s[0] == '~';
  size_t start = (s[0] == '-' || s[0] == '+' || s[0] == '~') ? 1 : 0;
  uint32_t radix = 10;
  size_t digitsEnd = last;  // one past the last digit
  if (s[0] == '$') {
    // $1F is read as 1FH: the '$' goes and an 'H' takes the last place, so the digits
    // are the characters after the '$'.
    radix = 16;
    start = 1;
    digitsEnd = last + 1;
  } else if (!hasDecimalDigit(s)) {
    return kMalformedNumber;
  } else {
    // The last character chooses the radix; without a suffix it is a decimal digit too.
    switch (toUpper(s[last])) {
      case 'B':
        if (last < 1 || last > kMaxBinaryLast) return kMalformedNumber;
        radix = 2;
        break;
      case 'D':
        break;
      case 'H':
        radix = 16;
        break;
      default:
        digitsEnd = last + 1;
        break;
    }
  }

  uint32_t value = 0;
  for (size_t i = start; i < digitsEnd; ++i) {
    char c = s[i];
    uint32_t digit;
    if (isDigit(c)) {
      digit = static_cast<uint32_t>(c - '0');
    } else if (radix == 16 && isHexLetter(c)) {
      digit = static_cast<uint32_t>(toUpper(c) - 'A' + 10);
    } else {
      return kMalformedNumber;
    }
    if (digit >= radix) return kMalformedNumber;
    value = value * radix + digit;
  }

  // A sign makes an 8-bit two's complement and '~' a 16-bit complement: -1 is 255.
  if (negate) return toSigned((0u - value) & 0xFFu);
  if (complement) return toSigned(~value & 0xFFFFu);
  return toSigned(value);
}

}  // namespace zq
