// The installed run observer and the calls that feed it.
#include "driver/run_observer.h"

#include <algorithm>

#include "driver/diagnostics.h"
#include "driver/run.h"
#include "symbols/expression.h"
#include "symbols/label_table.h"
#include "symbols/substitution.h"

namespace zq {

namespace {

// The one process-wide setting of this file, like the message sink: the observer the
// host installed, copied (all zero when none).
ZqasmRunObserver& installedObserver() {
  static ZqasmRunObserver observer{};
  return observer;
}

}  // namespace

bool observingDiagnostics() { return installedObserver().diagnostic != nullptr; }

namespace {

// The texts of the error file end with a line end; the observer gets them without.
std::string bareText(const std::string& text) {
  std::string bare = text;
  while (!bare.empty() && (bare.back() == '\n' || bare.back() == ' ')) bare.pop_back();
  return bare;
}

}  // namespace

void observeDiagnostic(int kind, const std::string& file, unsigned line, int number,
                       const std::string& text, const std::string& message) {
  const ZqasmRunObserver& o = installedObserver();
  if (o.diagnostic == nullptr) return;
  const std::string bare = bareText(text);
  ZqasmDiagnostic diagnostic{};
  diagnostic.kind = kind;
  diagnostic.file = diagnostic.statementFile = file.c_str();
  diagnostic.line = diagnostic.statementLine = line;
  diagnostic.number = number;
  diagnostic.text = bare.c_str();
  diagnostic.message = message.c_str();
  diagnostic.otherFile = "";
  o.diagnostic(o.context, &diagnostic);
}

void observeLineDiagnostic(const AssemblerRun& run, int kind, const char* file, unsigned line,
                           int number, const std::string& text, const CulpritNote* note,
                           bool inStatement) {
  const ZqasmRunObserver& o = installedObserver();
  if (o.diagnostic == nullptr) return;
  const std::string bare = bareText(text);
  ZqasmDiagnostic d{};
  d.kind = kind;
  d.file = d.statementFile = file;
  d.line = d.statementLine = line;
  d.number = number;
  d.text = bare.c_str();
  d.message = d.otherFile = "";
  if (note != nullptr) {
    d.message = note->message.c_str();
    d.otherFile = note->otherFile.c_str();
    d.otherLine = note->otherLine;
  }
  // Each expansion is called from the body line of the one around it, the outermost
  // from the line being read; the statement is the innermost body line.
  std::vector<ZqasmExpansion> expansions;
  const MacroState& m = run.macros;
  if (inStatement) {
    const char* callFile = file;
    unsigned callLine = line;
    for (const ExpansionFrame& frame : m.expansionFrames) {
      if (frame.macro >= m.macroTable.size()) break;
      const MacroRecord& macro = m.macroTable[frame.macro];
      expansions.push_back(ZqasmExpansion{macro.name.c_str(), macro.headFile.c_str(),
                                          macro.headLine, callFile, callLine});
      callFile = macro.headFile.c_str();
      callLine = frame.bodyLine;
    }
    d.statementFile = callFile;
    d.statementLine = callLine;
  }
  std::reverse(expansions.begin(), expansions.end());
  d.expansions = expansions.empty() ? nullptr : expansions.data();
  d.expansionCount = expansions.size();
  o.diagnostic(o.context, &d);
}

void observeFileRead(const std::string& path, int kind) {
  const ZqasmRunObserver& o = installedObserver();
  if (o.fileRead != nullptr) o.fileRead(o.context, path.c_str(), kind);
}

bool observingImages() { return installedObserver().image != nullptr; }

void observeImage(const std::vector<uint8_t>& programBytes,
                  const std::vector<uint8_t>& programWritten, size_t programWords,
                  const std::vector<uint8_t>& tableBytes, const std::vector<uint8_t>& tableWritten,
                  size_t ramNames, size_t ramNibbles) {
  const ZqasmRunObserver& o = installedObserver();
  if (o.image == nullptr) return;
  const ZqasmImage image{
      programBytes.data(), programWritten.data(), programWords, tableBytes.data(),
      tableWritten.data(), tableWritten.size(),   ramNames,     ramNibbles};
  o.image(o.context, &image);
}

void enterObserverDefines(AssemblerRun& run, int pass) {
  const ZqasmRunObserver& o = installedObserver();
  for (size_t i = 0; i < o.defineCount; ++i) {
    const char* value = o.defineValues ? o.defineValues[i] : nullptr;
    std::string line = std::string("#DEFINE ") + o.defineNames[i];
    if (value != nullptr && *value != '\0') line += std::string(" ") + value;
    defineSymbol(run, line + "\n", pass, 0);
  }
  dropLineDiagnostics(run);
}

}  // namespace zq

extern "C" void ZqasmSetRunObserver(const ZqasmRunObserver* observer) {
  zq::installedObserver() = observer ? *observer : ZqasmRunObserver{};
}

extern "C" int ZqasmCheckDefine(const char* name, const char* value) {
  if (name == nullptr || zq::isValidDefineName(name) != 1 || std::string(name).size() > zq::kMaxSymbolName)
    return 0;
  if (value == nullptr || *value == '\0') return 1;
  // The command line takes numbers only: at the start of the source no constant exists
  // in the first pass, so an expression could not mean the same in every pass.
  const std::string text = value;
  const int kind = zq::classifyOperand(text);
  if (kind != -1 && kind != -100) return -1;
  return zq::parseNumber(text, static_cast<int>(text.size()) - 1) < 0 ? -1 : 1;
}
