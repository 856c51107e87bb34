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

OutputLine& OutputLine::repeatLong(char c, size_t count) {
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

OutputLine& OutputLine::signedNumber(long long value, int width, char fill) {
  bool negative = value < 0;
  unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  return number(magnitude, negative, width, fill, 10);
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
  do {
    *--first = kDigits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
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
    writeToStream(stream, long_.data(), long_.size());
  } else {
    writeToStream(stream, short_, size_);
  }
}

}  // namespace zq
