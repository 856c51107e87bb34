#include "platform/output_line.h"

#include <cstring>

namespace zq {

// Appends to a line that no longer fits the short buffer.
void OutputLine::spill(const char* s, size_t count) {
  if (!spilled_) {
    long_.assign(short_, size_);
    spilled_ = true;
  }
  long_.append(s, count);
}

OutputLine& OutputLine::repeat(char c, size_t count) {
  if (!spilled_ && size_ + count <= kShortLine) {
    std::memset(short_ + size_, c, count);
    size_ += count;
    return *this;
  }
  char fill[32];
  std::memset(fill, c, sizeof fill);
  for (; count > sizeof fill; count -= sizeof fill) put(fill, sizeof fill);
  put(fill, count);
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
    repeat(' ', static_cast<size_t>(width) - length);
  put(s.c_str(), length);
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
  if (fill == ' ') repeat(' ', padding);
  if (negative) put("-", 1);
  if (fill == '0') repeat('0', padding);
  put(first, count);
  return *this;
}

void OutputLine::writeTo(FILE* stream) const {
  if (stream == nullptr) return;
  if (spilled_) {
    std::fwrite(long_.data(), 1, long_.size(), stream);
  } else {
    std::fwrite(short_, 1, size_, stream);
  }
}

}  // namespace zq
