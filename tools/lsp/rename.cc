// Rename of labels, local labels, constants, RAM names, DEFINE and DEFSTRING names and
// macros across every file the runs read. The facts of the runs say which written names
// stand for the same definition, as the assembler resolved them, so a name is renamed
// where a run met it: what no run reads (a macro never called, a branch of a conditional
// not taken) keeps its old name. Two places no run tells of are edited from the text: the
// LOCALLABEL line that declares a macro-local label, and the IFDEF and IFNDEF lines that
// test a DEFINE name (a test made before the name is defined finds nothing to tell of).
#include "rename.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "fact_text.h"
#include "source_lexer.h"
#include "workspace.h"

namespace zqlsp {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

bool located(const Place& p) { return p.endColumn > p.column; }

Range spanOf(const Place& p) {
  const int row = p.line > 0 ? p.line - 1 : 0;
  return Range{{row, p.column}, {row, p.endColumn}};
}

// The cursor stands on the name, or just behind it.
bool under(const Place& p, const std::string& file, Position at) {
  return p.line == at.line + 1 && located(p) && at.column >= p.column && at.column <= p.endColumn &&
         p.file == file;
}

std::string fileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string quoted(const std::string& name) { return "'" + name + "'"; }

using LinesOf = std::function<const std::vector<std::string>&(const std::string&)>;

// Label, constant and RAM names compare without case unless the run's option says so.
bool folds(const RunResult& run, int kind) {
  return !run.settings.caseSensitive &&
         (kind == kLabel || kind == kLocalLabel || kind == kConstant || kind == kRamName);
}

// Whether a name of kind `a` and one of kind `b` would be taken for each other.
bool clash(const RunResult& run, int a, int b, const std::string& x, const std::string& y) {
  return folds(run, a) || folds(run, b) ? upper(x) == upper(y) : x == y;
}

// A definition as every run names it: kind and place.
struct Definition {
  int kind;
  Place at;
  bool operator<(const Definition& o) const {
    return std::tie(kind, at.file, at.line, at.column, at.endColumn) <
           std::tie(o.kind, o.at.file, o.at.line, o.at.column, o.at.endColumn);
  }
};

// What the name under the cursor stands for.
struct Target {
  std::string refusal;
  Range range;
  std::string written;  // under the cursor
  std::string name;     // as its definition writes it
  int kind = kLabel;
  // The definitions it stands for: one, or a macro's and the label its head defines.
  std::set<Definition> definitions;
};

bool isMnemonic(const std::vector<const RunResult*>& runs, const std::string& word,
                std::string& chip) {
  for (const RunResult* run : runs)
    for (const Opcode& o : run->opcodes)
      if (upper(o.mnemonic) == upper(word)) {
        chip = run->chipName;
        return true;
      }
  return false;
}

bool isDirectiveWord(const std::string& word) {
  const std::vector<std::string>& words = directiveKeywords();
  return std::find(words.begin(), words.end(), upper(word)) != words.end();
}

const Token* firstDirective(const std::vector<Token>& tokens) {
  for (const Token& t : tokens)
    if (t.kind == TokenKind::kDirective) return &t;
  return nullptr;
}

// The line (from 1) of the ENDM that closes the macro whose head is at `head`; the last
// line when none does.
int bodyEnd(const std::vector<std::string>& lines, int head) {
  for (size_t i = static_cast<size_t>(head); i < lines.size(); ++i) {
    // The tokens are kept: the directive found points into them.
    const std::vector<Token> tokens = lexLine(lines[i]);
    const Token* d = firstDirective(tokens);
    if (d != nullptr && (d->text == "ENDM" || d->text == "ENDMAC" || d->text == "ENDMACRO"))
      return static_cast<int>(i) + 1;
  }
  return static_cast<int>(lines.size());
}

// A macro head and the last line of its body.
struct MacroScope {
  const SymbolFact* head = nullptr;
  int end = 0;
};

// The macro whose body holds line `line` of `file`, as `run` defined it.
MacroScope macroAround(const RunResult& run, const LinesOf& lines, const std::string& file,
                       int line) {
  MacroScope scope;
  for (const SymbolFact& f : run.symbols)
    if (f.kind == kMacro && f.definition && f.at.file == file && f.at.line < line &&
        (scope.head == nullptr || f.at.line > scope.head->at.line))
      scope.head = &f;
  if (scope.head == nullptr) return scope;
  scope.end = bodyEnd(lines(file), scope.head->at.line);
  if (line > scope.end) scope.head = nullptr;
  return scope;
}

// The parameter names of a macro: its definition's text, "A, B".
std::vector<std::string> parametersOf(const SymbolFact& macro) {
  std::vector<std::string> names;
  std::string name;
  for (char c : macro.text + ",") {
    if (c == ',') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else if (c != ' ') {
      name += c;
    }
  }
  return names;
}

// The names a LOCALLABEL line of the macro body declares: line (from 1) and token.
std::vector<std::pair<int, Token>> localLabelNames(const std::vector<std::string>& lines,
                                                   const MacroScope& scope) {
  std::vector<std::pair<int, Token>> names;
  for (int line = scope.head->at.line + 1; line <= scope.end; ++line) {
    const std::vector<Token> tokens = lexLine(lines[static_cast<size_t>(line) - 1]);
    const Token* d = firstDirective(tokens);
    if (d == nullptr || d->text != "LOCALLABEL") continue;
    for (const Token& t : tokens)
      if (t.kind == TokenKind::kName && t.start > d->start) names.emplace_back(line, t);
  }
  return names;
}

// What the name at `at` stands for, from the facts of the runs that read `file`; where no
// fact stands, why the word there cannot be renamed. Nothing where no word stands.
std::optional<Target> findTarget(const std::vector<const RunResult*>& runs, const LinesOf& lines,
                                 const std::string& file, Position at) {
  const RunResult* hitRun = nullptr;
  const SymbolFact* hit = nullptr;
  bool include = false;
  for (const RunResult* run : runs)
    for (const SymbolFact& f : run->symbols) {
      if (!under(f.at, file, at)) continue;
      if (f.kind == kInclude) include = true;
      if (f.kind == kInclude || f.resolved < 0) continue;
      // A macro's head is read as the macro's name before the label it also defines.
      if (hit == nullptr || (f.kind == kMacro && hit->kind != kMacro)) hit = &f, hitRun = run;
    }
  Target t;
  if (hit != nullptr) {
    const SymbolFact& d = hitRun->symbols[static_cast<size_t>(hit->resolved)];
    t.range = spanOf(hit->at);
    t.written = hit->name;
    t.name = d.name;
    t.kind = d.kind;
    if (!located(d.at)) {
      t.refusal = quoted(hit->name) + " is not defined in a source file";
      return t;
    }
    t.definitions.insert(Definition{d.kind, d.at});
    if (d.kind == kMacro || d.kind == kLabel)
      for (const RunResult* run : runs)
        for (const SymbolFact& f : run->symbols)
          if (f.definition && (f.kind == kMacro || f.kind == kLabel) && f.kind != d.kind &&
              f.at == d.at) {
            t.definitions.insert(Definition{f.kind, f.at});
            t.kind = kMacro;
          }
    for (const RunResult* run : runs)
      for (const auto& define : run->settings.defines)
        if (t.kind == kDefine && define.first == d.name)
          t.refusal = quoted(d.name) + " is also defined by the configuration (zqasm.json)";
    return t;
  }

  const std::vector<std::string>& all = lines(file);
  if (at.line < 0 || static_cast<size_t>(at.line) >= all.size()) return std::nullopt;
  const std::string& line = all[static_cast<size_t>(at.line)];
  const std::vector<Token> tokens = lexLine(line);
  const Token* token = nullptr;
  for (const Token& k : tokens)
    if (at.column >= k.start && at.column <= k.end && (token == nullptr || at.column < k.end))
      token = &k;
  if (token == nullptr || (token->kind != TokenKind::kName && token->kind != TokenKind::kDirective))
    return std::nullopt;
  t.range = Range{{at.line, token->start}, {at.line, token->end}};
  t.written = line.substr(static_cast<size_t>(token->start),
                          static_cast<size_t>(token->end - token->start));
  const Token* directive = firstDirective(tokens);
  std::string chip;
  if (token->kind == TokenKind::kDirective) {
    t.refusal = quoted(t.written) + " is a directive of the assembler; it cannot be renamed";
  } else if (include) {
    t.refusal = quoted(t.written) + " is part of an include file's name; rename the file instead";
  } else if (isMnemonic(runs, t.written, chip)) {
    t.refusal =
        quoted(t.written) + " is an instruction of the chip " + chip + "; it cannot be renamed";
  } else if (directive != nullptr && directive->start < token->start &&
             (directive->text == "CHIP" || directive->text == "CHIPNAME")) {
    t.refusal = quoted(t.written) + " names the chip; it cannot be renamed";
  } else if (upper(t.written) == "HL" && token->start > 0 && line[token->start - 1] == '@') {
    t.refusal = "'@HL' is an operand of the chip's instructions; it cannot be renamed";
  } else {
    t.refusal = "no run of the assembler finds " + quoted(t.written) +
                " here: it is not defined, names a macro parameter, or stands where nothing "
                "is assembled";
    for (const RunResult* run : runs)
      for (const auto& define : run->settings.defines)
        if (define.first == t.written)
          t.refusal = quoted(t.written) +
                      " is defined by the configuration (zqasm.json), not in a source file";
  }
  return t;
}

// Whether `f` names what the target stands for. A DEFINE name may be defined again and
// again, each definition holding from its line on: all of them go together.
bool standsFor(const RunResult& run, const SymbolFact& f, const Target& t) {
  if (f.resolved < 0 || f.kind == kInclude) return false;
  if (t.kind == kDefine) return f.kind == kDefine && f.name == t.name;
  const SymbolFact& d = run.symbols[static_cast<size_t>(f.resolved)];
  return t.definitions.count(Definition{d.kind, d.at}) != 0;
}

// Whether a run defines the target (a run that reads only other files knows another
// thing of the same name, if any).
bool holds(const RunResult& run, const Target& t) {
  for (const SymbolFact& f : run.symbols)
    if (f.definition && t.definitions.count(Definition{f.kind, f.at})) return true;
  return false;
}

// True when `line` holds `word` in any case.
bool mentions(const std::string& line, const char* word) {
  const std::string w(word);
  return std::search(line.begin(), line.end(), w.begin(), w.end(), [](char a, char b) {
           return (a >= 'a' && a <= 'z' ? a - 32 : a) == b;
         }) != line.end();
}

// The places to write the new name: file -> (line from 1, column) -> end column and the
// name as written there.
using Places = std::map<std::string, std::map<std::pair<int, int>, std::pair<int, std::string>>>;

class Renamer {
 public:
  Renamer(const Target& target, const std::vector<const RunResult*>& runs, const LinesOf& lines)
      : t_(target), lines_(lines) {
    for (const RunResult* run : runs)
      if (holds(*run, t_)) runs_.push_back(run);
  }

  // Every place the target is written; false when a place no longer holds the name (the
  // text changed after the run).
  bool collect(Places& places) {
    for (const RunResult* run : runs_) {
      for (const SymbolFact& f : run->symbols)
        if (located(f.at) && standsFor(*run, f, t_))
          places[f.at.file][{f.at.line, f.at.column}] = {f.at.endColumn, f.name};
      if (t_.kind == kLocalLabel) declarations(*run, places);
      if (t_.kind == kDefine) tests(*run, places);
    }
    for (const auto& file : places) {
      const std::vector<std::string>& lines = lines_(file.first);
      for (const auto& place : file.second) {
        const size_t line = static_cast<size_t>(place.first.first);
        const size_t column = static_cast<size_t>(place.first.second);
        const std::string& written = place.second.second;
        if (line < 1 || line > lines.size() || column > lines[line - 1].size() ||
            lines[line - 1].compare(column, written.size(), written) != 0)
          return false;
      }
    }
    return true;
  }

  // Why `name` cannot be the new name; "" when it can.
  std::string refusal(const std::string& name) {
    std::string problem = nameProblem(t_.kind, name);
    if (!problem.empty()) return problem;
    std::string chip;
    if (isMnemonic(runs_, name, chip))
      return quoted(name) + " is an instruction of the chip " + chip;
    if (isDirectiveWord(name)) return quoted(name) + " is a directive word of the assembler";
    for (const RunResult* run : runs_) {
      problem = t_.kind == kLocalLabel ? localClash(*run, name) : globalClash(*run, name);
      if (!problem.empty()) return problem;
    }
    return "";
  }

 private:
  // The target's LOCALLABEL declaration in the body of its macro.
  void declarations(const RunResult& run, Places& places) {
    for (const Definition& d : t_.definitions) {
      const MacroScope scope = macroAround(run, lines_, d.at.file, d.at.line);
      if (scope.head == nullptr) continue;
      for (const auto& entry : localLabelNames(lines_(d.at.file), scope))
        if (entry.second.text == t_.name)
          places[d.at.file][{entry.first, entry.second.start}] = {entry.second.end, t_.name};
    }
  }

  // IFDEF and IFNDEF lines that test the DEFINE name, in the files of the run.
  void tests(const RunResult& run, Places& places) {
    for (const std::string& file : run.filesRead) {
      const std::vector<std::string>& lines = lines_(file);
      for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(t_.name) == std::string::npos ||
            (!mentions(lines[i], "IFDEF") && !mentions(lines[i], "IFNDEF")))
          continue;
        const std::vector<Token> tokens = lexLine(lines[i]);
        const Token* d = firstDirective(tokens);
        if (d == nullptr || (d->text != "IFDEF" && d->text != "IFNDEF")) continue;
        for (const Token& k : tokens)
          if (k.kind == TokenKind::kName && k.start > d->start && k.text == t_.name)
            places[file][{static_cast<int>(i) + 1, k.start}] = {k.end, t_.name};
      }
    }
  }

  std::string parameterClash(const MacroScope& scope, const std::string& name) {
    for (const std::string& parameter : parametersOf(*scope.head))
      if (parameter == name)
        return quoted(name) + " is a parameter of macro " + quoted(scope.head->name) +
               ", whose body writes " + quoted(t_.name);
    return "";
  }

  // Any name the run defines, or the configuration; and a parameter of a macro whose
  // body writes the target, which would take the place of the new name there.
  std::string globalClash(const RunResult& run, const std::string& name) {
    for (const SymbolFact& f : run.symbols) {
      if (!f.definition || f.kind == kInclude || standsFor(run, f, t_) ||
          !clash(run, f.kind, t_.kind, f.name, name))
        continue;
      return quoted(name) + " already names a " + symbolKindName(f.kind) +
             (located(f.at) ? " (" + fileName(f.at.file) + ":" + std::to_string(f.at.line) + ")"
                            : std::string());
    }
    for (const auto& define : run.settings.defines)
      if (clash(run, kDefine, t_.kind, define.first, name))
        return quoted(name) + " is already defined by the configuration (zqasm.json)";
    for (const SymbolFact& f : run.symbols) {
      if (f.expansion == 0 || !located(f.at) || !standsFor(run, f, t_)) continue;
      const MacroScope scope = macroAround(run, lines_, f.at.file, f.at.line);
      if (scope.head == nullptr) continue;
      std::string problem = parameterClash(scope, name);
      if (!problem.empty()) return problem;
    }
    return "";
  }

  // A local label's scope is its macro: the names its body writes, the other local
  // labels it declares, its parameters.
  std::string localClash(const RunResult& run, const std::string& name) {
    for (const Definition& d : t_.definitions) {
      const MacroScope scope = macroAround(run, lines_, d.at.file, d.at.line);
      if (scope.head == nullptr) continue;
      const std::string in = " in macro " + quoted(scope.head->name);
      for (const auto& entry : localLabelNames(lines_(d.at.file), scope))
        if (entry.second.text != t_.name && entry.second.text == name)
          return quoted(name) + " is already a local label" + in;
      for (const SymbolFact& f : run.symbols)
        if (f.at.file == d.at.file && f.at.line > scope.head->at.line && f.at.line <= scope.end &&
            f.kind != kInclude && !standsFor(run, f, t_) &&
            clash(run, f.kind, kLocalLabel, f.name, name))
          return quoted(name) + " already names a " + symbolKindName(f.kind) + in;
      std::string problem = parameterClash(scope, name);
      if (!problem.empty()) return problem;
    }
    return "";
  }

  const Target& t_;
  const LinesOf& lines_;
  std::vector<const RunResult*> runs_;  // the runs that define the target
};

// The answer of prepareRename at `t`: the name there, or why it may not be renamed.
RenameAnswer answerAt(const Target& t) {
  RenameAnswer answer;
  answer.refusal = t.refusal;
  answer.range = t.range;
  answer.name = t.written;
  return answer;
}

}  // namespace

std::string nameProblem(int kind, const std::string& name) {
  if (name.empty()) return "the new name is empty";
  const bool define = kind == kDefine || kind == kString;
  const size_t limit = kind == kMacro ? kMaxMacroName : kMaxSymbolName;
  const std::string what = std::string("a ") + symbolKindName(kind) + " name";
  if (name.size() > limit)
    return quoted(name) + " is too long for " + what + " (at most " + std::to_string(limit) +
           " characters)";
  const char first = name[0];
  const bool firstOk =
      isLetter(first) || first == '_' || (first == '?' && !define && kind != kRamName);
  bool restOk = true;
  for (size_t i = 1; i < name.size(); ++i) {
    const char c = name[i];
    restOk = restOk && (isLetter(c) || isDigit(c) || c == '_' || (!define && c == '\\'));
  }
  if (firstOk && restOk) return "";
  const std::string rule = define ? "a letter or '_' first, then letters, digits and '_'"
                           : kind == kRamName
                               ? "a letter or '_' first, then letters, digits, '_' and '\\'"
                               : "a letter, '?' or '_' first, then letters, digits, '_' and '\\'";
  return quoted(name) + " is not " + what + ": it takes " + rule;
}

std::optional<RenameAnswer> Workspace::prepareRename(const std::string& file, Position at) const {
  const LinesOf linesOf = [this](const std::string& f) -> const std::vector<std::string>& {
    return lines(f);
  };
  const std::optional<Target> t = findTarget(runsOf(file), linesOf, file, at);
  if (!t) return std::nullopt;
  return answerAt(*t);
}

std::optional<RenameAnswer> Workspace::rename(const std::string& file, Position at,
                                              const std::string& newName) const {
  const LinesOf linesOf = [this](const std::string& f) -> const std::vector<std::string>& {
    return lines(f);
  };
  const std::optional<Target> t = findTarget(runsOf(file), linesOf, file, at);
  if (!t) return std::nullopt;
  RenameAnswer answer = answerAt(*t);
  if (!answer.refusal.empty()) return answer;
  Renamer renamer(*t, runs(), linesOf);
  answer.refusal = renamer.refusal(newName);
  if (!answer.refusal.empty()) return answer;
  Places places;
  if (!renamer.collect(places)) {
    answer.refusal = "the sources changed while the rename was worked out; try again";
    return answer;
  }
  for (const auto& f : places)
    for (const auto& place : f.second) {
      if (place.second.second == newName) continue;
      const int row = place.first.first - 1;
      answer.edits[f.first].push_back(
          TextEdit{Range{{row, place.first.second}, {row, place.second.first}}, newName});
    }
  return answer;
}

}  // namespace zqlsp
