// RAM and table ROM segments are not built yet: no statement is taken as segment data
// and the data directives answer "not a directive".
#include "directives/segment.h"

#include "driver/diagnostics.h"
#include "platform/text.h"
#include "source/source_state.h"

namespace zq {

int defineRamName(AssemblerRun&, const std::string&, int) { return -1; }
int defineTableData(AssemblerRun&, const std::string&, int) { return -1; }
int byteDataDirective(AssemblerRun&, const std::string&, size_t, bool, int, uint32_t) {
  return resultNotDirective;
}
int stringDataDirective(AssemblerRun&, const std::string&, size_t, int, uint32_t) {
  return resultNotDirective;
}

int stripBlanks(AssemblerRun& run, const std::string& text, std::string& out, int pass) {
  out.clear();
  char quote = 0;  // the quote character of the open quoted part, 0 outside
  for (char c : text) {
    // The line feed ends the text even inside quotes: nothing follows it on the line.
    if (c == '\n') break;
    if (quote != 0) {
      out.push_back(c);
      if (c == quote) quote = 0;
      continue;
    }
    if (c == ';') break;
    if (isBlank(c)) continue;
    if (c == '"' || c == '\'') quote = c;
    out.push_back(c);
  }
  if (quote != 0) {
    if (pass == 2) raiseError(run, 32);
    return 0;
  }
  return out.empty() ? 0 : 1;
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) words.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return words;
}

}  // namespace zq
