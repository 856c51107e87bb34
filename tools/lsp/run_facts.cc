// One run through the library entry, with a run observer that keeps what it is told.
#include "run_facts.h"

#include <chrono>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "platform/platform.h"
#include "zqasm/assembler.h"
#include "zqasm/observer.h"

namespace zqlsp {

namespace {

std::string text(const char* s) { return s != nullptr ? s : ""; }

Place placeOf(const ZqasmSpan& span) {
  return Place{text(span.file), static_cast<int>(span.line), static_cast<int>(span.column),
               static_cast<int>(span.endColumn)};
}

Place lineOf(const char* file, unsigned line) {
  return Place{text(file), static_cast<int>(line), 0, 0};
}

// Diagnostics kept of one run, with the one that tells of the rest a document's 1,000
// (Workspace); a run past the ROM's end may raise one per line, a runaway macro 100,000.
constexpr size_t kMaxDiagnostics = 999;
// Related entries of one diagnostic, all kinds together. Expansions that do not fit are
// shown from both ends, innermost and outermost, with one entry for those between.
constexpr size_t kMaxRelated = 10;

// The observer's state for one run.
struct Collector {
  RunResult* result;
  std::unordered_set<std::string> seen;  // located symbol facts already kept
  std::set<Place> callPlaces;            // calls kept (the first expansion of each)
  size_t diagnosticsLeftOut = 0;
  std::vector<uint16_t> image;  // the program image's words, when the run made one
  const std::function<bool()>* superseded;
  bool stopped = false;  // the run was told to stop
};

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// The name a message quotes ("undefined symbol 'nowhere'" -> nowhere).
std::string quotedName(const std::string& message) {
  const size_t open = message.find('\'');
  if (open == std::string::npos) return "";
  const size_t close = message.find('\'', open + 1);
  return close == std::string::npos ? "" : message.substr(open + 1, close - open - 1);
}

// Error 36 (include file not found): the places the run looked in, from the name the
// message quotes. A name with a separator is a path from the current directory, any
// other is looked for in each include directory.
void noteMissingInclude(RunResult& r, const std::string& name) {
  if (name.empty()) return;
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
    r.filesMissing.insert(upper(zq::fullPath(name)));
    return;
  }
  for (const std::string& directory : r.settings.includeDirectories)
    r.filesMissing.insert(upper(zq::fullPath(directory + "/" + name)));
}

// A diagnostic as the editor shows it: at the statement (a macro body line within an
// expansion), with the calls around it and a duplicate's first definition as related
// places.
void onDiagnostic(void* context, const ZqasmDiagnostic* d) {
  Collector& c = *static_cast<Collector*>(context);
  RunResult& r = *c.result;
  // Known even of a diagnostic left out: its file's creation makes the run again.
  if (d->number == 36 && d->kind != ZQASM_WARNING && d->message != nullptr)
    noteMissingInclude(r, quotedName(d->message));
  if (r.diagnostics.size() >= kMaxDiagnostics) {
    ++c.diagnosticsLeftOut;
    return;
  }
  RunDiagnostic diagnostic;
  diagnostic.severity = d->kind == ZQASM_WARNING ? Severity::kWarning : Severity::kError;
  if (d->number >= 0)
    diagnostic.code = (d->kind == ZQASM_WARNING ? "W" : "E") + std::to_string(d->number);
  diagnostic.message = d->message != nullptr && *d->message ? d->message : text(d->text);
  if (diagnostic.message.empty()) diagnostic.message = "error";
  diagnostic.culprit = quotedName(diagnostic.message);
  // A statement of an expansion is shown at its body line, with the calls around it.
  diagnostic.at =
      lineOf(d->statementFile != nullptr && *d->statementFile ? d->statementFile : d->file,
             d->statementFile != nullptr && *d->statementFile ? d->statementLine : d->line);
  // A macro that calls itself stands 64 levels deep: one entry, at the first call left
  // out, tells how many levels were. With it and a duplicate's first definition the
  // diagnostic keeps kMaxRelated entries: the 4 innermost calls and the 5 outermost (4
  // beside a first definition).
  const bool definedBefore = d->otherFile != nullptr && *d->otherFile;
  const size_t room = kMaxRelated - (definedBefore ? 1 : 0);
  const size_t count = d->expansionCount;
  const size_t leftOut = count > room ? count - (room - 1) : 0;
  const size_t innermost = (room - 1) / 2;
  for (size_t i = 0; i < count; ++i) {
    const ZqasmExpansion& e = d->expansions[i];
    if (leftOut > 0 && i == innermost) {
      diagnostic.related.emplace_back(lineOf(e.callFile, e.callLine),
                                      std::to_string(leftOut) +
                                          (leftOut == 1 ? " more level" : " more levels") +
                                          " of macro expansion not shown");
      i += leftOut - 1;
      continue;
    }
    diagnostic.related.emplace_back(
        lineOf(e.callFile, e.callLine),
        "in the expansion of macro '" + text(e.macro) + "' called here");
  }
  for (size_t i = 0; i < count; ++i)
    diagnostic.expansions.push_back(
        MacroStep{text(d->expansions[i].macro),
                  lineOf(d->expansions[i].callFile, d->expansions[i].callLine)});
  if (definedBefore)
    diagnostic.related.emplace_back(lineOf(d->otherFile, d->otherLine), "first defined here");
  // A stop that names no line stands at the first line of the main source.
  if (diagnostic.at.file.empty() || diagnostic.at.line < 1)
    diagnostic.at = Place{r.mainFile, 1, 0, 0};
  r.diagnostics.push_back(std::move(diagnostic));
}

void onFileRead(void* context, const char* path, int kind) {
  if (kind == ZQASM_FILE_SOURCE || kind == ZQASM_FILE_INCLUDE)
    static_cast<Collector*>(context)->result->filesRead.insert(text(path));
}

void onSymbol(void* context, const ZqasmSymbol* s) {
  Collector& c = *static_cast<Collector*>(context);
  SymbolFact fact;
  fact.kind = s->kind;
  fact.definition = s->definition != 0;
  fact.name = text(s->name);
  fact.at = placeOf(s->at);
  fact.value = s->value;
  fact.size = s->size;
  fact.text = text(s->text);
  fact.expansion = s->expansion;
  fact.source = lineOf(s->sourceFile, s->sourceLine);
  // A body line is met once per expansion: its names are kept once, but a macro-local
  // label keeps one fact per expansion (each has its own address). A line read from a
  // file is met once; only a name looked up twice in one statement comes again.
  if (fact.at.endColumn > fact.at.column) {
    if (fact.expansion == 0) {
      const std::vector<SymbolFact>& kept = c.result->symbols;
      if (!kept.empty() && kept.back().at == fact.at && kept.back().kind == fact.kind &&
          kept.back().definition == fact.definition)
        return;
    } else {
      const bool perExpansion = fact.kind == kLocalLabel;
      const std::string key = std::to_string(fact.kind) + (fact.definition ? "d" : "u") +
                              std::to_string(fact.at.line) + ":" + std::to_string(fact.at.column) +
                              "#" + std::to_string(perExpansion ? fact.expansion : 0) +
                              fact.at.file;
      if (!c.seen.insert(key).second) return;
    }
  }
  c.result->symbols.push_back(std::move(fact));
}

void onCall(void* context, const ZqasmMacroCall* call) {
  Collector& c = *static_cast<Collector*>(context);
  RunResult& r = *c.result;
  CallFact fact;
  fact.macro = text(call->macro);
  fact.at = placeOf(call->at);
  // A call in a macro body is made by every expansion of that macro: the first is kept.
  if (!c.callPlaces.insert(fact.at).second) return;
  fact.headFile = text(call->headFile);
  fact.headLine = static_cast<int>(call->headLine);
  fact.expansion = call->expansion;
  for (size_t i = 0; i < call->lineCount; ++i) fact.lines.push_back(text(call->lines[i]));
  fact.omitted = call->omitted;
  fact.source = lineOf(call->sourceFile, call->sourceLine);
  r.calls.push_back(std::move(fact));
}

void onCode(void* context, const ZqasmCode* code) {
  RunResult& r = *static_cast<Collector*>(context)->result;
  r.code.push_back(CodeFact{placeOf(code->at), code->address, code->word,
                            lineOf(code->sourceFile, code->sourceLine), code->word});
}

// The image holds the words as the listing shows them: after pass 2, the bank convert
// area points a far CALL or JMP at its trampoline.
void onImage(void* context, const ZqasmImage* image) {
  std::vector<uint16_t>& words = static_cast<Collector*>(context)->image;
  words.resize(image->programWords);
  for (size_t i = 0; i < image->programWords; ++i)
    words[i] =
        static_cast<uint16_t>(image->programBytes[2 * i] | image->programBytes[2 * i + 1] << 8);
}

void onChip(void* context, const char* name, const ZqasmOpcode* opcodes, size_t count) {
  RunResult& r = *static_cast<Collector*>(context)->result;
  r.chipName = text(name);
  r.opcodes.clear();
  for (size_t i = 0; i < count; ++i) {
    const ZqasmOpcode& o = opcodes[i];
    r.opcodes.push_back(Opcode{std::string(o.mnemonic, strnlen(o.mnemonic, sizeof o.mnemonic)),
                               o.form, o.kind, o.opcode, o.mask1, o.mask2});
  }
}

int onShouldStop(void* context) {
  Collector& c = *static_cast<Collector*>(context);
  if (!(*c.superseded)()) return 0;
  c.stopped = true;
  return 1;
}

void onMessage(const char* message, void* context) {
  static_cast<Collector*>(context)->result->messages.push_back(text(message));
}

// Copies `value` into a slot; false when it does not fit.
bool fill(char* slot, size_t size, const std::string& value) {
  if (value.size() + 1 > size) return false;
  std::memcpy(slot, value.c_str(), value.size() + 1);
  return true;
}

}  // namespace

// The block is filled as the command line fills it; the observer, the message sink and the
// reset of the carried-over settings are installed for this run alone.
RunResult assemble(const RunSettings& settings, const std::function<bool()>& superseded) {
  RunResult result;
  result.settings = settings;
  result.mainFile = settings.source;
  AssemblerParams block;
  std::memset(&block, 0, sizeof block);
  bool fits = fill(block.sourcePath, sizeof block.sourcePath, settings.source) &&
              fill(block.maskOptionPath, sizeof block.maskOptionPath, settings.maskOptions) &&
              fill(block.chipDirectory, sizeof block.chipDirectory, settings.chipDirectory) &&
              settings.includeDirectories.size() <= 2 + ZQASM_EXTRA_INCLUDE_DIRS;
  for (size_t i = 0; fits && i < settings.includeDirectories.size(); ++i) {
    char* slot = i == 0 ? block.includeDir1 : i == 1 ? block.includeDir2 : block.includeDirs[i - 2];
    fits = fill(slot, ZQASM_PATH_SLOT, settings.includeDirectories[i]);
  }
  if (!fits) {
    RunDiagnostic d;
    d.message =
        "a path of the settings is too long for the assembler (257 characters), or "
        "there are more than 34 include directories";
    d.at = Place{settings.source, 1, 0, 0};
    result.diagnostics.push_back(d);
    result.filesRead.insert(settings.source);
    return result;
  }
  block.programRomTop = settings.romTop;
  block.tableRomTop = settings.tableTop;
  block.labelCaseSensitive = settings.caseSensitive ? 1 : 0;

  std::vector<const char*> names, values;
  for (const auto& define : settings.defines) {
    names.push_back(define.first.c_str());
    values.push_back(define.second.c_str());
  }
  Collector collector{&result, {}, {}, 0, {}, &superseded};
  ZqasmRunObserver observer{};
  observer.context = &collector;
  observer.diagnostic = onDiagnostic;
  observer.fileRead = onFileRead;
  observer.defineNames = names.data();
  observer.defineValues = values.data();
  observer.defineCount = names.size();
  observer.symbol = onSymbol;
  observer.macroCall = onCall;
  observer.code = onCode;
  observer.chip = onChip;
  observer.image = onImage;
  if (superseded) observer.shouldStop = onShouldStop;

  const auto start = std::chrono::steady_clock::now();
  ZqasmSetMessageSink(onMessage, &collector);
  ZqasmSetRunObserver(&observer);
  // No source may change what the next one gets (bank convert bounds, RAM counter).
  ZqasmResetRunSettings();
  // The reset turns the trap warnings off; the workspace checked the names.
  ZqasmSetWarnings(settings.warnings.c_str());
  result.status = Run44Assembler(&block);
  ZqasmSetRunObserver(nullptr);
  ZqasmSetMessageSink(nullptr, nullptr);
  result.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (collector.stopped) {
    result.abandoned = true;
    return result;
  }

  for (CodeFact& code : result.code)
    if (code.address < collector.image.size()) code.word = collector.image[code.address];
  result.image = std::move(collector.image);
  // The main source's full name as the run wrote it into its diagnostics.
  for (const std::string& file : result.filesRead) {
    if (upper(file) == upper(settings.source)) result.mainFile = file;
  }
  if (collector.diagnosticsLeftOut > 0) {
    RunDiagnostic d;
    d.severity = Severity::kWarning;
    d.message = std::to_string(collector.diagnosticsLeftOut) +
                " more diagnostics of this run are not shown";
    d.at = Place{result.mainFile, 1, 0, 0};
    result.diagnostics.push_back(d);
  }
  // A source or output that cannot be opened, or tables that cannot be allocated; a stop
  // of a run is a diagnostic of its own.
  if (result.status < 1) {
    RunDiagnostic d;
    d.message = result.messages.empty() ? "the source cannot be read" : result.messages.back();
    d.at = Place{result.mainFile, 1, 0, 0};
    result.diagnostics.push_back(d);
  }
  resolveSymbols(result);
  return result;
}

bool missedFile(const RunResult& result, const std::string& file) {
  return !result.filesMissing.empty() && result.filesMissing.count(upper(file)) != 0;
}

bool sameName(const RunResult& result, int kind, const std::string& a, const std::string& b) {
  const bool folded = !result.settings.caseSensitive && (kind == kLabel || kind == kLocalLabel ||
                                                         kind == kConstant || kind == kRamName);
  return folded ? upper(a) == upper(b) : a == b;
}

// Two passes over the facts in run order: the first definition of every name (by kind,
// case folded where the run folds it, a local label's expansion in its key), then each
// fact's definition. DEFINE names follow the run instead, since a DEFINE may be given
// again and holds from its line on.
void resolveSymbols(RunResult& result) {
  auto key = [&result](const SymbolFact& f) {
    std::string k = std::to_string(f.kind) + ":";
    const bool folded =
        !result.settings.caseSensitive &&
        (f.kind == kLabel || f.kind == kLocalLabel || f.kind == kConstant || f.kind == kRamName);
    k += folded ? upper(f.name) : f.name;
    if (f.kind == kLocalLabel) k += "#" + std::to_string(f.expansion);
    return k;
  };
  std::unordered_map<std::string, int> first;
  for (size_t i = 0; i < result.symbols.size(); ++i) {
    const SymbolFact& f = result.symbols[i];
    if (f.definition && f.kind != kDefine) first.emplace(key(f), static_cast<int>(i));
  }
  // A DEFINE name stands for the definition in force where it is met.
  std::unordered_map<std::string, int> inForce;
  for (size_t i = 0; i < result.symbols.size(); ++i) {
    SymbolFact& f = result.symbols[i];
    f.resolved = -1;
    if (f.kind == kInclude) continue;
    if (f.kind == kDefine) {
      if (f.definition) inForce[f.name] = static_cast<int>(i);
      auto found = inForce.find(f.name);
      if (found != inForce.end()) f.resolved = found->second;
      continue;
    }
    auto found = first.find(key(f));
    if (found != first.end()) f.resolved = found->second;
  }
}

}  // namespace zqlsp
