// The workspace model: buffers, runs and diagnostics. The queries are in features.cc.
#include "workspace.h"

#include <algorithm>
#include <tuple>

#include "platform/platform.h"
#include "text.h"
#include "zqasm/assembler.h"

namespace zqlsp {

namespace {

// Rounds of update() before it gives up on the set of runs settling (it settles after
// two in every case but a configuration that keeps changing what is included).
constexpr int kUpdateRounds = 4;

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::map<std::string, std::vector<std::string>> macroParameters(const RunResult& run);

}  // namespace

bool Location::operator<(const Location& o) const {
  return std::tie(file, range.start.line, range.start.column) <
         std::tie(o.file, o.range.start.line, o.range.start.column);
}

bool Location::operator==(const Location& o) const {
  return file == o.file && range.start.line == o.range.start.line &&
         range.start.column == o.range.start.column && range.end.line == o.range.end.line &&
         range.end.column == o.range.end.column;
}

bool Diagnostic::operator==(const Diagnostic& o) const {
  if (!(Location{"", range} == Location{"", o.range}) || severity != o.severity || code != o.code ||
      message != o.message || related.size() != o.related.size())
    return false;
  for (size_t i = 0; i < related.size(); ++i)
    if (!(related[i].first == o.related[i].first) || related[i].second != o.related[i].second)
      return false;
  return true;
}

// The library's source texts and its output files are process-wide settings: the
// workspace holds them for its lifetime.
Workspace::Workspace(std::string chipDirectory, std::string warnings)
    : defaultChipDirectory_(std::move(chipDirectory)), defaultWarnings_(std::move(warnings)) {
  // The runs of a language server leave no file behind.
  ZqasmSetOutputFiles(0);
}

Workspace::~Workspace() {
  ZqasmClearSourceTexts();
  ZqasmSetOutputFiles(1);
}

void Workspace::configure(const Configuration& configuration) {
  configuration_ = configuration;
  reconfigured_ = true;
}

// The library keeps its own copy of the text, which every later run reads.
void Workspace::open(const std::string& file, const std::string& text) {
  buffers_[file] = text;
  ZqasmSetSourceText(file.c_str(), text.data(), text.size());
  diskLines_.erase(file);
  markDirty(file);
}

void Workspace::change(const std::string& file, const std::string& text) { open(file, text); }

void Workspace::close(const std::string& file) {
  buffers_.erase(file);
  ZqasmSetSourceText(file.c_str(), nullptr, 0);
  diskLines_.erase(file);
  markDirty(file);
}

void Workspace::fileChanged(const std::string& file) {
  diskLines_.erase(file);
  if (!isOpen(file)) markDirty(file);
}

void Workspace::markDirty(const std::string& file) { dirtyFiles_.insert(file); }

bool Workspace::pending() const { return reconfigured_ || abandoned_ || !dirtyFiles_.empty(); }

RunSettings Workspace::settingsFor(const std::string& source) const {
  RunSettings s;
  s.source = source;
  s.chipDirectory =
      configuration_.chipDirectory.empty() ? defaultChipDirectory_ : configuration_.chipDirectory;
  s.includeDirectories = configuration_.includeDirectories;
  s.maskOptions = configuration_.maskOptions;
  s.romTop = configuration_.romTop;
  s.tableTop = configuration_.tableTop;
  s.caseSensitive = configuration_.caseSensitive;
  s.defines = configuration_.defines;
  s.warnings = configuration_.warnings.value_or(defaultWarnings_);
  return s;
}

// The runs are kept by main source. Each round settles which files are main sources, makes
// the runs that a change touched (a run is touched by any file it read), and goes round
// again when a run was made: a new run may read an open file as an include, which then
// stops being a main source of its own (or stop reading one, which then becomes one).
// Then the diagnostics of all runs are gathered by file, each once, and compared with
// what was published before.
std::vector<std::string> Workspace::update(const std::function<bool()>& superseded) {
  // Files on disk are read again: another program may have changed them unannounced.
  for (auto it = diskLines_.begin(); it != diskLines_.end();)
    it = isOpen(it->first) ? std::next(it) : diskLines_.erase(it);
  abandoned_ = false;
  for (int round = 0; round < kUpdateRounds; ++round) {
    // The configured main sources, and each open file that no other run reads (unless
    // the two read each other, as files that include each other do).
    std::set<std::string> mains(configuration_.sources.begin(), configuration_.sources.end());
    for (const auto& buffer : buffers_) {
      const std::string& file = buffer.first;
      if (mains.count(file)) continue;
      auto own = runs_.find(file);
      bool included = false;
      for (const auto& run : runs_) {
        if (run.first == file || !run.second.result.filesRead.count(file)) continue;
        const bool mutual = own != runs_.end() && own->second.result.filesRead.count(run.first);
        if (!mutual) included = true;
      }
      if (!included) mains.insert(file);
    }
    for (auto it = runs_.begin(); it != runs_.end();) {
      it = mains.count(it->first) ? std::next(it) : runs_.erase(it);
    }
    for (const std::string& main : mains) {
      Run& run = runs_[main];
      if (reconfigured_ || dirtyFiles_.count(main)) run.dirty = true;
      // A file a run looked for and did not find may be there now.
      for (const std::string& file : dirtyFiles_)
        if (run.result.filesRead.count(file) || missedFile(run.result, file)) run.dirty = true;
    }
    dirtyFiles_.clear();
    reconfigured_ = false;
    bool ran = false;
    for (auto& run : runs_) {
      if (!run.second.dirty) continue;
      RunResult result = assemble(settingsFor(run.first), superseded);
      // The run stays due, with what its last complete run found.
      abandoned_ = result.abandoned;
      if (abandoned_) return {};
      run.second.result = std::move(result);
      run.second.dirty = false;
      ran = true;
    }
    if (!ran) break;
  }

  // Each file's diagnostics, each once, with the runs that made it (by main source).
  std::map<std::string, std::vector<std::pair<Diagnostic, std::vector<const RunResult*>>>> found;
  auto add = [&found](const std::string& file, Diagnostic d, const RunResult* run) {
    auto& list = found[file];
    auto same = std::find_if(list.begin(), list.end(),
                             [&d](const auto& entry) { return entry.first == d; });
    if (same == list.end()) {
      list.emplace_back(std::move(d), std::vector<const RunResult*>{run});
    } else if (same->second.back() != run) {
      same->second.push_back(run);
    }
  };
  for (const auto& run : runs_) {
    const std::map<std::string, std::vector<std::string>> parameters =
        macroParameters(run.second.result);
    for (const RunDiagnostic& d : run.second.result.diagnostics) {
      add(d.at.file, convert(d), &run.second.result);
      if (auto copy = atArgument(d, parameters))
        add(copy->first, std::move(copy->second), &run.second.result);
    }
  }
  // A file that several runs read: each diagnostic names the runs that made it.
  std::map<std::string, std::vector<Diagnostic>> now;
  for (auto& entry : found) {
    const bool shared = runsOf(entry.first).size() > 1;
    std::vector<Diagnostic>& list = now[entry.first];
    for (auto& made : entry.second) {
      if (shared)
        for (const RunResult* run : made.second)
          made.first.related.push_back(runNote(*run, entry.first));
      list.push_back(std::move(made.first));
    }
  }
  for (auto& entry : now) {
    std::vector<Diagnostic>& list = entry.second;
    std::stable_sort(list.begin(), list.end(), [](const Diagnostic& a, const Diagnostic& b) {
      return std::tie(a.range.start.line, a.range.start.column) <
             std::tie(b.range.start.line, b.range.start.column);
    });
    // Each run keeps 1,000 with the one that tells of the rest; a file that several
    // runs read may gather more.
    if (list.size() > kMaxPublishedDiagnostics) {
      const size_t leftOut = list.size() - (kMaxPublishedDiagnostics - 1);
      list.resize(kMaxPublishedDiagnostics - 1);
      Diagnostic more;
      more.severity = Severity::kWarning;
      more.message = std::to_string(leftOut) + " more diagnostics of this file are not shown";
      list.push_back(std::move(more));
    }
  }
  std::vector<std::string> changed;
  for (const auto& entry : published_)
    if (!now.count(entry.first)) changed.push_back(entry.first);
  for (const auto& entry : now) {
    auto before = published_.find(entry.first);
    if (before == published_.end() || !(before->second == entry.second))
      changed.push_back(entry.first);
  }
  published_ = std::move(now);
  return changed;
}

std::vector<Diagnostic> Workspace::diagnostics(const std::string& file) const {
  auto found = published_.find(file);
  return found == published_.end() ? std::vector<Diagnostic>() : found->second;
}

const std::vector<std::string>& Workspace::lines(const std::string& file) const {
  auto cached = diskLines_.find(file);
  if (cached != diskLines_.end()) return cached->second;
  std::string text;
  auto buffer = buffers_.find(file);
  if (buffer != buffers_.end()) {
    text = buffer->second;
  } else {
    // Only a regular file the size of what a run reads: a name given by a diagnostic may
    // stand for a pipe or device by now.
    constexpr size_t kMaxShownBytes = 16u << 20;
    zq::readInputFile(file, kMaxShownBytes, text);
  }
  return diskLines_[file] = splitLines(text);
}

std::string Workspace::line(const std::string& file, int number) const {
  const std::vector<std::string>& all = lines(file);
  return number >= 1 && static_cast<size_t>(number) <= all.size() ? all[number - 1] : "";
}

// A diagnostic names a line; the range is the culprit's name in it where the message
// quotes one, else the line without its leading and trailing blanks.
Range Workspace::rangeOf(const Place& place, const std::string& culprit) const {
  const int row = place.line > 0 ? place.line - 1 : 0;
  if (place.endColumn > place.column) return Range{{row, place.column}, {row, place.endColumn}};
  const std::string text = line(place.file, place.line);
  // The name the message quotes, as a whole word, else the line without its blanks.
  if (!culprit.empty()) {
    const std::string u = upper(text), name = upper(culprit);
    for (size_t at = u.find(name); at != std::string::npos; at = u.find(name, at + 1)) {
      const size_t end = at + name.size();
      if ((at == 0 || !isNameChar(u[at - 1])) && (end >= u.size() || !isNameChar(u[end])))
        return Range{{row, static_cast<int>(at)}, {row, static_cast<int>(end)}};
    }
  }
  size_t first = 0, last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return Range{{row, static_cast<int>(first)}, {row, static_cast<int>(last)}};
}

Diagnostic Workspace::convert(const RunDiagnostic& d) const {
  Diagnostic out;
  out.range = rangeOf(d.at, d.culprit);
  out.severity = d.severity;
  out.code = d.code;
  out.message = d.message;
  for (const auto& related : d.related)
    out.related.emplace_back(Location{related.first.file, rangeOf(related.first, "")},
                             related.second);
  return out;
}

namespace {

// Error numbers of a call whose argument count does not fit its macro.
bool argumentCountError(const std::string& code) { return code == "E30" || code == "E43"; }

// True when the statement part of a macro body line names one of `parameters` where an
// expansion with arguments replaces it: anywhere, followed by the end, a blank, ",", "="
// or an operator character, before any ";" and not in a line that tests for blanks.
bool namesParameter(const std::string& line, const std::vector<std::string>& parameters) {
  const std::string statement = line.substr(0, line.find(';'));
  const std::string u = upper(statement);
  if (u.find("IFBLANK") != std::string::npos || u.find("IFNBLANK") != std::string::npos)
    return false;
  auto ends = [](char c) {
    return c == ' ' || c == ',' || c == '=' ||
           std::string("+-*/%&|^~!<>()").find(c) != std::string::npos;
  };
  for (const std::string& name : parameters) {
    if (name.empty()) continue;
    for (size_t at = statement.find(name); at != std::string::npos;
         at = statement.find(name, at + 1)) {
      const size_t after = at + name.size();
      size_t end = statement.size();
      while (end > 0 && blank(statement[end - 1])) --end;
      if (after >= end || ends(statement[after])) return true;
    }
  }
  return false;
}

// The parameter names of each macro (its first definition) as the fact lists them ("A, B").
std::map<std::string, std::vector<std::string>> macroParameters(const RunResult& run) {
  std::map<std::string, std::vector<std::string>> all;
  for (const SymbolFact& f : run.symbols) {
    if (f.kind != kMacro || !f.definition || all.count(f.name)) continue;
    std::vector<std::string>& names = all[f.name];
    size_t start = 0;
    while (start < f.text.size()) {
      size_t comma = f.text.find(',', start);
      if (comma == std::string::npos) comma = f.text.size();
      std::string name = f.text.substr(start, comma - start);
      while (!name.empty() && blank(name.front())) name.erase(0, 1);
      while (!name.empty() && blank(name.back())) name.pop_back();
      names.push_back(name);
      start = comma + 1;
    }
  }
  return all;
}

std::string baseName(const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace

// An error at a macro body line is caused by the call's argument when the body line
// names a parameter of its macro (or when the call gave the wrong number of arguments);
// so is a warning, but for a parameter inside a word (6), which is the body's own.
// The argument may itself be a parameter of the macro around that call: the copy goes
// out as far as each call line names a parameter of its own macro, to the line that
// wrote the argument. None when that line is the statement's own.
std::optional<std::pair<std::string, Diagnostic>> Workspace::atArgument(
    const RunDiagnostic& d,
    const std::map<std::string, std::vector<std::string>>& parameters) const {
  if (d.expansions.empty() || d.code == "W6") return std::nullopt;
  Place statement = d.at;
  int reached = -1;
  for (size_t i = 0; i < d.expansions.size(); ++i) {
    const auto names = parameters.find(d.expansions[i].macro);
    const bool caused = (i == 0 && argumentCountError(d.code)) ||
                        (names != parameters.end() &&
                         namesParameter(line(statement.file, statement.line), names->second));
    if (!caused) break;
    reached = static_cast<int>(i);
    statement = d.expansions[i].call;
  }
  if (reached < 0 || (statement.file == d.at.file && statement.line == d.at.line))
    return std::nullopt;
  Diagnostic copy;
  copy.range = rangeOf(statement, d.culprit);
  copy.severity = d.severity;
  copy.code = d.code;
  copy.message = d.message;
  copy.related.emplace_back(Location{d.at.file, rangeOf(d.at, "")},
                            "the argument is used here, in the body of macro '" +
                                d.expansions[0].macro + "'");
  // The calls further out, as the body line's diagnostic lists them.
  for (size_t i = static_cast<size_t>(reached) + 1; i < d.expansions.size(); ++i)
    copy.related.emplace_back(Location{d.expansions[i].call.file, rangeOf(d.expansions[i].call, "")},
                              "in the expansion of macro '" + d.expansions[i].macro +
                                  "' called here");
  return std::make_pair(statement.file, std::move(copy));
}

// Where `run` reads `file`: the first include line that names it, else the main source.
std::pair<Location, std::string> Workspace::runNote(const RunResult& run,
                                                    const std::string& file) const {
  const std::string message = "reported by the run of " + baseName(run.mainFile);
  for (const SymbolFact& f : run.symbols)
    if (f.kind == kInclude && f.text == file && f.at.endColumn > f.at.column)
      return {Location{f.at.file, rangeOf(f.at, "")}, message + ", which includes the file here"};
  return {Location{run.mainFile, Range{}}, message};
}

std::vector<const RunResult*> Workspace::runs() const {
  std::vector<const RunResult*> all;
  for (const auto& run : runs_) all.push_back(&run.second.result);
  return all;
}

std::vector<const RunResult*> Workspace::runsOf(const std::string& file) const {
  std::vector<const RunResult*> found;
  for (const auto& run : runs_)
    if (run.first == file || run.second.result.filesRead.count(file))
      found.push_back(&run.second.result);
  return found;
}

}  // namespace zqlsp
