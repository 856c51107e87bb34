// One scan of a source line, made once per line and pass, that the checks of the line
// read instead of searching the text again: the first word (the label handler's rule),
// and, for the pre-checks of the pass loop, where an include keyword, the ORG keyword and
// the EQU and DEFSTRING keywords stand. Each check keeps its own rule; the scan only
// records, in one pass over the bytes, what each rule would find.
#ifndef ZQASM_SOURCE_LINE_SCAN_H_
#define ZQASM_SOURCE_LINE_SCAN_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace zq {

struct LineScan {
  static constexpr size_t npos = std::string::npos;

  const std::string* line = nullptr;  // the scanned text; outlives the scan
  size_t firstNonBlank = 0;           // first character not blank or tab; size() if none
  // The first word as the label handler takes it: from firstNonBlank up to a ':', ';',
  // blank, tab, line feed, NUL or the end. colonForm: it ended at a ':'.
  size_t wordEnd = 0;
  bool colonForm = false;

  // Filled by scanKeywords, for the pre-checks of a line read from a file.
  bool keywordsScanned = false;
  size_t includeAt = npos;     // the '#' or '.' of an include keyword (includeKeywordAt)
  size_t orgAt = npos;         // the first ORG keyword before any ';' (orgKeywordAt)
  bool equKeyword = false;     // hasDefinitionKeyword(line, "EQU", "EQUAL")
  bool defstrKeyword = false;  // hasDefinitionKeyword(line, "DEFSTR", "DEFSTRING")

  std::string_view word() const {
    return std::string_view(*line).substr(firstNonBlank, wordEnd - firstNonBlank);
  }
};

// The first non-blank character and the first word of `line`.
LineScan scanLine(const std::string& line);
// Adds the keyword positions to a scan made by scanLine (once; later calls do nothing).
void scanKeywords(LineScan& scan);

// The rules the scan records, each usable alone.
// Include line: after blanks and tabs, a "#" or "." directly followed by "include" (any
// case) opens it; a "#" or "." followed by anything else hands the decision to the next
// character, and any other character, a ";" or a line feed means no include line.
// Returns the position of the "#" or ".", or npos. `from` may skip leading blanks.
size_t includeKeywordAt(std::string_view line, size_t from = 0);
// ORG keyword: "ORG" (any case) followed by a blank or tab, starting before the first
// ";", also at the end of a longer word. The first such position, or npos.
size_t orgKeywordAt(std::string_view line);
// Definition keyword at `start`, the character after a blank or tab: an optional "."
// then `keyword` or `longForm` (any case) followed by a blank or tab.
bool definitionKeywordAt(std::string_view line, size_t start, const char* keyword,
                         const char* longForm);

}  // namespace zq

#endif  // ZQASM_SOURCE_LINE_SCAN_H_
