// Diagnostics catalogue and the per-line pending lists.
#include "services/diagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/nearest_name.h"
#include "platform/text.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "services/run_observer.h"

namespace zq {

namespace {
constexpr int kErrorFieldTooLong = 72;
}  // namespace

// Texts are written exactly as hosts parse them, misspellings included.
const char* const kErrorTexts[kErrorTextCount] = {
    "ILLEGAL SYMBOL",                                                                     // 0
    "ILLEGAL OPCODE",                                                                     // 1
    "FILE LENGTH OUT OF RANGE",                                                           // 2
    "SYMBOL TOO LONG",                                                                    // 3
    "CAN'T FIND THE LABEL",                                                               // 4
    "DUPLICATE LABEL",                                                                    // 5
    "OPRAND ERROR",                                                                       // 6
    "ILLEGAL AREA DEFINE",                                                                // 7
    "ILLEGAL ORG DEFINE",                                                                 // 8
    "RAM OUT OF RANGE",                                                                   // 9
    "DUPLICATE RAM NAME",                                                                 // 10
    "DUPLICATE CONSTANT NAME",                                                            // 11
    "UNDEFINED SYMBOL",                                                                   // 12
    "PROGRAM ADDRESS OVERLAP",                                                            // 13
    "ADDRESS OUT OF RANGE",                                                               // 14
    "UNDEFINED CONSTANT NAME",                                                            // 15
    "MISSING ,",                                                                          // 16
    "WORKING REGISTER DATA DEFINED ERROR",                                                // 17
    "STATEMENT MISSING (",                                                                // 18
    "STATEMENT MISSING )",                                                                // 19
    "SYNTAX ERROR",                                                                       // 20
    "MISSING NEXT ADDRESS",                                                               // 21
    "PROGRAM(ROM) OUT OF RANGE",                                                          // 22
    "ADDRESS DEFINE (ORG XXXX) OVERLAP",                                                  // 23
    "CAN'T USE KEYWORD",                                                                  // 24
    "VALUE TOO LARGE",                                                                    // 25
    "Label value misalligned",                                                            // 26
    "Range of relative branch exceeded",                                                  // 27
    "NESTED (IF...) CONDITIONAL UNBALANCE DETECTED",                                      // 28
    "MACRO MUST BE DEFINED BEFORE IT CAN BE USED",                                        // 29
    "NOT ENOUGH PARAMETERS",                                                              // 30
    "ILLEGAL DATA",                                                                       // 31
    "MISSING \" OR '",                                                                    // 32
    "MISSING PARAMETER",                                                                  // 33
    "NESTED (IF...) TOO DEPTH",                                                           // 34
    "INCLUDE FILE TOO DEPTH",                                                             // 35
    "NON-EXISTED INCLUDE FILE",                                                           // 36
    "STATEMENT MISSING [",                                                                // 37
    "STATEMENT MISSING ]",                                                                // 38
    "TABLE OverFlow",                                                                     // 39
    ".TABLE DIRECTIVE ALREADY DEFINITION",                                                // 40
    "MISSING .TABLE DIRECTIVE",                                                           // 41
    "CAN NOT USE PARAMETER",                                                              // 42
    "PARAMETER TOO MANY",                                                                 // 43
    "Destination address out of current page",                                            // 44
    "RAM Address Must Begin from 40h to 7Fh",                                             // 45
    "DATA Define Must in .TABLE Segment",                                                 // 46
    "Table ROM Address or Value Incorrect",                                               // 47
    "PAGE NUMBER MUST BE 0 OR 1",                                                         // 48
    "Invalid instruction \"STOP\" because option \"1.POWER SOURCE:\" is select C or D.",  // 49
    "TABLE ROM VALUE TOO LARGE",                                                          // 50
    "TABLE ROM ADDRESS OVERLAP",                                                          // 51
    "TABLE ROM ADDRESS OUT OF RANGE",                                                     // 52
    "MISSING ERROR MESSAGE STRING",                                                       // 53
    "IFBLANK/IFNBLANK USING IN MACRO DEFINE ONLY",                                        // 54
    "IFBLANK/IFNBLANK MISSING PARAMETER",                                                 // 55
    "IFBLANK/IFNBLANK PARAMETER NAME NO DEFINE IN MACRO",                                 // 56
    "DN Address Overlap ON/OFF syntax : DNOVERLAP ON or DNOVERLAP OFF",                   // 57
    "CAN NOT USE BANK CONVERT AREA",                                                      // 58
    "BANK CONVERT AREA ADDRESS IS 30h ~ 7FFh",                                            // 59
    "BANK CONVERT AREA ADDRESS SIZE MIN IS 8",                                            // 60
    "BANK CONVERT AREA ADDRESS SIZE MAX IS 512",                                          // 61
    "Can not jmp to other BANK or PAGE if using JBx,JC,JNC,JZ,JNZ Instructions",          // 62
    "Can not use CPHL instruction on address : 00FFh, 10FFh, 20FFh, 0FFEh, 1FFEh.",       // 63
    "Missing .ENDMACRO directive",                                                        // 64
    "CAN NOT USE TABLE ROM ( SIZE == 0 )",                                                // 65
    "CAN NOT USE RAM 40h to 6Fh",                                                         // 66
    "LINE CHAR CAN NOT GREAT 1024 BYTES",                                                 // 67
    "Maximum number of Macro parameters CANT NOT great than 10",                          // 68
    // Added to the hosts' catalogue: calls refused so that runaway macros end.
    "MACRO CALL NESTING TOO DEPTH",                                                       // 69
    "MACRO EXPANSION TOO LONG",                                                           // 70
    // A RAM name whose size reads differently in pass 2 than when pass 1 placed it.
    "RAM SIZE MUST BE DEFINED BEFORE IT CAN BE USED",                                     // 71
    // A field longer than its 255-character buffer, which used to be cut in silence.
    "FIELD TOO LONG (MAX 255 CHARACTERS)",                                                // 72
};

const char* const kWarningTexts[kWarningTextCount] = {
    "MACRO REDFINITION",                       // 0
    "MISSING .ENDTABLE DIRECTIVE",             // 1
    "MACRO MISSING PARAMETER",                 // 2
    "ABNORMAL WORKING REGISTER (Ry) ADDRESS",  // 3
    // Added: a source file whose Ctrl-Z end mark hides more text.
    "TEXT AFTER END OF FILE MARK (1AH) IGNORED",  // 4
    // Added: the language's traps, raised only when the host asks for them.
    "UNDEFINED SYMBOL IN CONDITION TAKEN AS 0",     // 5
    "MACRO PARAMETER REPLACED INSIDE A WORD",       // 6
    "VALUE DOES NOT FIT AND IS TRUNCATED",          // 7
    "NEGATIVE VALUE READ AS UNSIGNED",              // 8
    "OPERATORS MIXED WITHOUT PARENTHESES",          // 9
};

const char* const kWarningNames[kWarningTextCount] = {
    "define-redefined",         // 0: raised for a DEFINE of a name defined before
    "missing-endtable",         // 1
    "macro-missing-parameter",  // 2
    "working-register",         // 3
    "text-after-eof",           // 4
    "undefined-in-condition",   // 5
    "parameter-in-word",        // 6
    "truncation",               // 7
    "negative-unsigned",        // 8
    "mixed-operators",          // 9
};

int warningNumber(std::string_view name) {
  for (int i = 0; i < kWarningTextCount; ++i)
    if (name == kWarningNames[i]) return i;
  return -1;
}

int trapWarningNumber(std::string_view name) {
  const int number = warningNumber(name);
  return number >= kFirstTrapWarning ? number : -1;
}

bool trapWarningOn(int number) {
  const int bit = number - kFirstTrapWarning;
  return bit >= 0 && bit < kTrapWarningCount &&
         (persistentSettings().trapWarnings & (1u << bit)) != 0;
}

namespace {

// Whether the host left warning `number` on (trap warnings: asked for it).
bool warningOn(int number) {
  if (number >= kFirstTrapWarning) return trapWarningOn(number);
  return number < 0 || (persistentSettings().warningsOff >> number & 1u) == 0;
}

// Appends `number` unless it is pending already; numbers outside the catalogue are
// ignored so that the writer never indexes past it.
bool remember(std::vector<int>& pending, int number, int limit) {
  if (number < 0 || number >= limit) return false;
  if (std::find(pending.begin(), pending.end(), number) != pending.end()) return false;
  pending.push_back(number);
  return true;
}

// Characters of "%u" or "%d" of `value`.
size_t decimalWidth(long long value) {
  size_t width = value < 0 ? 2 : 1;
  for (unsigned long long rest = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
       rest >= 10; rest /= 10)
    ++width;
  return width;
}

// The error that reaches kMaxErrors ends the run: a source that repeats one error line
// without end (a macro that calls itself) would otherwise fill the disk.
void stopAtErrorBound(AssemblerRun& run) {
  if (run.diagnostics.errorCount == kMaxErrors && !run.source.fatalError)
    reportFatal(run, MessageOwner::kActiveWindow, "Fatal ERROR : TOO MANY ERRORS (%d)",
                static_cast<int>(kMaxErrors));
}

// One numbered error line in the listing and the error file, counted. `inStatement`: the
// line is the one being processed, so the macro expansions in progress belong to it.
void writeError(AssemblerRun& run, const char* fileName, unsigned lineNumber, int number,
                bool inStatement) {
  ++run.diagnostics.errorCount;
  ++run.source.listingLineCount;
  const char* text = kErrorTexts[number];
  if (FILE* listing = run.files.listing) std::fprintf(listing, "               <<< %s >>>\n", text);
  if (FILE* error = run.files.error)
    std::fprintf(error, "%s(%u) : Error %d ->  %s\n", fileName, lineNumber, number, text);
  const size_t textSize = std::strlen(text);
  run.source.outputTextBytes += textSize + 24 + std::strlen(fileName) + decimalWidth(lineNumber) +
                                decimalWidth(number) + textSize + 17;
  if (observingDiagnostics()) {
    const CulpritNote* note = nullptr;
    for (const CulpritNote& n : run.diagnostics.lineNotes)
      if (n.number == number && !n.warning) note = &n;
    observeLineDiagnostic(run, ZQASM_ERROR, fileName, lineNumber, number, text, note, inStatement);
  }
  stopAtErrorBound(run);
}

// Adds a note for error (or warning) `number` unless the line has one for it already.
CulpritNote* newNote(AssemblerRun& run, int number, bool warning = false) {
  std::vector<CulpritNote>& notes = run.diagnostics.lineNotes;
  for (const CulpritNote& n : notes)
    if (n.number == number && n.warning == warning) return nullptr;
  notes.emplace_back();
  notes.back().number = number;
  notes.back().warning = warning;
  return &notes.back();
}

// The note's message, formatted as printf does, at most kMaxMessageLength characters.
void setNoteMessage(CulpritNote& note, const char* format, va_list args) {
  char text[kMaxMessageLength + 1];
  if (std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
  note.message = text;
}

// A note of diagnostic `number` (a warning's when `warning`) with its culprit and message,
// for an observer of diagnostics only.
[[gnu::format(printf, 5, 0)]] void addNote(AssemblerRun& run, int number, bool warning,
                                           std::string_view culprit, const char* format,
                                           va_list args) {
  if (!observingDiagnostics()) return;
  CulpritNote* note = newNote(run, number, warning);
  if (note == nullptr) return;
  setNoteMessage(*note, format, args);
  note->culprit = culprit;
}

void flushPending(AssemblerRun& run, const std::string& file, unsigned lineNumber,
                  bool inStatement) {
  DiagnosticsState& d = run.diagnostics;
  SourceState& s = run.source;
  // Past the error bound the run has stopped: nothing more is written.
  if (d.errorCount >= kMaxErrors) {
    dropLineDiagnostics(run);
    d.userErrorText.clear();
    return;
  }
  FILE* listing = run.files.listing;
  FILE* error = run.files.error;
  const char* fileName = file.c_str();
  // Characters of the error file's "NAME(LINE) : " that every line of this flush begins with.
  const size_t place = std::strlen(fileName) + decimalWidth(lineNumber) + 5;

  for (int number : d.lineWarnings) {
    ++d.warningCount;
    ++s.listingLineCount;
    const char* text = kWarningTexts[number];
    if (listing) std::fprintf(listing, "               ### Warning :  %s ###\n", text);
    if (error)
      std::fprintf(error, "%s(%u) : Warning %d ->  %s\n", fileName, lineNumber, number, text);
    const size_t textSize = std::strlen(text);
    s.outputTextBytes += textSize + 35 + place + decimalWidth(number) + textSize + 14;
    if (observingDiagnostics()) {
      const CulpritNote* note = nullptr;
      for (const CulpritNote& n : d.lineNotes)
        if (n.number == number && n.warning) note = &n;
      observeLineDiagnostic(run, ZQASM_WARNING, fileName, lineNumber, number, text, note,
                            inStatement);
    }
  }
  d.lineWarnings.clear();
  d.warningsPending = false;

  for (int number : d.lineErrors) {
    writeError(run, fileName, lineNumber, number, inStatement);
    // The rest of the line is not written after the error that stopped the run.
    if (d.errorCount >= kMaxErrors) break;
  }
  d.lineErrors.clear();
  d.errorsPending = false;
  d.lineNotes.clear();

  if (!d.userErrorText.empty() && d.errorCount < kMaxErrors) {
    ++d.errorCount;
    ++s.listingLineCount;
    const char* text = d.userErrorText.c_str();
    if (listing) std::fprintf(listing, "               [[[ %s ]]]\n", text);
    if (error) std::fprintf(error, "%s(%u) : USER Define Error ->  %s\n", fileName, lineNumber, text);
    const size_t textSize = std::strlen(text);
    s.outputTextBytes += textSize + 24 + place + textSize + 23;
    if (observingDiagnostics())
      observeLineDiagnostic(run, ZQASM_USER_ERROR, fileName, lineNumber, -1, d.userErrorText,
                            nullptr, inStatement);
    stopAtErrorBound(run);
  }
  d.userErrorText.clear();
}

}  // namespace

void raiseError(AssemblerRun& run, int number) {
  if (remember(run.diagnostics.lineErrors, number, kErrorTextCount))
    run.diagnostics.errorsPending = true;
}

void raiseWarning(AssemblerRun& run, int number) {
  if (!warningOn(number)) return;
  if (remember(run.diagnostics.lineWarnings, number, kWarningTextCount))
    run.diagnostics.warningsPending = true;
}

void raiseWarningNoted(AssemblerRun& run, int number, const char* format, ...) {
  if (!warningOn(number)) return;
  raiseWarning(run, number);
  va_list args;
  va_start(args, format);
  addNote(run, number, true, std::string_view(), format, args);
  va_end(args);
}

void reportFieldCut(AssemblerRun& run, int pass) {
  const int field = run.source.fieldCut;
  if (pass != 2 || field == 0) return;
  raiseError(run, kErrorFieldTooLong);
  noteCulprit(run, kErrorFieldTooLong,
              "field %d of the statement is longer than %d characters (its rest is dropped)",
              field, static_cast<int>(kMaxFieldLength));
}

void noteCulprit(AssemblerRun& run, int number, const char* format, ...) {
  va_list args;
  va_start(args, format);
  addNote(run, number, false, std::string_view(), format, args);
  va_end(args);
}

void noteCulpritAt(AssemblerRun& run, int number, std::string_view culprit, const char* format,
                   ...) {
  va_list args;
  va_start(args, format);
  addNote(run, number, false, culprit, format, args);
  va_end(args);
}

bool mayMakeSuggestion(AssemblerRun& run) {
  if (!observingDiagnostics() || run.diagnostics.suggestionsMade >= kMaxSuggestions) return false;
  ++run.diagnostics.suggestionsMade;
  return true;
}

std::string didYouMean(const std::string& name) {
  return name.empty() ? std::string() : "; did you mean '" + name + "'?";
}

std::string suggestSymbol(AssemblerRun& run, std::string_view name) {
  if (name.empty() || !mayMakeSuggestion(run)) return std::string();
  NearestName nearest(name);
  for (const LabelNode& label : run.labels.nodes) nearest.offer(label.name);
  const std::vector<ConstantRecord>& constants = run.constants.records;
  for (size_t i = 1; i < constants.size() && i <= static_cast<size_t>(run.constants.count); ++i)
    nearest.offer(constants[i].name);
  const std::vector<RamName>& ram = run.segments.ramNames;
  for (size_t i = 1; i < ram.size() && i <= static_cast<size_t>(run.segments.ramNameCount); ++i)
    nearest.offer(ram[i].name);
  for (const DefineNode& define : run.substitutions.defines) nearest.offer(define.name);
  return didYouMean(nearest.best());
}

namespace {

// The index of first definitions of `table` ('L' labels, 'C' constants, 'D' DEFINE names), folding case
// as asked; a label table keeps one case rule for the run.
NameIndex& definitionIndex(DiagnosticsState& d, char table, bool foldCase) {
  NameIndex& index = d.firstDefinitionByName[table == 'L' ? 0 : table == 'C' ? 1 : 2];
  if (index.empty() && index.foldCase() != foldCase) index.reset(foldCase);
  return index;
}

}  // namespace

void recordDefinition(AssemblerRun& run, char table, std::string_view name, bool foldCase,
                      uint32_t line) {
  if (!observingDiagnostics()) return;
  DiagnosticsState& d = run.diagnostics;
  const SourceState& s = run.source;
  // A body line of an expansion stands in the file of its macro's head.
  const std::string* file = &s.includeFileNames[static_cast<size_t>(
      s.includeLevel >= 0 && s.includeLevel <= kMaxIncludeLevel ? s.includeLevel : 0)];
  if (s.macroContext >= 0 && static_cast<size_t>(s.macroContext) < run.macros.macroTable.size())
    file = &run.macros.macroTable[static_cast<size_t>(s.macroContext)].headFile;
  // Only a name seen for the first time gets a place; the index keeps the first.
  const auto place = static_cast<int32_t>(d.definitionPlaces.size());
  if (definitionIndex(d, table, foldCase).insert(name.substr(0, kMaxSymbolName), place) != place)
    return;
  size_t fileIndex = d.definitionFiles.size();
  while (fileIndex > 0 && d.definitionFiles[fileIndex - 1] != *file) --fileIndex;
  if (fileIndex == 0) {
    d.definitionFiles.push_back(*file);
    fileIndex = d.definitionFiles.size();
  }
  d.definitionPlaces.push_back(
      DefinitionPlace{static_cast<uint32_t>(fileIndex - 1), line, s.macroContext});
}

namespace {

// The place recordDefinition remembered for `name` in `table`, into the note (with the
// macro whose expansion it stood in). A definition of the host's has line 0: the note
// says so in its message.
void notePlaceOfFirst(AssemblerRun& run, CulpritNote* note, char table, const std::string& name,
                      bool foldCase) {
  DiagnosticsState& d = run.diagnostics;
  note->culprit = name;
  const int32_t place =
      definitionIndex(d, table, foldCase).find(std::string_view(name).substr(0, kMaxSymbolName));
  if (place < 0 || static_cast<size_t>(place) >= d.definitionPlaces.size()) return;
  const DefinitionPlace& first = d.definitionPlaces[static_cast<size_t>(place)];
  if (first.line == 0) {
    note->message += ", first defined outside the source";
    return;
  }
  if (first.file >= d.definitionFiles.size()) return;
  note->otherFile = d.definitionFiles[first.file];
  note->otherLine = first.line;
  const std::vector<MacroRecord>& macros = run.macros.macroTable;
  if (first.macro >= 0 && static_cast<size_t>(first.macro) < macros.size())
    note->otherMacro = macros[static_cast<size_t>(first.macro)].name;
}

}  // namespace

void noteDuplicate(AssemblerRun& run, int number, const char* what, char table,
                   const std::string& name, bool foldCase) {
  if (!observingDiagnostics()) return;
  CulpritNote* note = newNote(run, number);
  if (note == nullptr) return;
  note->message = std::string("duplicate ") + what + " '" + name + "'";
  notePlaceOfFirst(run, note, table, name, foldCase);
}

void noteRedefinition(AssemblerRun& run, int number, const char* what, char table,
                      const std::string& name, bool foldCase) {
  if (!observingDiagnostics()) return;
  CulpritNote* note = newNote(run, number, true);
  if (note == nullptr) return;
  note->message = std::string(what) + " '" + name + "' redefined";
  notePlaceOfFirst(run, note, table, name, foldCase);
}

void flushLineDiagnostics(AssemblerRun& run, unsigned lineNumber) {
  DiagnosticsState& d = run.diagnostics;
  // Most lines have nothing to write.
  if (d.lineWarnings.empty() && d.lineErrors.empty() && d.lineNotes.empty() &&
      d.userErrorText.empty()) {
    d.warningsPending = d.errorsPending = false;
    return;
  }
  const SourceState& s = run.source;
  flushPending(run, s.includeFileNames[s.includeLevel], lineNumber, true);
}

void flushLineDiagnosticsAt(AssemblerRun& run, const std::string& file, unsigned lineNumber) {
  flushPending(run, file, lineNumber, false);
}

int reportFatal(AssemblerRun& run, MessageOwner owner, const char* format, ...) {
  char text[kMaxMessageLength + 1];
  va_list args;
  va_start(args, format);
  if (std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
  va_end(args);
  // The observer hears of the stop before the message sink shows it, so that a host with
  // both can show it once, at its place: the line being read (within the expansions in
  // progress), or no place when the stop belongs to no line.
  if (observingDiagnostics()) {
    const SourceState& s = run.source;
    if (s.lineNumber > 0 && s.includeLevel >= 0 && s.includeLevel <= kMaxIncludeLevel)
      observeLineDiagnostic(run, ZQASM_FATAL, s.includeFileNames[s.includeLevel].c_str(),
                            s.lineNumber, -1, text, nullptr, true);
    else
      observeDiagnostic(ZQASM_FATAL, "", 0, -1, text);
  }
  showOwnedMessage(owner, "%s", text);
  writeFatalLine(run, text);
  run.source.fatalError = 1;
  return resultFatal;
}

void writeFatalLine(AssemblerRun& run, const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  line += '\n';
  if (run.files.error != nullptr) std::fputs(line.c_str(), run.files.error);
  if (run.files.listing != nullptr) std::fputs(line.c_str(), run.files.listing);
  run.source.outputTextBytes += 2 * std::strlen(line.c_str());
  // A text of several lines counts each of them, as the ".SYM" numbers expect.
  run.source.listingLineCount += static_cast<int32_t>(std::count(line.begin(), line.end(), '\n'));
}

void reportErrorAt(AssemblerRun& run, const std::string& fileName, unsigned lineNumber,
                   int number) {
  if (number >= 0 && number < kErrorTextCount && run.diagnostics.errorCount < kMaxErrors)
    writeError(run, fileName.c_str(), lineNumber, number, false);
}

void dropLineDiagnostics(AssemblerRun& run) {
  DiagnosticsState& d = run.diagnostics;
  d.lineErrors.clear();
  d.lineWarnings.clear();
  d.lineNotes.clear();
  d.errorsPending = d.warningsPending = false;
}

}  // namespace zq
