// Completion and signature help. Both read the statement the cursor stands in, from its
// text before the cursor, as the assembler splits it: an optional label, the operation
// (a mnemonic, a macro or a directive) and operands separated by commas. What fits the
// place comes from the chip's records of the mnemonic: a label where the operand is a jump
// target, a RAM name where the record takes RAM, a constant elsewhere.
#include <algorithm>
#include <set>
#include <string_view>
#include <unordered_set>

#include "fact_text.h"
#include "source_lexer.h"
#include "text.h"
#include "workspace.h"

namespace zqlsp {

namespace {

// Most items one answer sends: on a program of 12,000 labels the whole table is some
// 900 KB per keystroke, 200 items a few KB.
constexpr size_t kMaxCompletionItems = 200;

// CompletionItemKind numbers of LSP.
constexpr int kItemMethod = 2;
constexpr int kItemFunction = 3;
constexpr int kItemVariable = 6;
constexpr int kItemText = 1;
constexpr int kItemKeyword = 14;
constexpr int kItemConstant = 21;

char upperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool sameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upperChar(a[i]) != upperChar(b[i])) return false;
  return true;
}

// True when the line holds "ENDM" in any case: ENDM, ENDMAC and ENDMACRO do, and the
// lexer need only read those lines.
bool holdsEndm(const std::string& line) {
  static const char kEndm[] = "ENDM";
  for (size_t i = 0; i + 4 <= line.size(); ++i) {
    size_t k = 0;
    while (k < 4 && upperChar(line[i + k]) == kEndm[k]) ++k;
    if (k == 4) return true;
  }
  return false;
}

// The mnemonics whose operand the assembler looks up among the labels only: CALL and JMP
// (their page form "page, address" too) and the conditional jumps.
bool takesLabel(const std::string& mnemonic, int operand) {
  static const char* const kJumps[] = {"JB0", "JB1", "JB2", "JB3", "JNZ", "JNC", "JZ", "JC"};
  if (sameText(mnemonic, "CALL") || sameText(mnemonic, "JMP")) return operand <= 1;
  return operand == 0 && std::any_of(std::begin(kJumps), std::end(kJumps),
                                     [&](const char* j) { return sameText(mnemonic, j); });
}

// True when operand `operand` (from 0) of the record is a RAM address: the flags 10h/20h
// (RAM 40h-7Fh) and 40h/80h (not 40h-6Fh) of operands 1 and 2, and the working register
// Ry of kinds 22 (first) and 23 (second).
bool takesRam(const Opcode& o, int operand) {
  if (operand > 1) return false;
  if (o.form & ((0x10 | 0x40) << operand)) return true;
  return (o.kind == 22 && operand == 0) || (o.kind == 23 && operand == 1);
}

// True when the record writes "@HL" as operand `operand`: the form nibble 15 makes the
// second operand of kind 2 and the first of kinds 0 and 3 "@HL".
bool takesHl(const Opcode& o, int operand) {
  if ((o.form & 0x0F) != 15) return false;
  return operand == (o.kind == 2 ? 1 : 0) && (o.kind == 0 || o.kind == 2 || o.kind == 3);
}

// How well `label` matches the word typed: 0 it begins with the word, 1 it holds the
// word's letters in order (the gaps between them in `gaps`), -1 not at all; case is
// ignored.
int match(const std::string& word, std::string_view label, int& gaps) {
  gaps = 0;
  if (word.size() > label.size()) return -1;
  size_t i = 0;
  while (i < word.size() && upperChar(word[i]) == upperChar(label[i])) ++i;
  if (i == word.size()) return 0;
  size_t at = 0, last = 0;
  for (i = 0; i < word.size(); ++i) {
    while (at < label.size() && upperChar(label[at]) != upperChar(word[i])) ++at;
    if (at == label.size()) return -1;
    if (i > 0) gaps += static_cast<int>(at - last - 1);
    last = at++;
  }
  return 1;
}

// The statement before the cursor.
struct StatementPlace {
  enum Where {
    kNowhere,    // in a comment, or where no statement can be read
    kDirective,  // a keyword after "." or "#"
    kStatement,  // the operation's place: a mnemonic or a macro call
    kOperand,    // an operand of `operation`
  };
  Where where = kNowhere;
  bool quoted = false;    // the cursor stands in a quoted text
  int wordStart = 0;      // the name being typed runs from here to the cursor
  std::string operation;  // the mnemonic, macro name or directive keyword
  bool directive = false;
  int operand = 0;       // the operand the cursor is in, from 0 (commas before it)
  int operandStart = 0;  // column of the first operand's text
};

// Reads the line up to the cursor as the assembler splits a statement. `isOperation`
// tells a mnemonic or macro name from a label written in the first column.
template <typename IsOperation>
StatementPlace placeOf(const std::string& line, int column, IsOperation isOperation) {
  StatementPlace place;
  const std::string before = line.substr(0, static_cast<size_t>(std::max(column, 0)));
  // A comment, or an open quote, takes the rest of the line.
  char quote = 0;
  for (char c : before) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      return place;
    }
  }
  place.quoted = quote != 0;
  int start = static_cast<int>(before.size());
  while (start > 0 && isNameChar(before[static_cast<size_t>(start) - 1])) --start;
  // "@HL" is typed as one word.
  if (start > 0 && before[static_cast<size_t>(start) - 1] == '@') --start;
  place.wordStart = start;
  const bool dotted = start > 0 && (before[static_cast<size_t>(start) - 1] == '.' ||
                                    before[static_cast<size_t>(start) - 1] == '#');
  std::vector<Token> tokens =
      lexLine(before.substr(0, static_cast<size_t>(dotted ? start - 1 : start)));
  // A label: a first word that is no operation, in the first column or ended by ":".
  if (!tokens.empty() && tokens[0].kind == TokenKind::kName) {
    const Token& first = tokens[0];
    const bool colon = static_cast<size_t>(first.end) < before.size() &&
                       before[static_cast<size_t>(first.end)] == ':';
    if (colon || (first.start == 0 && !isOperation(first.text))) tokens.erase(tokens.begin());
  }
  if (tokens.empty()) {
    place.where = dotted ? StatementPlace::kDirective : StatementPlace::kStatement;
    return place;
  }
  const Token& operation = tokens[0];
  if (operation.kind != TokenKind::kName && operation.kind != TokenKind::kDirective) return place;
  place.where = dotted ? StatementPlace::kDirective : StatementPlace::kOperand;
  place.operation = operation.text;
  place.directive = operation.kind == TokenKind::kDirective;
  place.operandStart = operation.end;
  quote = 0;
  for (size_t i = static_cast<size_t>(operation.end); i < before.size(); ++i) {
    const char c = before[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ',') {
      ++place.operand;
    }
  }
  return place;
}

// A candidate item with what orders it: the match (prefix before scattered letters), the
// group the place ranks first (RAM names before constants in a RAM operand), the gaps of
// a scattered match, the label. The detail of a symbol is worded only for the items sent:
// a word of one letter matches thousands of labels.
struct Candidate {
  int rank;
  int group;
  int gaps;
  int kind;
  std::string_view label;  // in the fact, the opcode table or the keyword table
  std::string detail;
  const RunResult* run = nullptr;
  const SymbolFact* fact = nullptr;
};

}  // namespace

CompletionList Workspace::completion(const std::string& file, Position at) const {
  const std::vector<const RunResult*> runs = runsOf(file);
  auto isMnemonic = [&](const std::string& word) {
    for (const RunResult* run : runs)
      for (const Opcode& o : run->opcodes)
        if (sameText(o.mnemonic, word)) return true;
    return false;
  };
  auto isMacro = [&](const std::string& word) {
    for (const RunResult* run : runs)
      for (const SymbolFact& f : run->symbols)
        if (f.kind == kMacro && f.definition && sameName(*run, kMacro, f.name, word)) return true;
    return false;
  };
  const std::string source = line(file, at.line + 1);
  const StatementPlace place =
      placeOf(source, std::min(at.column, static_cast<int>(source.size())),
              [&](const std::string& w) { return isMnemonic(w) || isMacro(w); });
  const std::string word = source.substr(
      static_cast<size_t>(place.wordStart),
      static_cast<size_t>(
          std::max(0, std::min(at.column, static_cast<int>(source.size())) - place.wordStart)));

  // A name that several runs (or expansions) define is one item, the first.
  std::vector<Candidate> found;
  std::unordered_set<std::string_view> seen[kItemConstant + 1];
  auto offer = [&](std::string_view label, int kind, int group, std::string detail,
                   const RunResult* run = nullptr, const SymbolFact* fact = nullptr) {
    int gaps = 0;
    const int rank = match(word, label, gaps);
    if (rank >= 0 && seen[kind].insert(label).second)
      found.push_back(Candidate{rank, group, gaps, kind, label, std::move(detail), run, fact});
  };
  std::unordered_set<std::string> mnemonics;
  // Which symbol kinds the place takes, each with its group.
  int groupOf[kInclude + 1];
  std::fill(std::begin(groupOf), std::end(groupOf), -1);
  if (place.quoted) return CompletionList{};
  switch (place.where) {
    case StatementPlace::kNowhere:
      return CompletionList{};
    case StatementPlace::kDirective:
      // ".PARAMCOUNT" is a value, the other keywords begin statements.
      for (const std::string& keyword : directiveKeywords())
        if ((keyword == "PARAMCOUNT") == !place.operation.empty())
          offer(keyword, kItemKeyword, 0, "directive");
      break;
    case StatementPlace::kStatement:
      for (const RunResult* run : runs) {
        for (const Opcode& o : run->opcodes) {
          if (!mnemonics.insert(o.mnemonic).second) continue;
          std::string detail;
          for (const Opcode& form : run->opcodes) {
            if (form.mnemonic != o.mnemonic) continue;
            const std::string operands = operandFormOf(form);
            const std::string text = o.mnemonic + (operands.empty() ? "" : " " + operands);
            if (detail.find(text) == std::string::npos)
              detail += (detail.empty() ? "" : "  |  ") + text;
          }
          offer(o.mnemonic, kItemKeyword, 0, detail);
        }
      }
      groupOf[kMacro] = 0;
      break;
    case StatementPlace::kOperand:
      if (place.directive) {
        // Names the directive defines, files and chips are not offered.
        static const char* const kNaming[] = {"MACRO", "MAC",        "INCLUDE",
                                              "CHIP",  "LOCALLABEL", "CHIPNAME"};
        if (std::any_of(std::begin(kNaming), std::end(kNaming),
                        [&](const char* k) { return place.operation == k; }))
          return CompletionList{};
        groupOf[kConstant] = groupOf[kDefine] = groupOf[kString] = 0;
      } else if (isMacro(place.operation) && !isMnemonic(place.operation)) {
        // A macro's argument may stand anywhere in its body.
        groupOf[kLabel] = groupOf[kConstant] = groupOf[kRamName] = groupOf[kDefine] =
            groupOf[kString] = 0;
      } else {
        bool label = false, ram = false;
        for (const RunResult* run : runs) {
          for (const Opcode& o : run->opcodes) {
            if (!sameText(o.mnemonic, place.operation)) continue;
            label = label || (o.kind == 1 && takesLabel(o.mnemonic, place.operand));
            ram = ram || takesRam(o, place.operand);
            if (takesHl(o, place.operand)) offer("@HL", kItemKeyword, 0, "indirect through HL");
          }
        }
        if (label) {
          groupOf[kLabel] = groupOf[kLocalLabel] = 0;
        } else {
          groupOf[kConstant] = groupOf[kDefine] = groupOf[kString] = ram ? 1 : 0;
          if (ram) groupOf[kRamName] = 0;
        }
      }
      break;
  }
  // A macro-local label is known only in its macro's body: offered there.
  std::pair<int, int> body{-1, -1};  // lines from 1 of the body the cursor is in
  if (groupOf[kLocalLabel] >= 0) {
    for (const RunResult* run : runs)
      for (const SymbolFact& f : run->symbols)
        if (f.kind == kMacro && f.definition && f.at.file == file && f.at.line <= at.line + 1 &&
            f.at.line > body.first)
          body.first = f.at.line;
    const std::vector<std::string>& all = lines(file);
    for (size_t n = body.first > 0 ? static_cast<size_t>(body.first) : all.size(); n < all.size();
         ++n) {
      bool ends = false;
      if (holdsEndm(all[n]))
        for (const Token& t : lexLine(all[n]))
          ends = ends || (t.kind == TokenKind::kDirective && t.text.compare(0, 4, "ENDM") == 0);
      if (ends) {
        body.second = static_cast<int>(n) + 1;
        break;
      }
    }
    if (body.second >= 0 && body.second <= at.line + 1) body = {-1, -1};  // behind its end
  }
  // A macro's head defines a label of its name too; the macro stands for it.
  std::set<std::pair<std::string, int>> heads;
  for (const RunResult* run : runs)
    for (const SymbolFact& f : run->symbols)
      if (f.kind == kMacro && f.definition) heads.emplace(f.at.file, f.at.line);
  static const int kItemKinds[] = {kItemFunction, kItemFunction, kItemConstant, kItemVariable,
                                   kItemMethod,   kItemConstant, kItemText,     kItemText};
  for (const RunResult* run : runs) {
    for (const SymbolFact& f : run->symbols) {
      if (!f.definition || f.kind < 0 || f.kind > kInclude || groupOf[f.kind] < 0) continue;
      if (f.kind == kLabel && heads.count({f.at.file, f.at.line})) continue;
      if (f.kind == kLocalLabel &&
          !(body.first >= 0 && f.at.file == file && f.at.line > body.first &&
            (body.second < 0 || f.at.line < body.second)))
        continue;
      offer(f.name, kItemKinds[f.kind], groupOf[f.kind], "", run, &f);
    }
  }
  // Best first.
  CompletionList list;
  list.incomplete = found.size() > kMaxCompletionItems;
  const auto kept =
      found.begin() + static_cast<std::ptrdiff_t>(std::min(found.size(), kMaxCompletionItems));
  std::partial_sort(found.begin(), kept, found.end(), [](const Candidate& a, const Candidate& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.group != b.group) return a.group < b.group;
    if (a.gaps != b.gaps) return a.gaps < b.gaps;
    return a.label != b.label ? a.label < b.label : a.kind < b.kind;
  });
  for (auto c = found.begin(); c != kept; ++c) {
    CompletionItem item{std::string(c->label), c->kind, c->detail};
    if (c->fact != nullptr)
      item.detail = c->fact->kind == kLocalLabel ? std::string("local label")
                                                 : std::string(symbolKindName(c->fact->kind)) +
                                                       " " + symbolDetail(*c->run, *c->fact);
    // Editors take a word to be letters and digits: "@HL" replaces its "@" itself.
    if (c->label[0] == '@') item.replaceFrom = place.wordStart;
    list.items.push_back(std::move(item));
  }
  return list;
}

// The forms of a mnemonic as the chip lists them, one signature each; the parameters of
// a macro from its head.
std::optional<SignatureHelp> Workspace::signatureHelp(const std::string& file, Position at) const {
  const std::vector<const RunResult*> runs = runsOf(file);
  const SymbolFact* macro = nullptr;
  auto findMacro = [&](const std::string& word) {
    for (const RunResult* run : runs)
      for (const SymbolFact& f : run->symbols)
        if (f.kind == kMacro && f.definition && sameName(*run, kMacro, f.name, word)) {
          macro = &f;
          return true;
        }
    return false;
  };
  auto isMnemonic = [&](const std::string& word) {
    for (const RunResult* run : runs)
      for (const Opcode& o : run->opcodes)
        if (sameText(o.mnemonic, word)) return true;
    return false;
  };
  const std::string source = line(file, at.line + 1);
  const int column = std::min(at.column, static_cast<int>(source.size()));
  const StatementPlace place =
      placeOf(source, column, [&](const std::string& w) { return isMnemonic(w) || findMacro(w); });
  if (place.where != StatementPlace::kOperand || place.directive) return std::nullopt;

  SignatureHelp help;
  help.activeParameter = place.operand;
  // A statement's signature: "NAME a, b" with the parameters' columns in it.
  auto signature = [](const std::string& name, const std::string& operands,
                      const std::string& documentation) {
    Signature s;
    s.label = name + " " + operands;
    s.documentation = documentation;
    size_t from = name.size() + 1;
    for (;;) {
      const size_t comma = s.label.find(',', from);
      const size_t end = comma == std::string::npos ? s.label.size() : comma;
      s.parameters.emplace_back(static_cast<int>(from), static_cast<int>(end));
      if (comma == std::string::npos) break;
      from = comma + 1;
      while (from < s.label.size() && s.label[from] == ' ') ++from;
    }
    return s;
  };
  if (isMnemonic(place.operation)) {
    for (const RunResult* run : runs) {
      for (const Opcode& o : run->opcodes) {
        if (!sameText(o.mnemonic, place.operation)) continue;
        const std::string line = opcodeLine(o);
        const size_t semicolon = line.find(';');
        const std::string fields = semicolon == std::string::npos ? "" : line.substr(semicolon + 2);
        std::string forms = operandFormOf(o);
        // CALL and JMP: the address alone, or a page and the address.
        for (size_t p = 0, q; p <= forms.size(); p = q + 5) {
          q = forms.find("  |  ", p);
          if (q == std::string::npos) q = forms.size();
          const std::string operands = forms.substr(p, q - p);
          if (operands.empty()) continue;
          Signature s = signature(o.mnemonic, operands, fields);
          if (std::none_of(help.signatures.begin(), help.signatures.end(),
                           [&](const Signature& t) { return t.label == s.label; }))
            help.signatures.push_back(s);
        }
      }
    }
  } else if (findMacro(place.operation) && !macro->text.empty()) {
    help.signatures.push_back(signature(
        macro->name, macro->text,
        "macro, defined at " + macro->at.file.substr(macro->at.file.find_last_of("/\\") + 1) + ":" +
            std::to_string(macro->at.line)));
  }
  if (help.signatures.empty()) return std::nullopt;
  // The first form that has the operand, and "@HL" where the statement already wrote it.
  std::vector<std::string> written;
  {
    std::string operands = source.substr(static_cast<size_t>(place.operandStart),
                                         static_cast<size_t>(column - place.operandStart));
    std::string current;
    for (char c : operands) {
      if (c == ',') {
        written.push_back(current);
        current.clear();
      } else if (c != ' ' && c != '\t') {
        current += c;
      }
    }
  }
  int chosen = -1;
  for (size_t i = 0; i < help.signatures.size() && chosen < 0; ++i) {
    const Signature& s = help.signatures[i];
    if (s.parameters.size() <= static_cast<size_t>(place.operand)) continue;
    bool fits = true;
    for (size_t k = 0; k < written.size() && k < s.parameters.size(); ++k) {
      const std::string parameter =
          s.label.substr(static_cast<size_t>(s.parameters[k].first),
                         static_cast<size_t>(s.parameters[k].second - s.parameters[k].first));
      fits = fits && (parameter == "@HL") == sameText(written[k], "@HL");
    }
    if (fits) chosen = static_cast<int>(i);
  }
  for (size_t i = 0; i < help.signatures.size() && chosen < 0; ++i)
    if (help.signatures[i].parameters.size() > static_cast<size_t>(place.operand))
      chosen = static_cast<int>(i);
  help.activeSignature = std::max(chosen, 0);
  return help;
}

}  // namespace zqlsp
