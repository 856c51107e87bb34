// Quick fixes, from the diagnostic the editor shows, the facts of the runs that read the
// file, its text and the chip folder.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "source_lexer.h"
#include "text.h"
#include "workspace.h"

namespace zqlsp {

namespace {

// The diagnostics that have fixes, by code (error numbers of the catalogue).
constexpr const char* kIllegalOpcode = "E1";
constexpr const char* kUndefinedSymbol = "E12";
constexpr const char* kUnbalancedConditional = "E28";
// The stop of a source that names no chip has no number: it is known by its text.
constexpr const char* kNoChipText = "MUST BE DEFINITION";
// Most chips offered for a missing .CHIP (a folder of hundreds is no menu).
constexpr size_t kMaxChips = 40;
// Chip descriptions in the chip folder.
constexpr const char* kChipExtension = ".COE";

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

bool hasLower(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// The name a message quotes ("undefined symbol 'nowhere'" -> nowhere).
std::string quoted(const std::string& message) {
  const size_t open = message.find('\'');
  if (open == std::string::npos) return "";
  const size_t close = message.find('\'', open + 1);
  return close == std::string::npos ? "" : message.substr(open + 1, close - open - 1);
}

// The range of `name` in `line` (row `row`): the diagnostic's own range when it holds the
// name, else the name's first whole-word place in the line. False when it is not there.
bool nameRange(const std::string& line, int row, const Range& shown, const std::string& name,
               Range& out) {
  if (name.empty()) return false;
  const std::string u = upper(line), wanted = upper(name);
  auto wholeWordAt = [&](size_t at) {
    const size_t end = at + wanted.size();
    return end <= u.size() && u.compare(at, wanted.size(), wanted) == 0 &&
           (at == 0 || !isNameChar(u[at - 1])) && (end >= u.size() || !isNameChar(u[end]));
  };
  if (shown.start.line == row && shown.end.line == row && shown.start.column >= 0 &&
      shown.end.column - shown.start.column == static_cast<int>(wanted.size()) &&
      wholeWordAt(static_cast<size_t>(shown.start.column))) {
    out = shown;
    return true;
  }
  for (size_t at = u.find(wanted); at != std::string::npos; at = u.find(wanted, at + 1)) {
    if (!wholeWordAt(at)) continue;
    out = Range{{row, static_cast<int>(at)}, {row, static_cast<int>(at + wanted.size())}};
    return true;
  }
  return false;
}

// The chip models of the folder (names of its .COE files, in order).
std::vector<std::string> chipsIn(const std::string& directory) {
  std::vector<std::string> chips;
  std::error_code error;
  std::filesystem::directory_iterator entries(directory, error), end;
  for (; !error && entries != end; entries.increment(error)) {
    const std::filesystem::path& path = entries->path();
    if (upper(path.extension().string()) != kChipExtension) continue;
    if (!entries->is_regular_file(error)) continue;
    chips.push_back(path.stem().string());
  }
  std::sort(chips.begin(), chips.end());
  return chips;
}

}  // namespace

size_t nameDistance(const std::string& a, const std::string& b, size_t limit) {
  const size_t longer = std::max(a.size(), b.size()), shorter = std::min(a.size(), b.size());
  if (longer - shorter > limit) return limit + 1;
  const std::string x = upper(a), y = upper(b);
  // One row of the table at a time.
  std::vector<size_t> row(y.size() + 1), next(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    next[0] = i;
    size_t best = next[0];
    for (size_t j = 1; j <= y.size(); ++j) {
      next[j] =
          std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
      best = std::min(best, next[j]);
    }
    if (best > limit) return limit + 1;
    row.swap(next);
  }
  return std::min(row[y.size()], limit + 1);
}

std::vector<std::string> nearestNames(const std::string& wanted,
                                      const std::vector<std::string>& candidates) {
  std::vector<std::pair<size_t, std::string>> near;
  std::vector<std::string> seen;
  for (const std::string& name : candidates) {
    if (name.empty() || name == wanted) continue;
    const size_t longer = std::max(name.size(), wanted.size());
    const size_t limit = std::min<size_t>(3, std::max<size_t>(1, longer / 3));
    const size_t distance = nameDistance(wanted, name, limit);
    if (distance > limit || distance >= name.size() || distance >= wanted.size()) continue;
    const std::string key = upper(name);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    near.emplace_back(distance, name);
  }
  std::sort(near.begin(), near.end());
  std::vector<std::string> names;
  for (size_t i = 0; i < near.size() && i < kMaxSuggestions; ++i) names.push_back(near[i].second);
  return names;
}

// Each diagnostic is looked at for itself: its code (or the stop's text) says which fix,
// its line and quoted name where. A diagnostic of a text the runs no longer match (its
// name is gone from the line) gets none.
std::vector<CodeAction> Workspace::codeActions(const std::string& file,
                                               const std::vector<Diagnostic>& shown) const {
  std::vector<CodeAction> actions;
  const std::vector<std::string>& text = lines(file);
  const std::vector<const RunResult*> runs = runsOf(file);
  for (size_t index = 0; index < shown.size(); ++index) {
    const Diagnostic& d = shown[index];
    const int row = d.range.start.line;
    const bool onLine = row >= 0 && static_cast<size_t>(row) < text.size();
    if (d.code == kUndefinedSymbol || d.code == kIllegalOpcode) {
      const std::string name = quoted(d.message);
      Range range;
      if (!onLine || !nameRange(text[static_cast<size_t>(row)], row, d.range, name, range))
        continue;
      std::vector<std::string> candidates;
      for (const RunResult* run : runs) {
        if (d.code == kIllegalOpcode) {
          // A mnemonic is written in the case the line uses; a macro as it is named.
          for (const Opcode& o : run->opcodes)
            candidates.push_back(hasLower(name) && !hasLower(o.mnemonic) ? lower(o.mnemonic)
                                                                         : o.mnemonic);
        }
        for (const SymbolFact& f : run->symbols) {
          if (!f.definition) continue;
          const bool wanted = d.code == kIllegalOpcode
                                  ? f.kind == kMacro
                                  : f.kind == kLabel || f.kind == kConstant || f.kind == kRamName ||
                                        f.kind == kDefine || f.kind == kString;
          if (wanted) candidates.push_back(f.name);
        }
      }
      const std::vector<std::string> names = nearestNames(name, candidates);
      for (const std::string& replacement : names) {
        CodeAction action;
        action.title = "Change to '" + replacement + "'";
        action.diagnostic = index;
        action.edits.push_back(FileEdit{file, range.start.line, range.start.column, range.end.line,
                                        range.end.column, replacement});
        action.preferred = names.size() == 1;
        actions.push_back(action);
      }
    } else if (d.code == kUnbalancedConditional && onLine) {
      // Only at a conditional that opens: the closing line goes before END, or at the end
      // of the file, with the opening line's indentation and directive prefix.
      const std::string& opening = text[static_cast<size_t>(row)];
      const Token* opener = nullptr;
      const std::vector<Token> tokens = lexLine(opening);
      for (const Token& t : tokens)
        if (t.kind == TokenKind::kDirective && t.text.compare(0, 2, "IF") == 0) opener = &t;
      if (opener == nullptr) continue;
      const char prefix = opening[static_cast<size_t>(opener->start)] == '#' ? '#' : '.';
      const std::string indent = opening.substr(0, opening.find_first_not_of(" \t"));
      std::string closing = indent + prefix + "ENDIF";
      int at = -1;
      for (size_t n = static_cast<size_t>(row) + 1; n < text.size() && at < 0; ++n)
        for (const Token& t : lexLine(text[n]))
          if (t.kind == TokenKind::kDirective && t.text == "END") at = static_cast<int>(n);
      FileEdit edit{file, 0, 0, 0, 0, ""};
      if (at >= 0) {
        edit.startLine = edit.endLine = at;
        edit.text = closing + "\n";
      } else {
        // After the last line; a last line without its line end gets one first.
        const int last = static_cast<int>(text.size()) - 1;
        const int end = static_cast<int>(text.back().size());
        edit.startLine = edit.endLine = last;
        edit.startColumn = edit.endColumn = end;
        edit.text = (end > 0 ? "\n" : "") + closing + "\n";
      }
      CodeAction action;
      action.title = "Insert '" + closing.substr(indent.size()) + "' " +
                     (at >= 0 ? "before END" : "at the end of the file");
      action.diagnostic = index;
      action.edits.push_back(edit);
      action.preferred = true;
      actions.push_back(action);
    } else if (d.code.empty() && d.message.find(kNoChipText) != std::string::npos) {
      const std::string directory = configuration_.chipDirectory.empty()
                                        ? defaultChipDirectory_
                                        : configuration_.chipDirectory;
      const std::vector<std::string> chips = chipsIn(directory);
      for (size_t i = 0; i < chips.size() && i < kMaxChips; ++i) {
        CodeAction action;
        action.title = "Insert '.CHIP " + chips[i] + "'";
        action.diagnostic = index;
        action.edits.push_back(FileEdit{file, 0, 0, 0, 0, ".CHIP " + chips[i] + "\n"});
        actions.push_back(action);
      }
    }
  }
  return actions;
}

}  // namespace zqlsp
