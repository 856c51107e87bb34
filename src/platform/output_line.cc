#include "platform/output_line.h"

#include <cstring>

namespace zq {

OutputLine& OutputLine::text(const char* s) {
  text_.append(s, std::strlen(s));
  return *this;
}

OutputLine& OutputLine::repeat(char c, size_t count) {
  text_.append(count, c);
  return *this;
}

OutputLine& OutputLine::decimal(long long value, int width) {
  bool negative = value < 0;
  unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  return number(magnitude, negative, width, ' ', 10);
}

OutputLine& OutputLine::decimalZeros(long long value, int width) {
  bool negative = value < 0;
  unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  return number(magnitude, negative, width, '0', 10);
}

OutputLine& OutputLine::hex(unsigned long long value, int width) {
  return number(value, false, width, '0', 16);
}

OutputLine& OutputLine::rightAligned(const std::string& s, int width) {
  size_t length = std::strlen(s.c_str());
  if (width > 0 && length < static_cast<size_t>(width))
    text_.append(static_cast<size_t>(width) - length, ' ');
  text_.append(s.c_str(), length);
  return *this;
}

// Digits, then the fill: blanks stand before the sign, zeros after it.
OutputLine& OutputLine::number(unsigned long long magnitude, bool negative, int width, char fill,
                               unsigned base) {
  static const char kDigits[] = "0123456789ABCDEF";
  char digits[24];
  char* const end = digits + sizeof digits;
  char* first = end;
  if (base == 16) {
    do {
      *--first = kDigits[magnitude & 0xF];
      magnitude >>= 4;
    } while (magnitude != 0);
  } else {
    do {
      *--first = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
  }
  size_t count = static_cast<size_t>(end - first);
  size_t used = count + (negative ? 1 : 0);
  size_t padding =
      width > 0 && used < static_cast<size_t>(width) ? static_cast<size_t>(width) - used : 0;
  if (fill == ' ') text_.append(padding, ' ');
  if (negative) text_.push_back('-');
  if (fill == '0') text_.append(padding, '0');
  text_.append(first, count);
  return *this;
}

void OutputLine::writeTo(FILE* stream) const {
  if (stream != nullptr) std::fwrite(text_.data(), 1, text_.size(), stream);
}

}  // namespace zq
