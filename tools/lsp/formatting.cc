// Column formatting of statement lines. Every rule below keeps what the assembler reads:
// a line's first word stays in column 0 or stays indented (a label without a colon is a
// label only in column 0); a run of blanks between fields keeps at least one character
// and a field joined to the next without one is never split; the blanks inside the
// operand text are never touched; and the run before a comment changes only where the
// statement's handler drops the blanks that end its operands.
#include "formatting.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string_view>

namespace zqlsp {

namespace {

// The assembler takes lines of at most this many bytes, line feed included.
constexpr size_t kLineLimit = 1024;
// It reads a line in pieces of this many bytes and drops a piece of blanks and tabs
// alone, so a run this long may lose blanks that count.
constexpr size_t kPieceBytes = 81;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A name the label handler takes: a letter, "?" or "_", then letters, digits, "_", "\\".
bool isValidName(std::string_view name) {
  if (name.empty() || !(isLetter(name[0]) || name[0] == '?' || name[0] == '_')) return false;
  for (size_t i = 1; i < name.size(); ++i)
    if (!(isLetter(name[i]) || isDigit(name[i]) || name[i] == '_' || name[i] == '\\')) return false;
  return true;
}

bool holdsAny(std::string_view s, const char* set) {
  return s.find_first_of(set) != std::string_view::npos;
}

// Whether the statement of `line` is the directive `.WORD`/`#WORD` of one of `keywords`,
// found as the assembler finds it: behind a label (a valid name in column 0, or one
// ended by a colon), the keyword running to a blank, a tab or the end.
bool isDirective(const std::string& line, std::initializer_list<const char*> keywords,
                 bool hashToo) {
  size_t at = line.find_first_not_of(" \t");
  if (at == std::string::npos || line[at] == ';') return false;
  size_t end = at;
  while (end < line.size() && !isBlank(line[end]) && line[end] != ':' && line[end] != ';') ++end;
  const std::string_view first(line.data() + at, end - at);
  const bool colon = end < line.size() && line[end] == ':';
  if (line[at] != '.' && line[at] != '#' && (colon || at == 0) && isValidName(first)) {
    at = end;
    while (at < line.size() && (isBlank(line[at]) || line[at] == ':')) ++at;
  }
  if (at >= line.size() || !(line[at] == '.' || (hashToo && line[at] == '#'))) return false;
  end = at + 1;
  while (end < line.size() && !isBlank(line[end])) ++end;
  const std::string keyword = upper(std::string_view(line.data() + at + 1, end - at - 1));
  for (const char* k : keywords)
    if (keyword == k) return true;
  return false;
}

// The DEFSTRING statement is found anywhere in a line ("NAME DEFSTR text"), and its text
// keeps the blanks that end it: the scan of its keyword as the assembler makes it.
bool holdsStringDefinition(const std::string& line) {
  for (size_t p = 1; p < line.size() && line[p] != ';'; ++p) {
    if (!isBlank(line[p - 1])) continue;
    size_t at = p;
    if (line[at] == '.') ++at;
    for (const char* k : {"DEFSTRING", "DEFSTR"}) {
      const size_t n = std::char_traits<char>::length(k);
      if (at + n < line.size() && upper(std::string_view(line.data() + at, n)) == k &&
          isBlank(line[at + n]))
        return true;
    }
  }
  return false;
}

// Which runs around the operand text may change, by the statement's operation word.
// The instruction handler, the macro call, the data lines and most directives drop the
// blanks between operands and before a comment; the conditionals read their text from
// the blank that ends the keyword (".IF .PARAMCOUNT" wants exactly one), and the
// directives of quoted texts and the ones the assembler does not know keep theirs.
struct RunRules {
  bool beforeOperand;
  bool beforeComment;
};

RunRules rulesOf(std::string_view op) {
  if (op.empty()) return {true, true};
  const bool dot = op[0] == '.';
  if (!dot && op[0] != '#') {
    const std::string word = upper(op);
    if (word == "DEFSTR" || word == "DEFSTRING") return {true, false};
    return {true, true};
  }
  const std::string keyword = upper(op.substr(1));
  for (const char* k : {"DEFINE", "ELSE", "ENDIF"})
    if (keyword == k) return {true, true};
  if (!dot) return {false, false};
  for (const char* k : {"BYTE",
                        "DB",
                        "DW",
                        "WORD",
                        "DS",
                        "CHIP",
                        "CHIPNAME",
                        "DATA",
                        "ENDD",
                        "ENDDATA",
                        "TABLE",
                        "ENDT",
                        "ENDTAB",
                        "ENDTABLE",
                        "CODE",
                        "ENDC",
                        "HEAD",
                        "ENDH",
                        "END",
                        "EXITMAC",
                        "EXITMACRO",
                        "MAC",
                        "MACRO",
                        "LOCALLABEL",
                        "DNOVERLAP",
                        "SORTLABELFILE",
                        "SORTEQUFILE",
                        "SORTRAMFILE",
                        "BANKCONVERTAREA",
                        "ORG",
                        "EQU",
                        "EQUAL"})
    if (keyword == k) return {true, true};
  if (keyword == "DEFSTR" || keyword == "DEFSTRING") return {true, false};
  return {false, false};
}

struct Span {
  size_t begin = 0;
  size_t end = 0;
  bool empty() const { return begin == end; }
};

// The fields of a statement line; a field that is absent is an empty span.
struct Fields {
  Span label;  // with its colon
  Span op;
  Span operand;
  Span comment;        // from the ";" to the line end
  size_t codeEnd = 0;  // end of the last field before the comment
  bool opInColumn0 = false;
};

// Cuts `line` into its fields; false for a line that stays as it is: a comment line, an
// include line, a first word that is neither a plain label nor an operation, a field
// that holds a quote where a separator could be one, or a field joined to the next.
bool splitLine(const std::string& line, Fields& f) {
  const size_t n = line.size();
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos || line[first] == ';') return false;
  if ((line[first] == '.' || line[first] == '#') && n - first > 7 &&
      upper(std::string_view(line.data() + first + 1, 7)) == "INCLUDE")
    return false;
  // Where a quote stands before the first ";", that ";" may belong to a quoted text:
  // the rest of the line is then operand text.
  const size_t semicolon = line.find(';');
  const size_t quote = line.find_first_of("'\"");
  const bool commentKnown = semicolon != std::string::npos && quote > semicolon;
  const size_t statementEnd = commentKnown ? semicolon : n;
  size_t codeEnd = statementEnd;
  while (codeEnd > first && isBlank(line[codeEnd - 1])) --codeEnd;
  auto wordAt = [&](size_t from) {
    size_t end = from;
    while (end < codeEnd && !isBlank(line[end])) ++end;
    return Span{from, end};
  };
  auto skipBlanks = [&](size_t from) {
    while (from < codeEnd && isBlank(line[from])) ++from;
    return from;
  };
  auto text = [&](Span s) { return std::string_view(line.data() + s.begin, s.end - s.begin); };

  const Span w1 = wordAt(first);
  if (holdsAny(text(w1), "'\";")) return false;
  const size_t colon = text(w1).find(':');
  if (colon != std::string_view::npos) {
    if (colon + 1 != w1.end - w1.begin || !isValidName(text(w1).substr(0, colon))) return false;
    f.label = w1;
  } else if (first == 0 && (isLetter(line[0]) || line[0] == '?' || line[0] == '_')) {
    if (!isValidName(text(w1))) return false;
    f.label = w1;
  } else {
    f.op = w1;
    f.opInColumn0 = first == 0;
  }
  size_t next = skipBlanks(w1.end);
  if (!f.label.empty() && next < codeEnd) {
    f.op = wordAt(next);
    if (holdsAny(text(f.op), "'\";:")) return false;
    next = skipBlanks(f.op.end);
  }
  if (next < codeEnd) f.operand = Span{next, codeEnd};
  f.codeEnd = codeEnd;
  if (commentKnown) f.comment = Span{semicolon, n};
  return true;
}

class LineLayout {
 public:
  LineLayout(const FormatColumns& columns, int tabSize, bool insertSpaces)
      : columns_(columns), tabSize_(tabSize), insertSpaces_(insertSpaces) {}

  // Edits of one line (line number left 0); none when the line stays.
  std::vector<FormatEdit> edits(const std::string& line, bool lastWithoutEnd) const {
    if (lastWithoutEnd && !line.empty() && isBlank(line.back())) return {};
    if (longestBlankRun(line) >= kPieceBytes || assemblerBytes(line) + 1 > kLineLimit) return {};
    Fields f;
    if (!splitLine(line, f)) return {};
    const RunRules rules =
        rulesOf(std::string_view(line.data() + f.op.begin, f.op.end - f.op.begin));
    const bool commentRunFree = rules.beforeComment && !holdsStringDefinition(line);

    std::string out;
    std::vector<FormatEdit> changes;
    int column = 0;
    size_t copied = 0;  // bytes of `line` gone into `out`
    // Copies the line up to `begin`, then puts the field that starts at `end` of the
    // run [begin, end) at `target` (a run that may not change is copied).
    auto place = [&](size_t begin, size_t end, int target, bool free) -> bool {
      append(line, copied, begin, out, column);
      copied = begin;
      if (!free) return true;
      std::string run;
      if (target == 0) {
        if (begin != 0) return false;  // only the indentation of a label goes
      } else {
        if (begin == end && begin != 0) return false;  // a joined field stays joined
        run = fill(column, target);
      }
      if (run != line.substr(begin, end - begin))
        changes.push_back(FormatEdit{0, static_cast<int>(begin), static_cast<int>(end), run});
      out += run;
      column = widthAfter(run, column);
      copied = end;
      return true;
    };
    const size_t first = f.label.empty() ? f.op.begin : f.label.begin;
    int slot = 1;
    if (!f.label.empty()) {
      if (!place(0, first, 0, true)) return {};
    } else if (f.opInColumn0) {
      slot = 0;
    } else if (!place(0, first, columns_.operation, true)) {
      return {};
    }
    if (!f.label.empty() && !f.op.empty() &&
        !place(f.label.end, f.op.begin, columns_.operation, true))
      return {};
    if (!f.op.empty() && !f.operand.empty() &&
        !place(f.op.end, f.operand.begin, slot == 0 ? columns_.operation : columns_.operand,
               rules.beforeOperand))
      return {};
    if (!f.comment.empty() && !place(f.codeEnd, f.comment.begin, columns_.comment, commentRunFree))
      return {};
    append(line, copied, line.size(), out, column);
    if (changes.empty() || longestBlankRun(out) >= kPieceBytes ||
        assemblerBytes(out) + 1 > kLineLimit)
      return {};
    return changes;
  }

 private:
  // Blanks (or tabs to the tab stops) from `column` to `target`; one when the field
  // before reaches it already.
  std::string fill(int column, int target) const {
    if (insertSpaces_) return std::string(column < target ? target - column : 1, ' ');
    std::string run = "\t";
    for (int c = nextStop(column); c < target; c = nextStop(c)) run += '\t';
    return run;
  }
  int nextStop(int column) const { return (column / tabSize_ + 1) * tabSize_; }
  int widthAfter(const std::string& s, int column) const {
    for (char c : s) column = c == '\t' ? nextStop(column) : column + 1;
    return column;
  }
  void append(const std::string& line, size_t from, size_t to, std::string& out,
              int& column) const {
    if (to <= from) return;
    const std::string piece = line.substr(from, to - from);
    out += piece;
    column = widthAfter(piece, column);
  }
  static size_t longestBlankRun(const std::string& s) {
    size_t longest = 0, run = 0;
    for (char c : s) {
      run = isBlank(c) ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    return longest;
  }
  // The file's bytes of a line at most: a character the editor sent beyond ASCII takes
  // up to two bytes for each of the server's bytes ("?" may stand for one of them).
  static size_t assemblerBytes(const std::string& s) {
    size_t bytes = 0;
    for (char c : s) bytes += static_cast<unsigned char>(c) >= 0x80 || c == '?' ? 2 : 1;
    return bytes;
  }

  FormatColumns columns_;
  int tabSize_;
  bool insertSpaces_;
};

}  // namespace

FormatColumns formatColumns(const FormattingOptions& options) {
  const int tab = std::clamp(options.tabSize, 1, 16);
  auto stop = [tab](int column) { return (column + tab - 1) / tab * tab; };
  FormatColumns c;
  c.operation = stop(8);
  c.operand = c.operation + stop(8);
  c.comment = std::max(stop(32), c.operand + tab);
  return c;
}

std::vector<FormatEdit> formatEdits(const std::string& text, const FormattingOptions& options,
                                    int firstLine, int lastLine) {
  // The protocol also ends a line at a lone CR, the assembler does not: the two would
  // count lines differently.
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return {};
  const LineLayout layout(formatColumns(options), std::clamp(options.tabSize, 1, 16),
                          options.insertSpaces);
  std::vector<FormatEdit> edits;
  bool inMacroBody = false;
  size_t start = 0;
  for (int row = 0; start <= text.size(); ++row) {
    if (lastLine >= 0 && row > lastLine) break;
    size_t end = text.find('\n', start);
    const bool lastWithoutEnd = end == std::string::npos;
    if (lastWithoutEnd) end = text.size();
    size_t contentEnd = end;
    if (contentEnd > start && text[contentEnd - 1] == '\r') --contentEnd;
    const std::string line = text.substr(start, contentEnd - start);
    // A macro body runs from the line after its head through the first .ENDM; the
    // assembler stores it as written and reads it again at each expansion, where its
    // parameters are put into the text.
    if (inMacroBody) {
      if (isDirective(line, {"ENDM", "ENDMAC", "ENDMACRO"}, true)) inMacroBody = false;
    } else {
      if (row >= firstLine)
        for (FormatEdit e : layout.edits(line, lastWithoutEnd)) {
          e.line = row;
          edits.push_back(std::move(e));
        }
      if (isDirective(line, {"MACRO", "MAC"}, false)) inMacroBody = true;
    }
    if (lastWithoutEnd) break;
    start = end + 1;
  }
  return edits;
}

std::string applyFormatEdits(const std::string& text, const std::vector<FormatEdit>& edits) {
  // Line starts, then the edits from the last to the first so that offsets hold.
  std::vector<size_t> lineStart{0};
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') lineStart.push_back(i + 1);
  std::vector<FormatEdit> sorted = edits;
  std::sort(sorted.begin(), sorted.end(), [](const FormatEdit& a, const FormatEdit& b) {
    return a.line != b.line ? a.line > b.line : a.startColumn > b.startColumn;
  });
  std::string out = text;
  for (const FormatEdit& e : sorted) {
    if (e.line < 0 || static_cast<size_t>(e.line) >= lineStart.size()) continue;
    const size_t at = lineStart[static_cast<size_t>(e.line)] + static_cast<size_t>(e.startColumn);
    const size_t length = static_cast<size_t>(e.endColumn - e.startColumn);
    if (at + length > out.size()) continue;
    out.replace(at, length, e.newText);
  }
  return out;
}

}  // namespace zqlsp
