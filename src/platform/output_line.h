// One line of an output file, put together piece by piece and written with one fwrite.
// The files that get a line per statement or per symbol (the listing, ".SYM", ".MAP",
// ".LBL", ".EQU") would otherwise spend much of a run inside fprintf. Each piece does
// exactly what the printf conversion named beside it does, so a writer reads as its
// format string: "%5d %s" is .decimal(n, 5).text(" ").text(s).
#ifndef ZQASM_PLATFORM_OUTPUT_LINE_H_
#define ZQASM_PLATFORM_OUTPUT_LINE_H_

#include <cstdio>
#include <cstring>
#include <string>

namespace zq {

class OutputLine {
 public:
  // "%s": the text up to its first NUL.
  OutputLine& text(const char* s) {
    put(s, std::strlen(s));
    return *this;
  }
  OutputLine& text(const std::string& s) { return text(s.c_str()); }
  // "%*s" of an empty text and the like: `count` copies of `c`.
  OutputLine& repeat(char c, size_t count);
  // "%d", "%u" (width 0) and "%5d", "%5u": right-aligned, filled with blanks.
  OutputLine& decimal(long long value, int width = 0);
  // "%05d", "%05u": filled with zeros after the sign.
  OutputLine& decimalZeros(long long value, int width);
  // "%X" (width 0) and "%04X", "%05lX", "%04hX" of the value as passed: upper-case
  // hexadecimal filled with zeros.
  OutputLine& hex(unsigned long long value, int width = 0);
  // "%32s": right-aligned, filled with blanks.
  OutputLine& rightAligned(const std::string& s, int width);

  // Writes the line to `stream` (nothing when it is null).
  void writeTo(FILE* stream) const;
  std::string str() const { return spilled_ ? long_ : std::string(short_, size_); }

 private:
  OutputLine& number(unsigned long long magnitude, bool negative, int width, char fill,
                     unsigned base);
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

}  // namespace zq

#endif  // ZQASM_PLATFORM_OUTPUT_LINE_H_
