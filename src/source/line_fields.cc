// The field splitter of the handlers that read a statement as blank-separated words.
#include "source/line_fields.h"

#include "platform/text.h"
#include "source/source_state.h"

namespace zq {

namespace {

bool endsStatement(char c) { return c == '\n' || c == ';'; }

size_t skipBlanks(const std::string& text, size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

// Appends to a field buffer while it has room; the rest of an over-long field is dropped,
// and the split says so.
void appendToField(SourceState& state, std::string& field, int number, char c) {
  if (field.size() < kMaxFieldLength) {
    field.push_back(c);
  } else if (state.fieldCut == 0) {
    state.fieldCut = number;
  }
}

}  // namespace

int splitFields(SourceState& state, const std::string& line, int mode) {
  state.fieldCut = 0;
  // A line of nothing but blanks and tabs leaves the buffers alone.
  size_t pos = skipBlanks(line, 0);
  if (pos >= line.size()) return -1;

  // Fields are built here and stored when closed, so every field within the count is
  // rewritten, even one that receives no character (a trailing blank, a lone ";").
  int count = 1;
  std::string current;
  auto close = [&]() { state.field[count] = current; };

  while (pos < line.size()) {
    char c = line[pos];
    if (endsStatement(c)) {
      close();
      return count;
    }
    // A quoted blank ("' '") stays inside its field.
    if (c == '\'' && pos + 2 < line.size() && line[pos + 1] == ' ' && line[pos + 2] == '\'') {
      for (int k = 0; k < 3; ++k) appendToField(state, current, count, line[pos + k]);
      pos += 3;
      continue;
    }
    // A blank, tab or ":" ends a field; mode 0 stops after the fourth. A comment or line
    // feed after the separator ends the statement without a new field.
    if (isBlank(c) || c == ':') {
      close();
      if (mode == 0 && count > 3) return count;
      pos = skipBlanks(line, pos + 1);
      if (pos < line.size() && endsStatement(line[pos])) return count;
      ++count;
      current.clear();
      if (mode != 0 && count == 3) {
        // The third field takes the rest of the statement whole.
        while (pos < line.size() && !endsStatement(line[pos]))
          appendToField(state, current, count, line[pos++]);
        close();
        return count;
      }
      continue;
    }
    appendToField(state, current, count, c);
    ++pos;
  }
  close();
  return count;
}

}  // namespace zq
