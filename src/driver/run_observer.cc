// The installed run observer and the calls that feed it.
#include "services/run_observer.h"

#include <algorithm>
#include <cstring>

#include "chip/bank_convert.h"
#include "chip/encoder.h"
#include "chip/object_file.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "source/numbers.h"
#include "symbols/label_table.h"
#include "symbols/local_labels.h"
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
  diagnostic.otherFile = diagnostic.otherMacro = "";
  o.diagnostic(o.context, &diagnostic);
}

namespace {

bool isNameChar(char c);
size_t findName(const std::string& text, const std::string& name, const ColumnClaims& claims);

// The columns of `culprit` in the text of the statement being processed: the innermost
// body line of the expansions in progress, else the line read from the file. A name is
// found as a whole word, any other text as it stands; nothing is set when the text does
// not hold it (a name that came in through a macro argument).
void culpritColumns(const AssemblerRun& run, const std::string& culprit, unsigned& column,
                    unsigned& endColumn) {
  const MacroState& m = run.macros;
  const std::string* text = &run.facts.lineText;
  size_t open = 0;
  while (open < m.expansionFrames.size() && m.expansionFrames[open].macro < m.macroTable.size())
    ++open;
  if (open > 0) {
    const ExpansionFrame& frame = m.expansionFrames[open - 1];
    text = nullptr;
    for (const MacroLine& line : m.macroTable[frame.macro].body)
      if (line.lineNumber == frame.bodyLine) text = &line.text;
    if (text == nullptr) return;
  }
  bool name = true;
  for (char c : culprit)
    name = name && isNameChar(c);
  size_t at = name ? findName(*text, culprit, ColumnClaims()) : text->find(culprit);
  // A statement's text before its comment only.
  if (at == std::string::npos || at >= text->find(';')) return;
  column = static_cast<unsigned>(at);
  endColumn = static_cast<unsigned>(at + culprit.size());
}

}  // namespace

void observeLineDiagnostic(AssemblerRun& run, int kind, const char* file, unsigned line,
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
  d.message = d.otherFile = d.otherMacro = "";
  if (note != nullptr) {
    d.message = note->message.c_str();
    d.otherFile = note->otherFile.c_str();
    d.otherLine = note->otherLine;
    d.otherMacro = note->otherMacro.c_str();
  }
  // Each expansion is called from the body line of the one around it, the outermost
  // from the line being read; the statement is the innermost body line. The frames are
  // outermost first: the array is filled from its end.
  std::vector<ZqasmExpansion>& expansions = run.facts.diagnosticExpansions;
  const MacroState& m = run.macros;
  size_t count = 0;
  if (inStatement) {
    while (count < m.expansionFrames.size() &&
           m.expansionFrames[count].macro < m.macroTable.size())
      ++count;
    expansions.resize(count);
    const char* callFile = file;
    unsigned callLine = line;
    for (size_t i = 0; i < count; ++i) {
      const ExpansionFrame& frame = m.expansionFrames[i];
      const MacroRecord& macro = m.macroTable[frame.macro];
      expansions[count - 1 - i] = ZqasmExpansion{macro.name.c_str(), macro.headFile.c_str(),
                                                 macro.headLine, callFile, callLine};
      callFile = macro.headFile.c_str();
      callLine = frame.bodyLine;
    }
    d.statementFile = callFile;
    d.statementLine = callLine;
  }
  d.expansions = count == 0 ? nullptr : expansions.data();
  d.expansionCount = count;
  if (inStatement && note != nullptr && !note->culprit.empty())
    culpritColumns(run, note->culprit, d.column, d.endColumn);
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
  // The host's defines stand in no line: they are no facts.
  run.facts.enteringDefines = true;
  for (size_t i = 0; i < o.defineCount; ++i) {
    const char* value = o.defineValues ? o.defineValues[i] : nullptr;
    std::string line = std::string("#DEFINE ") + o.defineNames[i];
    if (value != nullptr && *value != '\0') line += std::string(" ") + value;
    defineSymbol(run, line + "\n", pass, 0);
  }
  run.facts.enteringDefines = false;
  dropLineDiagnostics(run);
}

bool observerStopsRun(AssemblerRun& run) {
  SourceState& s = run.source;
  if (s.stopRequested) return true;
  const ZqasmRunObserver& o = installedObserver();
  if (o.shouldStop == nullptr || o.shouldStop(o.context) == 0) return false;
  s.stopRequested = true;
  s.fatalError = 1;
  return true;
}

}  // namespace zq

extern "C" void ZqasmSetRunObserver(const ZqasmRunObserver* observer) {
  zq::installedObserver() = observer ? *observer : ZqasmRunObserver{};
}

extern "C" size_t ZqasmOperandForm(const ZqasmOpcode* record, char* text, size_t size) {
  if (record == nullptr) return 0;
  const std::string mnemonic(record->mnemonic, strnlen(record->mnemonic, sizeof record->mnemonic));
  const std::string form = zq::operandForm(mnemonic, record->form, record->kind);
  if (text != nullptr && size > 0) {
    const size_t kept = std::min(form.size(), size - 1);
    std::memcpy(text, form.data(), kept);
    text[kept] = '\0';
  }
  return form.size();
}

extern "C" int ZqasmCheckDefine(const char* name, const char* value) {
  if (name == nullptr || zq::isValidDefineName(name) != 1 ||
      std::string(name).size() > zq::kMaxSymbolName)
    return 0;
  if (value == nullptr || *value == '\0') return 1;
  // The command line takes numbers only: at the start of the source no constant exists
  // in the first pass, so an expression could not mean the same in every pass.
  const std::string text = value;
  const int kind = zq::classifyOperand(text);
  if (kind != -1 && kind != -100) return -1;
  return zq::parseNumber(text, static_cast<int>(text.size()) - 1) < 0 ? -1 : 1;
}

// ---- Facts of pass 2 ------------------------------------------------------------------

namespace zq {

namespace {

bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '_' || c == '?' || c == '\\'; }

bool claimed(const ColumnClaims& claims, size_t column) {
  for (const auto& claim : claims)
    if (claim.first == column) return true;
  return false;
}

// Column of `name` as a whole word in the statement part of `text` (outside quotes and
// the comment), compared without regard to case: the first occurrence no fact has taken,
// else the first. npos when the text does not hold it.
size_t findName(const std::string& text, const std::string& name, const ColumnClaims& claims) {
  if (name.empty()) return std::string::npos;
  size_t first = std::string::npos;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    if (c == ';' || c == '\n') break;
    if (i > 0 && isNameChar(text[i - 1])) continue;
    if (!matchesNoCase(text, i, name.c_str())) continue;
    const size_t end = i + name.size();
    if (end < text.size() && isNameChar(text[end])) continue;
    if (!claimed(claims, i)) return i;
    if (first == std::string::npos) first = i;
  }
  return first;
}

const std::string& currentFile(const AssemblerRun& run) {
  const SourceState& s = run.source;
  const int level = s.includeLevel >= 0 && s.includeLevel <= kMaxIncludeLevel ? s.includeLevel : 0;
  return s.includeFileNames[static_cast<size_t>(level)];
}

// Expansions in progress that the facts follow (both lists agree on the outer ones).
size_t openExpansions(const AssemblerRun& run) {
  return std::min(run.facts.expansions.size(), run.macros.expansionFrames.size());
}

// One text a statement's names may stand in: the body line of an expansion, or the line
// read from the file.
struct TextPlace {
  const std::string* text = nullptr;
  ColumnClaims* claims = nullptr;
  const std::string* file = nullptr;
  unsigned line = 0;
};

// The place of the body line of expansion `frame` (outermost 0); false when it has none.
bool expansionText(AssemblerRun& run, size_t frame, TextPlace& place) {
  const MacroState& m = run.macros;
  if (frame >= openExpansions(run) || m.expansionFrames[frame].macro >= m.macroTable.size())
    return false;
  const MacroRecord& macro = m.macroTable[m.expansionFrames[frame].macro];
  FactExpansion& e = run.facts.expansions[frame];
  if (e.bodyIndex >= macro.body.size()) return false;
  place = TextPlace{&macro.body[e.bodyIndex].text, &e.claims, &macro.headFile,
                    m.expansionFrames[frame].bodyLine};
  return true;
}

TextPlace fileLineText(AssemblerRun& run) {
  FactState& f = run.facts;
  return TextPlace{&f.lineText, &f.lineClaims, &currentFile(run), run.source.lineNumber};
}

// The statement's own text: the body line of the innermost of the first `open`
// expansions, or the file line.
TextPlace statementText(AssemblerRun& run, size_t open) {
  TextPlace place;
  if (open > 0 && expansionText(run, open - 1, place)) return place;
  return fileLineText(run);
}

// Finds `name` in the texts of a statement of the first `open` expansions, innermost
// first: a name that no body line holds came in through an argument, written by the
// calling statement. Claims the columns found. Without a text that holds it, the span
// is the statement's line with columns 0.
ZqasmSpan locateName(AssemblerRun& run, const std::string& name, size_t open) {
  for (size_t frame = open + 1; frame-- > 0;) {
    TextPlace place;
    if (frame == 0) {
      place = fileLineText(run);
    } else if (!expansionText(run, frame - 1, place)) {
      continue;
    }
    const size_t column = findName(*place.text, name, *place.claims);
    if (column == std::string::npos) continue;
    place.claims->emplace_back(column, column + name.size());
    return ZqasmSpan{place.file->c_str(), place.line, static_cast<unsigned>(column),
                     static_cast<unsigned>(column + name.size())};
  }
  const TextPlace statement = statementText(run, open);
  return ZqasmSpan{statement.file->c_str(), statement.line, 0, 0};
}

uint32_t expansionNumber(const AssemblerRun& run, size_t open) {
  return open > 0 ? run.facts.expansions[open - 1].number : 0;
}

void tellSymbolAt(AssemblerRun& run, int kind, bool definition, const std::string& name,
                  const ZqasmSpan& at, int64_t value, int64_t size, const std::string& text) {
  const ZqasmRunObserver& o = installedObserver();
  if (o.symbol == nullptr) return;
  const size_t open = openExpansions(run);
  ZqasmSymbol symbol{};
  symbol.kind = kind;
  symbol.definition = definition ? 1 : 0;
  symbol.name = name.c_str();
  symbol.at = at;
  symbol.value = value;
  symbol.size = size;
  symbol.text = text.c_str();
  symbol.expansion = expansionNumber(run, open);
  symbol.sourceFile = currentFile(run).c_str();
  symbol.sourceLine = run.source.lineNumber;
  o.symbol(o.context, &symbol);
}

void tellSymbol(AssemblerRun& run, int kind, bool definition, const std::string& name,
                int64_t value, int64_t size, const std::string& text) {
  if (installedObserver().symbol == nullptr) return;
  const ZqasmSpan at = locateName(run, name, openExpansions(run));
  tellSymbolAt(run, kind, definition, name, at, value, size, text);
}

}  // namespace

bool observingFacts(const AssemblerRun& run) {
  const ZqasmRunObserver& o = installedObserver();
  return run.source.pass == 2 && !run.facts.enteringDefines &&
         (o.symbol != nullptr || o.macroCall != nullptr || o.code != nullptr ||
          o.placement != nullptr || o.statement != nullptr);
}

bool observingStatements(const AssemblerRun& run) {
  return installedObserver().statement != nullptr && observingFacts(run);
}

StatementStart startStatement(AssemblerRun& run, bool inExpansion) {
  const SourceState& s = run.source;
  run.directives.lastDirectiveCode = -1;
  return StatementStart{(inExpansion ? s.macroAssemblingOn : s.assemblingOn) != 0,
                        s.macroDefinitionOpen != 0};
}

void observeStatementKind(AssemblerRun& run, int kind, const std::string& file, unsigned line,
                          const std::string& text) {
  if (!observingStatements(run)) return;
  std::string bare = text;
  while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) bare.pop_back();
  ZqasmStatement statement{};
  statement.kind = kind;
  statement.file = file.c_str();
  statement.line = line;
  statement.text = bare.c_str();
  statement.expansion = expansionNumber(run, openExpansions(run));
  const ZqasmRunObserver& o = installedObserver();
  o.statement(o.context, &statement);
}

void observeStatement(AssemblerRun& run, const StatementStart& start, const std::string& file,
                      unsigned line, const std::string& text, bool call) {
  if (!observingStatements(run)) return;
  const int code = run.directives.lastDirectiveCode;
  int kind = ZQASM_STATEMENT_ASSEMBLED;
  // A call is tested first: its body's last line (ENDM) left its code behind.
  if (call) {
    kind = ZQASM_STATEMENT_CALL;
  } else if (start.defining || run.source.macroDefinitionOpen || code == kDirMacro ||
      code == kDirEndMacro || code == kDirLocalLabel || code == kDirExitMacro) {
    kind = ZQASM_STATEMENT_MACRO;
  } else if (code == kDirIf || code == kDirIfDef || code == kDirIfNDef || code == kDirIfSame ||
             code == kDirIfDiff || code == kDirIfBlank || code == kDirIfNBlank ||
             code == kDirElse || code == kDirElseIf || code == kDirEndIf) {
    kind = ZQASM_STATEMENT_CONDITION;
  } else if (!start.assembling) {
    kind = ZQASM_STATEMENT_SKIPPED;
  }
  observeStatementKind(run, kind, file, line, text);
}

void observeSourceLine(AssemblerRun& run, const std::string& line) {
  // The diagnostics point into the line too.
  if (!observingFacts(run) && !(run.source.pass == 2 && observingDiagnostics())) return;
  run.facts.lineText = line;
  run.facts.lineClaims.clear();
}

void observeDefinition(AssemblerRun& run, int kind, std::string_view name, int64_t value,
                       int64_t size, std::string_view text) {
  if (observingFacts(run))
    tellSymbol(run, kind, true, std::string(name), value, size, std::string(text));
}

int observedFoundUse(AssemblerRun& run, int kind, std::string_view view, int value) {
  if (!observingFacts(run)) return value;
  const std::string name(view);
  // A label of the macro's LOCALLABEL list is that expansion's own.
  if (kind == ZQASM_SYMBOL_LABEL && run.source.macroContext >= 0 && isMacroLocalName(run, name))
    kind = ZQASM_SYMBOL_LOCAL_LABEL;
  // A DEFSTRING lookup answers with the string's position, which is no value.
  tellSymbol(run, kind, false, name, kind == ZQASM_SYMBOL_STRING ? -1 : value, 0, std::string());
  return value;
}

void observeInclude(AssemblerRun& run, size_t nameStart, size_t nameEnd,
                    const std::string& fullName) {
  const ZqasmRunObserver& o = installedObserver();
  if (!observingFacts(run) || o.symbol == nullptr) return;
  const std::string& line = run.facts.lineText;
  if (nameStart >= nameEnd || nameEnd > line.size()) return;
  const std::string name = line.substr(nameStart, nameEnd - nameStart);
  ZqasmSymbol symbol{};
  symbol.kind = ZQASM_SYMBOL_INCLUDE;
  symbol.name = name.c_str();
  symbol.at = ZqasmSpan{currentFile(run).c_str(), run.source.lineNumber,
                        static_cast<unsigned>(nameStart), static_cast<unsigned>(nameEnd)};
  symbol.value = -1;
  symbol.text = fullName.c_str();
  symbol.sourceFile = symbol.at.file;
  symbol.sourceLine = symbol.at.line;
  o.symbol(o.context, &symbol);
}

void observeMacroHead(AssemblerRun& run) {
  if (!observingFacts(run)) return;
  const MacroState& m = run.macros;
  for (const MacroRecord& macro : m.macroTable) {
    if (macro.headLine != m.openHeadLine || macro.headFile != m.openHeadFile) continue;
    // A head in a skipped region made a macro without a name, which nothing can call.
    if (macro.name.empty()) return;
    std::string parameters;
    for (const std::string& parameter : macro.parameterNames) {
      if (parameter.empty()) break;
      parameters += (parameters.empty() ? "" : ", ") + parameter;
    }
    tellSymbol(run, ZQASM_SYMBOL_MACRO, true, macro.name, -1, 0, parameters);
    return;
  }
}

void observeExpansionStart(AssemblerRun& run, size_t index) {
  if (!observingFacts(run)) return;
  FactState& f = run.facts;
  // The call is a statement of the expansion around this one (the frame just pushed is
  // not followed yet), or the file line.
  const MacroState& m = run.macros;
  const std::string name = index < m.macroTable.size() ? m.macroTable[index].name : "";
  const ZqasmSpan at = locateName(run, name, openExpansions(run));
  tellSymbolAt(run, ZQASM_SYMBOL_MACRO, false, name, at, -1, 0, std::string());
  FactExpansion expansion;
  expansion.number = ++f.expansionCount;
  expansion.callFile = at.file;
  expansion.callLine = at.line;
  expansion.callColumn = at.column;
  expansion.callEndColumn = at.endColumn;
  f.expansions.push_back(std::move(expansion));
}

void observeExpansionLine(AssemblerRun& run, size_t bodyIndex, const std::string& line) {
  if (!observingFacts(run) || run.facts.expansions.empty()) return;
  FactState& f = run.facts;
  f.expansions.back().bodyIndex = bodyIndex;
  f.expansions.back().claims.clear();
  std::string shown = line;
  while (!shown.empty() && shown.back() == '\n') shown.pop_back();
  for (FactExpansion& e : f.expansions) {
    if (e.lines.size() < kMaxFactLines) {
      e.lines.push_back(shown);
    } else {
      ++e.omitted;
    }
  }
}

void observeExpansionEnd(AssemblerRun& run) {
  if (!observingFacts(run) || run.facts.expansions.empty()) return;
  FactState& f = run.facts;
  const ZqasmRunObserver& o = installedObserver();
  const MacroState& m = run.macros;
  if (o.macroCall != nullptr && f.expansions.size() == m.expansionFrames.size()) {
    const FactExpansion& e = f.expansions.back();
    const size_t index = m.expansionFrames.back().macro;
    const MacroRecord* macro = index < m.macroTable.size() ? &m.macroTable[index] : nullptr;
    std::vector<const char*> lines;
    for (const std::string& line : e.lines) lines.push_back(line.c_str());
    ZqasmMacroCall call{};
    call.macro = macro ? macro->name.c_str() : "";
    call.at = ZqasmSpan{e.callFile.c_str(), e.callLine, e.callColumn, e.callEndColumn};
    call.headFile = macro ? macro->headFile.c_str() : "";
    call.headLine = macro ? macro->headLine : 0;
    call.expansion = e.number;
    call.lines = lines.data();
    call.lineCount = lines.size();
    call.omitted = e.omitted;
    call.sourceFile = currentFile(run).c_str();
    call.sourceLine = run.source.lineNumber;
    o.macroCall(o.context, &call);
  }
  f.expansions.pop_back();
}

void observeInstruction(AssemblerRun& run) {
  const ZqasmRunObserver& o = installedObserver();
  if (!observingFacts(run) || o.code == nullptr) return;
  const size_t open = openExpansions(run);
  const TextPlace statement = statementText(run, open);
  ZqasmCode code{};
  code.at = ZqasmSpan{statement.file->c_str(), statement.line, 0, 0};
  code.address = static_cast<uint32_t>(run.source.statementAddress);
  code.word = static_cast<uint16_t>(codeTextByte(run.source.codeText, 0) |
                                    codeTextByte(run.source.codeText, 1) << 8);
  code.expansion = expansionNumber(run, open);
  code.sourceFile = currentFile(run).c_str();
  code.sourceLine = run.source.lineNumber;
  o.code(o.context, &code);
}

void observePlacement(AssemblerRun& run, int kind, uint32_t first, uint32_t count) {
  const ZqasmRunObserver& o = installedObserver();
  if (!observingFacts(run) || o.placement == nullptr) return;
  const size_t open = openExpansions(run);
  const TextPlace statement = statementText(run, open);
  ZqasmPlacement placement{};
  placement.kind = kind;
  placement.first = first;
  placement.count = count;
  placement.at = ZqasmSpan{statement.file->c_str(), statement.line, 0, 0};
  placement.expansion = expansionNumber(run, open);
  placement.sourceFile = currentFile(run).c_str();
  placement.sourceLine = run.source.lineNumber;
  o.placement(o.context, &placement);
}

void observeConvertArea(AssemblerRun& run) {
  const ZqasmRunObserver& o = installedObserver();
  if (!observingFacts(run) || o.placement == nullptr || !run.source.bankedRom) return;
  const PersistentSettings& settings = persistentSettings();
  const int32_t size = settings.bankConvertEnd - settings.bankConvertStart + 1;
  ZqasmPlacement placement{};
  placement.kind = ZQASM_PLACE_CONVERT_AREA;
  placement.first = settings.bankConvertStart;
  placement.count = static_cast<uint32_t>(std::clamp<int32_t>(size, 0, kMaxConvertAreaSize));
  placement.at = ZqasmSpan{"", 0, 0, 0};
  placement.sourceFile = "";
  o.placement(o.context, &placement);
}

void observeChip(const AssemblerRun& run) {
  const ZqasmRunObserver& o = installedObserver();
  if (o.chip == nullptr || run.params == nullptr) return;
  std::vector<ZqasmOpcode> opcodes;
  for (int i = 0; i < run.chip.instructionCount && static_cast<size_t>(i) < run.chip.opcodes.size();
       ++i) {
    const OpcodeEntry& entry = run.chip.opcodes[static_cast<size_t>(i)];
    ZqasmOpcode opcode{};
    std::memcpy(opcode.mnemonic, entry.mnemonic, sizeof opcode.mnemonic);
    opcode.mnemonic[sizeof opcode.mnemonic - 1] = '\0';
    opcode.form = entry.form;
    opcode.kind = entry.kind;
    opcode.opcode = entry.opcode;
    opcode.mask1 = entry.mask1;
    opcode.mask2 = entry.mask2;
    opcodes.push_back(opcode);
  }
  const std::string name = slotText(run.params->chipName, sizeof run.params->chipName);
  o.chip(o.context, name.c_str(), opcodes.data(), opcodes.size());
}

}  // namespace zq
