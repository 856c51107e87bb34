// The workspace model's answers about one file as a whole or one name in it: folding
// ranges, document highlights and code lenses.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>

#include "workspace.h"

namespace zqlsp {

namespace {

Range spanOf(const Place& p) {
  const int row = p.line > 0 ? p.line - 1 : 0;
  return Range{{row, p.column}, {row, p.endColumn}};
}

bool located(const Place& p) { return p.endColumn > p.column; }

std::string plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::vector<FoldingRange> Workspace::foldingRanges(const std::string& file) const {
  return zqlsp::foldingRanges(lines(file));
}

// As references() matches: the same definition, or for a macro-local label the label of
// any expansion at the same body line. Runs that read the file find the same places;
// each is highlighted once, as written where any fact defines there.
std::vector<DocumentHighlight> Workspace::documentHighlights(const std::string& file,
                                                             Position at) const {
  std::map<std::tuple<int, int, int>, int> kinds;  // line, column, end -> kind
  for (const auto& hit : symbolsAt(file, at)) {
    const RunResult& run = *hit.first;
    const SymbolFact& f = run.symbols[static_cast<size_t>(hit.second)];
    if (f.resolved < 0 || f.kind == kInclude) continue;
    const SymbolFact& target = run.symbols[static_cast<size_t>(f.resolved)];
    for (const SymbolFact& other : run.symbols) {
      if (other.resolved < 0 || other.at.file != file || !located(other.at)) continue;
      const SymbolFact& d = run.symbols[static_cast<size_t>(other.resolved)];
      const bool same = other.resolved == f.resolved ||
                        (f.kind == kLocalLabel && d.kind == kLocalLabel && d.at == target.at);
      if (!same) continue;
      int& kind = kinds[{other.at.line - 1, other.at.column, other.at.endColumn}];
      kind = std::max(kind, other.definition ? kHighlightWrite : kHighlightRead);
    }
  }
  std::vector<DocumentHighlight> highlights;
  for (const auto& entry : kinds)
    highlights.push_back(DocumentHighlight{
        Range{{std::get<0>(entry.first), std::get<1>(entry.first)},
              {std::get<0>(entry.first), std::get<2>(entry.first)}},
        entry.second});
  return highlights;
}

// A lens stands on the first definition of each label and macro of this file (a
// duplicate is an error of its own). References are the places of the uses, counted once
// over all runs. The words of a macro expansion are counted at each call from a line read
// from a file (the words whose statement stems from that line, nested expansions
// included); calls that made different numbers (a conditional in the body) give the
// range. A macro's head also defines a label of its name, which gets no lens of its own.
std::vector<CodeLens> Workspace::codeLenses(const std::string& file) const {
  struct Lens {
    Range range;
    bool macro = false;
    std::set<std::tuple<std::string, int, int>> uses;
    size_t fewestWords = SIZE_MAX;
    size_t mostWords = 0;
  };
  std::map<std::tuple<int, int, int>, Lens> lenses;  // by definition place and kind
  std::set<int> macroLines;
  for (const RunResult* run : runsOf(file)) {
    std::vector<Lens*> byIndex(run->symbols.size(), nullptr);  // by definition index
    std::map<int, Lens*> macroAtLine;                           // by the line of its head
    for (size_t i = 0; i < run->symbols.size(); ++i) {
      const SymbolFact& d = run->symbols[i];
      if (!d.definition || (d.kind != kLabel && d.kind != kMacro) || d.at.file != file ||
          !located(d.at) || d.resolved != static_cast<int>(i))
        continue;
      Lens& lens = lenses[{d.at.line, d.at.column, d.kind}];
      lens.range = spanOf(d.at);
      lens.macro = d.kind == kMacro;
      byIndex[i] = &lens;
      if (lens.macro) macroLines.insert(d.at.line), macroAtLine[d.at.line] = &lens;
    }
    for (const SymbolFact& u : run->symbols) {
      if (u.definition || u.resolved < 0 || !located(u.at)) continue;
      Lens* lens = byIndex[static_cast<size_t>(u.resolved)];
      if (lens != nullptr) lens->uses.emplace(u.at.file, u.at.line, u.at.column);
    }
    std::map<std::pair<std::string, int>, size_t> wordsOfLine;
    for (const CodeFact& code : run->code) ++wordsOfLine[{code.source.file, code.source.line}];
    for (const CallFact& call : run->calls) {
      if (call.headFile != file || call.source.file != call.at.file ||
          call.source.line != call.at.line)
        continue;
      auto head = macroAtLine.find(call.headLine);
      if (head == macroAtLine.end()) continue;
      Lens& lens = *head->second;
      auto words = wordsOfLine.find({call.source.file, call.source.line});
      const size_t count = words != wordsOfLine.end() ? words->second : 0;
      lens.fewestWords = std::min(lens.fewestWords, count);
      lens.mostWords = std::max(lens.mostWords, count);
    }
  }
  std::vector<CodeLens> result;
  for (const auto& entry : lenses) {
    const Lens& lens = entry.second;
    if (!lens.macro && macroLines.count(std::get<0>(entry.first))) continue;
    std::string title = plural(lens.uses.size(), "reference", "references");
    if (lens.macro && lens.fewestWords != SIZE_MAX) {
      title += ", " + (lens.fewestWords == lens.mostWords
                           ? plural(lens.mostWords, "word", "words")
                           : std::to_string(lens.fewestWords) + " to " +
                                 std::to_string(lens.mostWords) + " words") +
               " per expansion";
    }
    result.push_back(CodeLens{lens.range, title});
  }
  return result;
}

}  // namespace zqlsp
