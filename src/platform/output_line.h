// One line of an output file, put together piece by piece and written with one fwrite.
// The files that get a line per statement or per symbol (the listing, ".SYM", ".MAP",
// ".LBL", ".EQU") would otherwise spend much of a run inside fprintf. Each piece does
// exactly what the printf conversion named beside it does, so a writer reads as its
// format string: "%5d %s" is .decimal(n, 5).text(" ").text(s).
#ifndef ZQASM_PLATFORM_OUTPUT_LINE_H_
#define ZQASM_PLATFORM_OUTPUT_LINE_H_

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace zq {

// Writes the decimal digits of `value` so that they end just before `end`, two at a time
// from a table of the pairs "00" to "99"; the caller has counted and made room for them.
inline void decimalDigitsBefore(char* end, uint32_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  while (value >= 100) {
    const uint32_t pair = value % 100;
    value /= 100;
    end -= 2;
    std::memcpy(end, kPairs + 2 * pair, 2);
  }
  if (value >= 10) {
    std::memcpy(end - 2, kPairs + 2 * value, 2);
  } else {
    end[-1] = static_cast<char>('0' + value);
  }
}

class OutputLine {
 public:
  // "%s": the text up to its first NUL.
  OutputLine& text(const char* s) {
    put(s, std::strlen(s));
    return *this;
  }
  // Exactly the characters of `s`.
  OutputLine& text(std::string_view s) {
    put(s.data(), s.size());
    return *this;
  }
  // The same for a std::string, which knows its length (a NUL inside still ends the text).
  OutputLine& text(const std::string& s) {
    const void* nul = std::memchr(s.data(), '\0', s.size());
    put(s.data(), nul ? static_cast<size_t>(static_cast<const char*>(nul) - s.data()) : s.size());
    return *this;
  }
  // "%*s" of an empty text and the like: `count` copies of `c`.
  OutputLine& repeat(char c, size_t count) {
    if (count <= 16 && !spilled_ && size_ + 16 <= kShortLine) {
      // A store of fixed size; what lies beyond `count` stays outside the line.
      std::memset(short_ + size_, c, 16);
      size_ += count;
      return *this;
    }
    return repeatLong(c, count);
  }
  // "%d", "%u" (width 0) and "%5d", "%5u": right-aligned, filled with blanks.
  OutputLine& decimal(long long value, int width = 0) {
    if (value >= 0 && value <= 0xFFFFFFFFll &&
        shortDigits(static_cast<uint32_t>(value), 10, width, ' '))
      return *this;
    return signedNumber(value, width, ' ');
  }
  // "%05d", "%05u": filled with zeros after the sign.
  OutputLine& decimalZeros(long long value, int width) {
    if (value >= 0 && value <= 0xFFFFFFFFll &&
        shortDigits(static_cast<uint32_t>(value), 10, width, '0'))
      return *this;
    return signedNumber(value, width, '0');
  }
  // "%X" (width 0) and "%04X", "%05lX", "%04hX" of the value as passed: upper-case
  // hexadecimal filled with zeros.
  OutputLine& hex(unsigned long long value, int width = 0) {
    if (value <= 0xFFFFFFFFull && shortDigits(static_cast<uint32_t>(value), 16, width, '0'))
      return *this;
    return number(value, false, width, '0', 16);
  }
  // "%32s": right-aligned, filled with blanks.
  OutputLine& rightAligned(const std::string& s, int width);

  // Writes the line to `stream` (nothing when it is null).
  void writeTo(FILE* stream) const;
  size_t size() const { return spilled_ ? long_.size() : size_; }
  std::string str() const { return spilled_ ? long_ : std::string(short_, size_); }

 private:
  OutputLine& number(unsigned long long magnitude, bool negative, int width, char fill,
                     unsigned base);
  OutputLine& signedNumber(long long value, int width, char fill);
  OutputLine& repeatLong(char c, size_t count);

  // The usual number, 32 bits without a sign, written in place: false (nothing written)
  // when the short buffer has no room for the line so far, a fill of 16 and the digits.
  // The fill is stored 16 characters at a time (a store of fixed size); what lies beyond
  // it is written over by the digits or stays outside the line.
  bool shortDigits(uint32_t value, unsigned base, int width, char fill) {
    if (spilled_) return false;
    // Hexadecimal filled with zeros to a width the value fits: exactly `width` digits.
    if (base == 16 && fill == '0' && width > 0 && width <= 8 &&
        (width == 8 || value >> (4 * width) == 0)) {
      const size_t count = static_cast<size_t>(width);
      if (size_ + count > kShortLine) return false;
      char* end = short_ + size_ + count;
      for (size_t k = 0; k < count; ++k, value >>= 4) *--end = "0123456789ABCDEF"[value & 0xF];
      size_ += count;
      return true;
    }
    size_t count = 1;
    if (base == 16) {
      for (uint32_t rest = value >> 4; rest != 0; rest >>= 4) ++count;
    } else if (value < 100000) {
      count = value < 10 ? 1 : value < 100 ? 2 : value < 1000 ? 3 : value < 10000 ? 4 : 5;
    } else {
      for (uint32_t rest = value; rest >= 10; rest /= 10) ++count;
    }
    const size_t padding =
        width > 0 && count < static_cast<size_t>(width) ? static_cast<size_t>(width) - count : 0;
    if (padding > 16 || size_ + 16 + count > kShortLine) return false;
    char* out = short_ + size_;
    std::memset(out, fill, 16);
    out += padding;
    char* end = out + count;
    size_ = static_cast<size_t>(end - short_);
    if (base == 16) {
      do {
        *--end = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
      } while (value != 0);
    } else {
      decimalDigitsBefore(end, value);
    }
    return true;
  }
  void put(const char* s, size_t count) {
    if (!spilled_ && size_ + count <= kShortLine) {
      std::memcpy(short_ + size_, s, count);
      size_ += count;
    } else {
      spill(s, count);
    }
  }
  void spill(const char* s, size_t count);

  // A usual line stays in short_; a longer one moves to long_ for good.
  static constexpr size_t kShortLine = 256;
  char short_[kShortLine];
  size_t size_ = 0;
  bool spilled_ = false;
  std::string long_;
};

// Writers of the fixed fields of the lines written per statement or per label, for a
// buffer held in a local array: each writes at `out` and returns the end of what it
// wrote, and the caller has sized the array for the largest values it lets through.
// They do what the printf conversion named beside them does, for the values they take.
namespace line_fields {

inline size_t decimalDigits(uint32_t value) {
  if (value < 100000)
    return value < 10 ? 1 : value < 100 ? 2 : value < 1000 ? 3 : value < 10000 ? 4 : 5;
  size_t count = 6;
  for (value /= 1000000; value != 0; value /= 10) ++count;
  return count;
}

// "%u", "%*u" (fill ' ') and "%0*u" (fill '0'): at most 10 digits and `width` - 1 fills.
inline char* decimal(char* out, uint32_t value, size_t width = 0, char fill = ' ') {
  const size_t count = decimalDigits(value);
  if (count < width) {
    std::memset(out, fill, width - count);
    out += width - count;
  }
  char* const end = out + count;
  decimalDigitsBefore(end, value);
  return end;
}

// "%0*X" of a value that fits `width` (1 to 8) digits.
inline char* hex(char* out, uint32_t value, size_t width) {
  for (size_t k = width; k > 0; --k, value >>= 4) out[k - 1] = "0123456789ABCDEF"[value & 0xF];
  return out + width;
}

inline char* text(char* out, std::string_view s) {
  if (!s.empty()) std::memcpy(out, s.data(), s.size());
  return out + s.size();
}

}  // namespace line_fields

}  // namespace zq

#endif  // ZQASM_PLATFORM_OUTPUT_LINE_H_
