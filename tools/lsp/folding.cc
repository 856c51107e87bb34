// Folding ranges from the directives of each line.
#include "folding.h"

#include <algorithm>

#include "source_lexer.h"

namespace zqlsp {

namespace {

enum class Construct { kMacro, kConditional, kData, kTable };

// What a directive line does to the open constructs.
enum class Action { kNone, kOpen, kBranch, kClose };

struct Open {
  Construct construct;
  int start;
  int branchStart;
  bool branched;  // an .ELSE or .ELSEIF was met
};

// The directives that open, branch or close, with the "#" form where the assembler takes
// it (the conditionals); "#MACRO" or "#DATA" is no directive.
struct Keyword {
  const char* word;
  Construct construct;
  Action action;
  bool hash;
};

constexpr Keyword kKeywords[] = {
    {"MACRO", Construct::kMacro, Action::kOpen, false},
    {"MAC", Construct::kMacro, Action::kOpen, false},
    {"ENDM", Construct::kMacro, Action::kClose, false},
    {"ENDMAC", Construct::kMacro, Action::kClose, false},
    {"ENDMACRO", Construct::kMacro, Action::kClose, false},
    {"IF", Construct::kConditional, Action::kOpen, true},
    {"IFDEF", Construct::kConditional, Action::kOpen, true},
    {"IFNDEF", Construct::kConditional, Action::kOpen, true},
    {"IFSAME", Construct::kConditional, Action::kOpen, false},
    {"IFDIFF", Construct::kConditional, Action::kOpen, false},
    {"IFBLANK", Construct::kConditional, Action::kOpen, true},
    {"IFNBLANK", Construct::kConditional, Action::kOpen, true},
    {"ELSEIF", Construct::kConditional, Action::kBranch, true},
    {"ELSE", Construct::kConditional, Action::kBranch, true},
    {"ENDIF", Construct::kConditional, Action::kClose, true},
    {"DATA", Construct::kData, Action::kOpen, false},
    {"ENDD", Construct::kData, Action::kClose, false},
    {"ENDDATA", Construct::kData, Action::kClose, false},
    {"TABLE", Construct::kTable, Action::kOpen, false},
    {"ENDT", Construct::kTable, Action::kClose, false},
    {"ENDTAB", Construct::kTable, Action::kClose, false},
    {"ENDTABLE", Construct::kTable, Action::kClose, false},
};

// The statement's directive: the first word of the line, or the second after a label in
// the first column (SETREG .MACRO REG). A keyword ends only at a blank, a tab or the line
// end, as the assembler reads it (".ENDIF;x" is no directive).
const Keyword* directiveOf(const std::string& line) {
  const std::vector<Token> tokens = lexLine(line);
  size_t index = 0;
  if (!tokens.empty() && tokens[0].kind == TokenKind::kName && tokens[0].start == 0) index = 1;
  if (index >= tokens.size() || tokens[index].kind != TokenKind::kDirective) return nullptr;
  const Token& t = tokens[index];
  const char prefix = line[static_cast<size_t>(t.start)];
  const size_t end = static_cast<size_t>(t.end);
  if (prefix != '.' && prefix != '#') return nullptr;
  if (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
    return nullptr;
  for (const Keyword& k : kKeywords)
    if (t.text == k.word) return prefix == '#' && !k.hash ? nullptr : &k;
  return nullptr;
}

bool commentLine(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t\r");
  return first != std::string::npos && line[first] == ';';
}

}  // namespace

// One pass with a stack of the open constructs. A closing or branching directive matches
// the innermost open construct of its kind that stands inside the innermost open macro
// (a conditional of a macro body ends in that body); constructs opened after it end on
// the line before. One without a match folds nothing.
std::vector<FoldingRange> foldingRanges(const std::vector<std::string>& lines) {
  std::vector<FoldingRange> ranges;
  std::vector<Open> stack;
  auto add = [&ranges](int start, int end, bool comment) {
    if (end > start) ranges.push_back(FoldingRange{start, end, comment});
  };
  // Ends the construct on top of the stack at `end` (its closing line, or the line before
  // whatever ends it instead).
  auto closeTop = [&](int end, bool closingLine) {
    const Open& top = stack.back();
    if (top.branched) add(top.branchStart, closingLine ? end - 1 : end, false);
    add(top.start, end, false);
    stack.pop_back();
  };
  const int count = static_cast<int>(lines.size());
  int commentStart = -1;
  for (int row = 0; row <= count; ++row) {
    const bool comment = row < count && commentLine(lines[static_cast<size_t>(row)]);
    if (comment && commentStart < 0) commentStart = row;
    if (!comment && commentStart >= 0) {
      add(commentStart, row - 1, true);
      commentStart = -1;
    }
    if (row == count || comment) continue;
    const Keyword* k = directiveOf(lines[static_cast<size_t>(row)]);
    if (k == nullptr) continue;
    if (k->action == Action::kOpen) {
      stack.push_back(Open{k->construct, row, row, false});
      continue;
    }
    int match = static_cast<int>(stack.size()) - 1;
    while (match >= 0 && stack[static_cast<size_t>(match)].construct != k->construct &&
           (k->construct == Construct::kMacro ||
            stack[static_cast<size_t>(match)].construct != Construct::kMacro))
      --match;
    if (match < 0 || stack[static_cast<size_t>(match)].construct != k->construct) continue;
    while (static_cast<int>(stack.size()) - 1 > match) closeTop(row - 1, false);
    if (k->action == Action::kClose) {
      closeTop(row, true);
    } else {
      Open& conditional = stack.back();
      add(conditional.branchStart, row - 1, false);
      conditional.branchStart = row;
      conditional.branched = true;
    }
  }
  // What is left open ends at the last line that holds anything.
  int last = count - 1;
  while (last > 0 && lines[static_cast<size_t>(last)].find_first_not_of(" \t\r") ==
                         std::string::npos)
    --last;
  while (!stack.empty()) closeTop(last, false);
  std::sort(ranges.begin(), ranges.end(), [](const FoldingRange& a, const FoldingRange& b) {
    return a.startLine != b.startLine ? a.startLine < b.startLine : a.endLine > b.endLine;
  });
  ranges.erase(std::unique(ranges.begin(), ranges.end()), ranges.end());
  return ranges;
}

}  // namespace zqlsp
