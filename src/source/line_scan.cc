// The line scan and the keyword rules it records.
#include "source/line_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/text.h"

namespace zq {

namespace {

// Characters that end the first word of a statement (NUL as in a C string).
struct FirstWordEnds {
  bool ends[256] = {};
  constexpr FirstWordEnds() : ends() {
    for (char c : {':', ';', ' ', '\t', '\n', '\0'}) ends[static_cast<unsigned char>(c)] = true;
  }
};
constexpr FirstWordEnds kFirstWordEnds;

// True when the blank or tab at `blank` closes an ORG keyword.
bool closesOrgKeyword(std::string_view line, size_t blank) {
  return blank >= 3 && (line[blank - 1] | 0x20) == 'g' && matchesNoCase(line, blank - 3, "ORG");
}

// Characters that end a run of word characters in scanKeywords: blank, tab, ";", NUL.
struct RunEnds {
  bool ends[256] = {};
  constexpr RunEnds() : ends() {
    ends[static_cast<unsigned char>(' ')] = true;
    ends[static_cast<unsigned char>('\t')] = true;
    ends[static_cast<unsigned char>(';')] = true;
    ends[0] = true;
  }
};
constexpr RunEnds kRunEnds;

// The characters a definition keyword may open with: "E", "D" (either case), ".".
struct KeywordStarts {
  bool starts[256] = {};
  constexpr KeywordStarts() : starts() {
    for (char c : {'e', 'E', 'd', 'D', '.'}) starts[static_cast<unsigned char>(c)] = true;
  }
};
constexpr KeywordStarts kKeywordStarts;

// The first position from `pos` on whose character `ends` marks, four at a time. The text
// ends with a NUL, which every table here marks: a character is read only after the one
// before it was found unmarked, so nothing beyond the NUL is read.
template <typename Ends>
size_t nextMarked(const char* text, size_t pos, const Ends& ends) {
  auto marked = [&](size_t at) { return ends.ends[static_cast<unsigned char>(text[at])]; };
  for (;; pos += 4) {
    if (marked(pos)) return pos;
    if (marked(pos + 1)) return pos + 1;
    if (marked(pos + 2)) return pos + 2;
    if (marked(pos + 3)) return pos + 3;
  }
}

}  // namespace

LineScan scanLine(const std::string& line) {
  LineScan scan;
  scan.line = &line;
  size_t pos = 0;
  // Indentation by blanks goes eight at a time.
  constexpr uint64_t kEightBlanks = 0x2020202020202020ull;
  for (uint64_t eight; pos + 8 <= line.size(); pos += 8) {
    std::memcpy(&eight, line.data() + pos, 8);
    if (eight != kEightBlanks) break;
  }
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  scan.firstNonBlank = pos;
  // The NUL that ends the text of a std::string ends the word at the latest.
  pos = nextMarked(line.c_str(), pos, kFirstWordEnds);
  scan.wordEnd = pos;
  scan.colonForm = pos < line.size() && line[pos] == ':';
  return scan;
}

void scanKeywords(LineScan& scan) {
  if (scan.keywordsScanned) return;
  scan.keywordsScanned = true;
  const std::string_view line(*scan.line);
  // The include rule passes over the blanks that scanLine has skipped, and any other
  // first character than "#" or "." settles it.
  const size_t first = scan.firstNonBlank;
  if (first < line.size() && (line[first] == '#' || line[first] == '.'))
    scan.includeAt = includeKeywordAt(line, first);
  // Every keyword stands next to a blank or tab before the first ";": ORG ends at the
  // first blank of a run, a definition keyword starts after the last one. The words
  // between the runs are passed over whole, the first one as scanLine found it (it
  // holds no ";").
  auto definitionKeywords = [&](size_t start) {
    // Most words open with another character than these, which one look settles.
    if (!kKeywordStarts.starts[static_cast<unsigned char>(line[start])]) return;
    // Letters folded by their case bit; the rules test the characters exactly.
    const char c = static_cast<char>(line[start] | 0x20);
    if (c == 'e' || c == '.')
      scan.equKeyword = scan.equKeyword || definitionKeywordAt(line, start, "EQU", "EQUAL");
    if (c == 'd' || c == '.')
      scan.defstrKeyword =
          scan.defstrKeyword || definitionKeywordAt(line, start, "DEFSTR", "DEFSTRING");
  };
  if (first > 0 && first < line.size() && line[first] != ';') definitionKeywords(first);
  // The text of a std::string ends with a NUL, which stops both inner loops: they need
  // no bound of their own.
  const char* const text = scan.line->c_str();
  size_t p = std::max(scan.wordEnd, first);
  for (;;) {
    p = nextMarked(text, p, kRunEnds);
    if (p >= line.size() || text[p] == ';') break;
    if (!isBlank(text[p])) {
      ++p;  // a NUL inside the text
      continue;
    }
    if (scan.orgAt == LineScan::npos && closesOrgKeyword(line, p)) scan.orgAt = p - 3;
    while (isBlank(text[p])) ++p;
    if (p >= line.size() || text[p] == ';') break;
    definitionKeywords(p);
  }
}

size_t includeKeywordAt(std::string_view line, size_t from) {
  for (size_t pos = from; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == ';' || c == '\n') return LineScan::npos;
    if (isBlank(c)) continue;
    if ((c == '#' || c == '.') && matchesNoCase(line, pos + 1, "include")) return pos;
    if (c != '#' && c != '.') return LineScan::npos;
  }
  return LineScan::npos;
}

size_t orgKeywordAt(std::string_view line) {
  for (size_t p = 0; p < line.size() && line[p] != ';'; ++p)
    if (isBlank(line[p]) && closesOrgKeyword(line, p)) return p - 3;
  return LineScan::npos;
}

bool definitionKeywordAt(std::string_view line, size_t start, const char* keyword,
                         const char* longForm) {
  if (start >= line.size()) return false;
  const size_t at = line[start] == '.' ? start + 1 : start;
  for (const char* word : {keyword, longForm}) {
    const size_t end = at + std::char_traits<char>::length(word);
    if (matchesNoCase(line, at, word) && end < line.size() && isBlank(line[end])) return true;
  }
  return false;
}

}  // namespace zq
