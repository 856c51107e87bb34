// The workspace model's answers: definitions, references, hovers, outlines
// and semantic tokens, from the facts of the runs that read a file. A file may be read by
// several runs (an include file of two programs): the answers are the union of theirs,
// each place once. Every answer is computed from the facts when asked; none is kept, so
// nothing here goes stale when a run is made again.
#include <algorithm>
#include <cstdio>
#include <set>

#include "fact_text.h"
#include "source_lexer.h"
#include "text.h"
#include "workspace.h"
#include "zqasm/observer.h"

namespace zqlsp {

namespace {

// A ROM top above this makes a banked chip, whose banks are 1000h words: a hover tells the
// bank of a label there.
constexpr int64_t kUnbankedRomTop = 4096;
// Most items a workspace symbol search answers with, and most words a hover lists.
constexpr size_t kMaxWorkspaceSymbols = 500;
constexpr size_t kMaxHoverWords = 16;

// Token types and modifiers of the legend (indexes into tokenTypes()).
enum TokenType {
  kKeyword,
  kDecorator,
  kFunction,
  kVariable,
  kMacroToken,
  kNumber,
  kStringToken,
  kComment,
  kParameter
};
constexpr uint32_t kReadonly = 1;
constexpr uint32_t kDeclaration = 2;

// `value` as the source writes hexadecimal, at least `digits` digits: 0Fh, 1000h, 0D000h.
std::string hex(int64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llXh", digits, static_cast<unsigned long long>(value));
  // A number that begins with a letter gets a 0 in front, as the source writes it.
  return text[0] >= 'A' ? "0" + std::string(text) : std::string(text);
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::string fileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The range of a place: its line from 0, its columns as they are.
Range spanOf(const Place& p) {
  const int row = p.line > 0 ? p.line - 1 : 0;
  return Range{{row, p.column}, {row, p.endColumn}};
}

// True when a cursor at `at` of `file` stands on the name at `p`, its end included (the
// cursor just behind a word still names it, as editors place it after a double click).
bool contains(const Place& p, const std::string& file, Position at) {
  return p.line == at.line + 1 && p.endColumn > p.column && at.column >= p.column &&
         at.column <= p.endColumn && p.file == file;
}

const char* kindName(int kind) {
  static const char* const kNames[] = {"label", "local label", "constant", "RAM name",
                                       "macro", "define",      "string",   "include file"};
  return kind >= 0 && kind <= kInclude ? kNames[kind] : "name";
}

bool banked(const RunResult& run) { return run.settings.romTop > kUnbankedRomTop; }

// The operands an instruction record takes, as a statement writes them: the library's
// text, the one its notes of error 6 list.
std::string operandForm(const Opcode& o) {
  ZqasmOpcode record{};
  std::snprintf(record.mnemonic, sizeof record.mnemonic, "%s", o.mnemonic.c_str());
  record.form = o.form;
  record.kind = o.kind;
  char text[64];
  ZqasmOperandForm(&record, text, sizeof text);
  return text;
}

// One record as a hover shows it: the statement form, then the base word, the operand
// fields and the RAM ranges its flags ask for.
std::string formLine(const Opcode& o) {
  std::string line = o.mnemonic;
  const std::string operands = operandForm(o);
  if (!operands.empty()) line += " " + operands;
  line += "    ; " + hex(o.opcode, 4);
  if (o.mask1) line += ", operand 1 in " + hex(o.mask1, 4);
  if (o.mask2) line += ", operand 2 in " + hex(o.mask2, 4);
  if (o.form & 0x10) line += ", operand 1 RAM 40h-7Fh";
  if (o.form & 0x20) line += ", operand 2 RAM 40h-7Fh";
  if (o.form & 0x40) line += ", operand 1 not 40h-6Fh";
  if (o.form & 0x80) line += ", operand 2 not 40h-6Fh";
  return line;
}

// The records of `mnemonic` in the chip of the runs, each form once.
std::vector<std::string> formsOf(const std::vector<const RunResult*>& runs,
                                 const std::string& mnemonic) {
  std::vector<std::string> forms;
  for (const RunResult* run : runs)
    for (const Opcode& o : run->opcodes)
      if (upper(o.mnemonic) == upper(mnemonic)) {
        const std::string line = formLine(o);
        if (std::find(forms.begin(), forms.end(), line) == forms.end()) forms.push_back(line);
      }
  return forms;
}

// What a definition is, in a line of a hover or the detail of a completion item.
std::string describe(const RunResult& run, const SymbolFact& d) {
  switch (d.kind) {
    case kLabel:
    case kLocalLabel: {
      std::string text = "address " + hex(d.value, 4);
      if (banked(run)) text += ", bank " + std::to_string(d.value >> 12);
      return text;
    }
    case kConstant:
    case kDefine:
      return "= " + hex(d.value, 2) + " (" + std::to_string(d.value) + ")";
    case kRamName:
      return "address " + hex(d.value, 3) + ", " + std::to_string(d.size) + " nibble" +
             (d.size == 1 ? "" : "s");
    case kMacro:
      return "(" + d.text + ")";
    case kString:
      return "= " + d.text;
    default:
      return d.text;
  }
}

// Runs that read the same file find the same places: each is listed once.
void addUnique(std::vector<Location>& list, const Location& l) {
  if (std::find(list.begin(), list.end(), l) == list.end()) list.push_back(l);
}

}  // namespace

std::string symbolDetail(const RunResult& run, const SymbolFact& d) { return describe(run, d); }
const char* symbolKindName(int kind) { return kindName(kind); }
std::string operandFormOf(const Opcode& o) { return operandForm(o); }
std::string opcodeLine(const Opcode& o) { return formLine(o); }

const std::vector<std::string>& tokenTypes() {
  static const std::vector<std::string> kTypes = {"keyword",  "decorator", "function",
                                                  "variable", "macro",     "number",
                                                  "string",   "comment",   "parameter"};
  return kTypes;
}

const std::vector<std::string>& tokenModifiers() {
  static const std::vector<std::string> kModifiers = {"readonly", "declaration"};
  return kModifiers;
}

std::vector<std::pair<const RunResult*, int>> Workspace::symbolsAt(const std::string& file,
                                                                   Position at) const {
  std::vector<std::pair<const RunResult*, int>> found;
  for (const RunResult* run : runsOf(file)) {
    for (size_t i = 0; i < run->symbols.size(); ++i) {
      if (contains(run->symbols[i].at, file, at)) {
        found.emplace_back(run, static_cast<int>(i));
      }
    }
  }
  return found;
}

const CallFact* Workspace::callAt(const std::string& file, Position at) const {
  for (const RunResult* run : runsOf(file))
    for (const CallFact& call : run->calls)
      if (contains(call.at, file, at)) return &call;
  return nullptr;
}

// The definition each run resolved the name to (resolveSymbols); an include name goes to
// the start of the file it read.
std::vector<Location> Workspace::definition(const std::string& file, Position at) const {
  std::vector<Location> found;
  for (const auto& hit : symbolsAt(file, at)) {
    const SymbolFact& f = hit.first->symbols[static_cast<size_t>(hit.second)];
    if (f.kind == kInclude) {
      addUnique(found, Location{f.text, Range{}});
    } else if (f.resolved >= 0) {
      addUnique(found, Location{hit.first->symbols[static_cast<size_t>(f.resolved)].at.file,
                                spanOf(hit.first->symbols[static_cast<size_t>(f.resolved)].at)});
    }
  }
  return found;
}

// Every located fact that stands for the same definition, in file order. A macro-local
// label is a definition per expansion, all at one body line: they count as one.
std::vector<Location> Workspace::references(const std::string& file, Position at,
                                            bool withDeclaration) const {
  std::vector<Location> found;
  for (const auto& hit : symbolsAt(file, at)) {
    const RunResult& run = *hit.first;
    const SymbolFact& f = run.symbols[static_cast<size_t>(hit.second)];
    if (f.resolved < 0) continue;
    const SymbolFact& target = run.symbols[static_cast<size_t>(f.resolved)];
    for (const SymbolFact& other : run.symbols) {
      if (other.resolved < 0 || other.at.endColumn <= other.at.column) continue;
      const SymbolFact& d = run.symbols[static_cast<size_t>(other.resolved)];
      // Each expansion's own local label: the same body line of the macro.
      const bool same = other.resolved == f.resolved ||
                        (f.kind == kLocalLabel && d.kind == kLocalLabel && d.at == target.at);
      if (!same || (other.definition && !withDeclaration)) continue;
      addUnique(found, Location{other.at.file, spanOf(other.at)});
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

// A hover is made of parts, each once: what the name under the cursor stands for, the
// expansion of a macro call, a mnemonic's forms (only where no fact names the word), and
// the words the line produced.
std::optional<Hover> Workspace::hover(const std::string& file, Position at) const {
  std::vector<std::string> parts;
  Range range{at, at};
  bool ranged = false;
  const std::vector<const RunResult*> runs = runsOf(file);
  for (const auto& hit : symbolsAt(file, at)) {
    const RunResult& run = *hit.first;
    const SymbolFact& f = run.symbols[static_cast<size_t>(hit.second)];
    if (!ranged) range = spanOf(f.at), ranged = true;
    std::string text;
    if (f.kind == kInclude) {
      text = "include file `" + f.text + "`";
    } else if (f.resolved >= 0) {
      const SymbolFact& d = run.symbols[static_cast<size_t>(f.resolved)];
      text = std::string(kindName(d.kind)) + " **" + d.name + "** " + describe(run, d);
      if (d.kind == kLocalLabel) {
        // Each expansion gives the label its own address.
        std::string addresses;
        size_t count = 0;
        for (const SymbolFact& other : run.symbols) {
          if (other.kind != kLocalLabel || !other.definition || !(other.at == d.at)) continue;
          if (++count > kMaxHoverWords) break;
          addresses += "\n- " + hex(other.value, 4) + " in the call at " +
                       fileName(other.source.file) + ":" + std::to_string(other.source.line);
        }
        if (count > 1) text = std::string(kindName(d.kind)) + " **" + d.name + "**" + addresses;
      }
      text += "  \ndefined at " + fileName(d.at.file) + ":" + std::to_string(d.at.line);
    }
    if (!text.empty() && std::find(parts.begin(), parts.end(), text) == parts.end())
      parts.push_back(text);
  }
  if (const CallFact* call = callAt(file, at)) {
    if (!ranged) range = spanOf(call->at), ranged = true;
    std::string text = "macro **" + call->macro + "** (" + fileName(call->headFile) + ":" +
                       std::to_string(call->headLine) + ") expands to:\n```\n";
    for (const std::string& line : call->lines) text += line + "\n";
    if (call->omitted > 0) text += "; ... " + std::to_string(call->omitted) + " more lines\n";
    text += "```";
    parts.push_back(text);
  }
  // A mnemonic: its forms from the chip description.
  const std::string source = line(file, at.line + 1);
  if (parts.empty()) {
    for (const Token& token : lexLine(source)) {
      if (token.kind != TokenKind::kName || at.column < token.start || at.column > token.end)
        continue;
      const std::vector<std::string> forms = formsOf(runs, token.text);
      if (forms.empty()) continue;
      std::string text = "instruction **" + upper(token.text) + "**\n```\n";
      for (const std::string& form : forms) text += form + "\n";
      parts.push_back(text + "```");
      range = Range{{at.line, token.start}, {at.line, token.end}};
      ranged = true;
    }
  }
  // The words the line produced (a macro call line: those of its whole expansion).
  std::vector<std::string> words;
  size_t more = 0;
  for (const RunResult* run : runs) {
    for (const CodeFact& code : run->code) {
      const bool here = (code.at.line == at.line + 1 && code.at.file == file) ||
                        (code.source.line == at.line + 1 && code.source.file == file);
      if (!here) continue;
      char word[16];
      std::snprintf(word, sizeof word, "%04X", code.word);
      const std::string entry = hex(code.address, 4) + ": " + word;
      if (std::find(words.begin(), words.end(), entry) != words.end()) continue;
      if (words.size() < kMaxHoverWords) {
        words.push_back(entry);
      } else {
        ++more;
      }
    }
  }
  if (!words.empty()) {
    std::string text = "```\n";
    for (const std::string& w : words) text += w + "\n";
    if (more > 0) text += "... " + std::to_string(more) + " more words\n";
    parts.push_back(text + "```");
  }
  if (parts.empty()) return std::nullopt;
  Hover hover;
  for (size_t i = 0; i < parts.size(); ++i) hover.markdown += (i ? "\n\n" : "") + parts[i];
  if (!ranged) {
    // The whole line.
    range = Range{{at.line, 0}, {at.line, static_cast<int>(source.size())}};
  }
  hover.range = range;
  return hover;
}

// The definitions that the facts place in this file, and the DATA and TABLE regions found
// in its text (a region runs to its end directive, or to the end of the file), with the
// RAM names of a region as its children.
std::vector<DocumentSymbol> Workspace::documentSymbols(const std::string& file) const {
  std::vector<DocumentSymbol> symbols;
  std::set<std::string> seen;
  // The macros first: a macro's head also defines a label of its name.
  std::set<int> macroLines;
  std::vector<const SymbolFact*> definitions;
  std::vector<const RunResult*> owners;
  for (const RunResult* run : runsOf(file)) {
    for (const SymbolFact& f : run->symbols) {
      if (!f.definition || f.at.file != file || f.at.endColumn <= f.at.column) continue;
      if (f.kind == kMacro) macroLines.insert(f.at.line);
      definitions.push_back(&f);
      owners.push_back(run);
    }
  }
  static const int kSymbolKinds[] = {12, 12, 14, 13, 6, 14, 15, 1};
  std::vector<DocumentSymbol> ramNames;
  for (size_t i = 0; i < definitions.size(); ++i) {
    const SymbolFact& f = *definitions[i];
    if (f.kind == kInclude || (f.kind == kLabel && macroLines.count(f.at.line))) continue;
    if (!seen.insert(std::to_string(f.kind) + ":" + std::to_string(f.at.line) + ":" + f.name)
             .second)
      continue;
    DocumentSymbol s;
    s.name = f.name;
    s.detail = f.kind == kLocalLabel ? std::string("local label") : describe(*owners[i], f);
    s.kind = kSymbolKinds[f.kind];
    s.range = s.selectionRange = spanOf(f.at);
    (f.kind == kRamName ? ramNames : symbols).push_back(s);
  }
  // DATA and TABLE regions, with the RAM names inside.
  const std::vector<std::string>& all = lines(file);
  int open = -1;
  std::string region;
  for (size_t n = 0; n <= all.size(); ++n) {
    std::string keyword;
    if (n < all.size())
      for (const Token& t : lexLine(all[n]))
        if (t.kind == TokenKind::kDirective) keyword = t.text;
    const bool closes = n == all.size() || keyword == "ENDD" || keyword == "ENDDATA" ||
                        keyword == "ENDT" || keyword == "ENDTAB" || keyword == "ENDTABLE";
    if (open >= 0 && closes) {
      DocumentSymbol s;
      s.name = region;
      s.kind = region == "DATA" ? 23 : 18;
      const int end = static_cast<int>(std::min(n, all.size() - 1));
      s.range = Range{{open, 0}, {end, static_cast<int>(all[static_cast<size_t>(end)].size())}};
      s.selectionRange =
          Range{{open, 0}, {open, static_cast<int>(all[static_cast<size_t>(open)].size())}};
      for (const DocumentSymbol& ram : ramNames)
        if (ram.range.start.line >= open && ram.range.start.line <= end) s.children.push_back(ram);
      symbols.push_back(s);
      open = -1;
    }
    if (open < 0 && (keyword == "DATA" || keyword == "TABLE")) {
      open = static_cast<int>(n);
      region = keyword;
    }
  }
  std::sort(symbols.begin(), symbols.end(), [](const DocumentSymbol& a, const DocumentSymbol& b) {
    return a.range.start.line < b.range.start.line;
  });
  return symbols;
}

std::vector<WorkspaceSymbol> Workspace::workspaceSymbols(const std::string& query) const {
  std::vector<WorkspaceSymbol> found;
  std::set<std::string> seen;
  const std::string wanted = upper(query);
  static const int kSymbolKinds[] = {12, 12, 14, 13, 6, 14, 15, 1};
  for (const auto& run : runs_) {
    for (const SymbolFact& f : run.second.result.symbols) {
      if (!f.definition || f.kind == kInclude || f.at.endColumn <= f.at.column) continue;
      if (upper(f.name).find(wanted) == std::string::npos) continue;
      if (!seen.insert(f.at.file + ":" + std::to_string(f.at.line) + ":" + std::to_string(f.kind))
               .second)
        continue;
      found.push_back(WorkspaceSymbol{f.name, kSymbolKinds[f.kind],
                                      Location{f.at.file, spanOf(f.at)}, fileName(f.at.file)});
      if (found.size() >= kMaxWorkspaceSymbols) return found;
    }
  }
  return found;
}

// Every word of the text is lexed (so that lines the runs skip, such as a false branch,
// are coloured too); a name takes its kind from the fact at its place, else from a
// definition of that name anywhere in the runs, else it is a mnemonic or nothing.
std::vector<uint32_t> Workspace::semanticTokens(const std::string& file) const {
  const std::vector<const RunResult*> runs = runsOf(file);
  // What the facts say each located name of this file is, and the names defined anywhere.
  struct Located {
    int kind;
    bool definition;
    int end;
  };
  std::map<std::pair<int, int>, Located> located;  // (line, column) -> what stands there
  std::map<std::string, int> named;                // upper-cased name -> kind
  std::set<std::string> mnemonics;
  std::vector<std::pair<std::pair<int, int>, std::vector<std::string>>> macroBodies;
  for (const RunResult* run : runs) {
    for (const Opcode& o : run->opcodes) mnemonics.insert(upper(o.mnemonic));
    for (const SymbolFact& f : run->symbols) {
      if (f.at.file == file && f.at.endColumn > f.at.column)
        located[{f.at.line - 1, f.at.column}] = Located{f.kind, f.definition, f.at.endColumn};
      if (f.definition) named.emplace(upper(f.name), f.kind);
    }
  }
  auto typeOf = [](int kind, bool definition, uint32_t& modifiers) -> int {
    modifiers = definition ? kDeclaration : 0;
    switch (kind) {
      case kLabel:
      case kLocalLabel:
        return kFunction;
      case kConstant:
      case kDefine:
      case kString:
        modifiers |= kReadonly;
        return kVariable;
      case kRamName:
        return kVariable;
      case kMacro:
        return kMacroToken;
      case kInclude:
        return kStringToken;
      default:
        return -1;
    }
  };
  std::vector<uint32_t> data;
  int lastLine = 0, lastStart = 0;
  auto push = [&](int row, int start, int length, int type, uint32_t modifiers) {
    if (length <= 0 || type < 0) return;
    data.push_back(static_cast<uint32_t>(row - lastLine));
    data.push_back(static_cast<uint32_t>(row == lastLine ? start - lastStart : start));
    data.push_back(static_cast<uint32_t>(length));
    data.push_back(static_cast<uint32_t>(type));
    data.push_back(modifiers);
    lastLine = row;
    lastStart = start;
  };
  const std::vector<std::string>& all = lines(file);
  std::vector<std::string> parameters;  // of the macro whose body this is
  for (size_t n = 0; n < all.size(); ++n) {
    const int row = static_cast<int>(n);
    const std::vector<Token> tokens = lexLine(all[n]);
    int covered = 0;  // a fact's name may hold several tokens (an include name)
    for (const Token& t : tokens) {
      if (t.kind == TokenKind::kDirective &&
          (t.text == "ENDM" || t.text == "ENDMAC" || t.text == "ENDMACRO"))
        parameters.clear();
    }
    for (const Token& t : tokens) {
      if (t.start < covered) continue;
      uint32_t modifiers = 0;
      int type = -1;
      int end = t.end;
      switch (t.kind) {
        case TokenKind::kComment:
          type = kComment;
          break;
        case TokenKind::kString:
          type = kStringToken;
          break;
        case TokenKind::kNumber:
          type = kNumber;
          break;
        case TokenKind::kDirective:
          type = kDecorator;
          break;
        case TokenKind::kName: {
          auto fact = located.find({row, t.start});
          if (fact != located.end()) {
            type = typeOf(fact->second.kind, fact->second.definition, modifiers);
            end = covered = std::max(t.end, fact->second.end);
            if (fact->second.kind == kMacro && fact->second.definition) {
              // A macro head: its parameters are coloured in its body.
              parameters.clear();
              for (const RunResult* run : runs)
                for (const SymbolFact& f : run->symbols)
                  if (f.kind == kMacro && f.definition && f.at.file == file &&
                      f.at.line == row + 1) {
                    std::string list = f.text + ",";
                    for (size_t p = 0, q; (q = list.find(',', p)) != std::string::npos; p = q + 1) {
                      std::string name = list.substr(p, q - p);
                      name.erase(0, name.find_first_not_of(' '));
                      if (!name.empty()) parameters.push_back(name);
                    }
                  }
            }
          } else if (std::find(parameters.begin(), parameters.end(), t.text) != parameters.end()) {
            type = kParameter;
          } else if (mnemonics.count(upper(t.text))) {
            type = kKeyword;
          } else {
            auto name = named.find(upper(t.text));
            if (name != named.end()) type = typeOf(name->second, false, modifiers);
          }
          break;
        }
      }
      push(row, t.start, end - t.start, type, modifiers);
    }
  }
  return data;
}

}  // namespace zqlsp
