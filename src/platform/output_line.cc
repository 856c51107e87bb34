#include "platform/output_line.h"

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

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
    for (size_t k = 0; k < count; ++k) short_[size_ + k] = c;
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
  } else if (magnitude <= 0xFFFFFFFFu) {
    // The usual numbers: 32-bit division is the cheaper one.
    auto small = static_cast<uint32_t>(magnitude);
    do {
      *--first = static_cast<char>('0' + small % 10);
      small /= 10;
    } while (small != 0);
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
  if (!spilled_ && size_ + padding + used <= kShortLine) {
    // Written in place, character by character: the pieces are a few characters long.
    char* out = short_ + size_;
    if (fill == ' ')
      for (size_t k = 0; k < padding; ++k) *out++ = ' ';
    if (negative) *out++ = '-';
    if (fill == '0')
      for (size_t k = 0; k < padding; ++k) *out++ = '0';
    for (const char* digit = first; digit < end; ++digit) *out++ = *digit;
    size_ = static_cast<size_t>(out - short_);
    return *this;
  }
  if (fill == ' ') repeat(' ', padding);
  if (negative) put("-", 1);
  if (fill == '0') repeat('0', padding);
  put(first, count);
  return *this;
}

void OutputLine::writeTo(FILE* stream) const {
  if (stream == nullptr) return;
  if (spilled_) {
    writeToStream(stream, long_.data(), long_.size());
  } else {
    writeToStream(stream, short_, size_);
  }
}

}  // namespace zq
