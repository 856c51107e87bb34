// Character helpers for 8-bit source text. They take any char (signed or not) and never
// depend on the locale, so bytes above 7Fh are safe everywhere.
#ifndef ZQASM_PLATFORM_TEXT_H_
#define ZQASM_PLATFORM_TEXT_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zq {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
inline bool isLowerLetter(char c) { return c >= 'a' && c <= 'z'; }
inline bool isLetter(char c) { return isUpperLetter(c) || isLowerLetter(c); }
inline bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
// `value` as the source writes a hexadecimal number: "38h", "0FFFh" (a 0 before a leading
// letter digit).
inline std::string hexNumberText(uint32_t value) {
  std::string text = "h";
  do {
    text.insert(text.begin(), "0123456789ABCDEF"[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (text[0] > '9') text.insert(text.begin(), '0');
  return text;
}
inline char toUpper(char c) { return isLowerLetter(c) ? static_cast<char>(c - 32) : c; }
inline char toLower(char c) { return isUpperLetter(c) ? static_cast<char>(c + 32) : c; }

inline std::string upperCase(std::string s) {
  for (char& c : s) c = toUpper(c);
  return s;
}
inline std::string lowerCase(std::string s) {
  for (char& c : s) c = toLower(c);
  return s;
}
inline bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (toUpper(a[i]) != toUpper(b[i])) return false;
  return true;
}
// Sets `target` to `text`. A string that is set again and again (a field, the code text)
// keeps its storage, so this does not allocate once it has held as long a text.
inline void setText(std::string& target, std::string_view text) {
  if (target.size() != text.size()) target.resize(text.size());
  for (size_t k = 0; k < text.size(); ++k) target[k] = text[k];
}
// Text of a fixed-size slot (of the parameter block or a file record), which may fill the
// slot without its terminating NUL.
inline std::string slotText(const char* slot, size_t size) {
  return std::string(slot, strnlen(slot, size));
}

// True when `text` at `pos` begins with `word`, compared without regard to case.
inline bool matchesNoCase(std::string_view text, size_t pos, const char* word) {
  for (size_t i = 0; word[i]; ++i)
    if (pos + i >= text.size() || toUpper(text[pos + i]) != toUpper(word[i])) return false;
  return true;
}

}  // namespace zq

#endif  // ZQASM_PLATFORM_TEXT_H_
