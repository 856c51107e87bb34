// Numbered diagnostics. Handlers raise errors and warnings by number; the numbers are
// remembered for the current line (each at most once) and written by
// flushLineDiagnostics, which the pass loop calls at the end of every pass-2 line.
#ifndef ZQASM_SERVICES_DIAGNOSTICS_H_
#define ZQASM_SERVICES_DIAGNOSTICS_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/flat_index.h"
#include "platform/platform.h"

namespace zq {

struct AssemblerRun;

constexpr int kErrorTextCount = 73;
constexpr int kWarningTextCount = 10;

// Warnings from kFirstTrapWarning on point at the language's traps: code that assembles
// by its rules into something its writer rarely meant. A run raises them only when the
// host asked for them by name (ZqasmSetWarnings), so a default run writes what it always
// wrote.
constexpr int kFirstTrapWarning = 5;
enum TrapWarning : int {
  kWarnUndefinedInCondition = 5,  // an undefined symbol in .IF/.ELSEIF, taken as 0
  kWarnParameterInWord = 6,       // a macro parameter replaced inside a longer word
  kWarnValueTruncated = 7,        // a value cut to fit where it is stored
  kWarnNegativeUnsigned = 8,      // a negative intermediate read back unsigned
  kWarnMixedOperators = 9,        // operators of different kinds mixed without parentheses
};
constexpr int kTrapWarningCount = kWarningTextCount - kFirstTrapWarning;
// Stable names of every warning, indexed by number; hosts and the command line turn them
// on and off by these names (ZqasmSetWarnings), and the command line shows them.
extern const char* const kWarningNames[kWarningTextCount];
// The trap warnings' part of that list, indexed by number - kFirstTrapWarning.
inline const char* const* const kTrapWarningNames = kWarningNames + kFirstTrapWarning;
// The number of the warning called `name`, or -1.
int warningNumber(std::string_view name);
// The number of the trap warning called `name`, or -1.
int trapWarningNumber(std::string_view name);
// Whether the host asked for trap warning `number`; a check that costs time asks first.
bool trapWarningOn(int number);

// Errors written in one run. The one that reaches the bound is written, then the run
// stops on its fatal path ("Fatal ERROR : TOO MANY ERRORS (100000)"); whatever is raised
// after it is dropped. Set for runaways: a program of the largest ROM with an error on
// every line stays below it.
constexpr int32_t kMaxErrors = 100000;

// The catalogue, indexed by number. Texts are kept exactly as hosts expect them.
extern const char* const kErrorTexts[kErrorTextCount];
extern const char* const kWarningTexts[kWarningTextCount];

// What a run observer is told of a pending error beyond its number (see noteCulprit).
struct CulpritNote {
  int number = 0;         // the error (or, with `warning`, the warning) it belongs to
  bool warning = false;
  std::string message;    // the text naming the culprit
  std::string otherFile;  // earlier definition of a duplicate; empty when none
  uint32_t otherLine = 0;
  std::string otherMacro;  // the macro whose expansion made that definition; empty if none
  // The text the culprit is written as in the statement (a name, an operand), for the
  // observer's columns; empty when the note does not point at one.
  std::string culprit;
};

// Where a name was first defined (recordDefinition): an index into definitionFiles, the
// line, and the macro table index of the expansion it stood in (-1 outside macros).
struct DefinitionPlace {
  uint32_t file = 0;
  uint32_t line = 0;
  int32_t macro = -1;
};

struct DiagnosticsState {
  std::vector<int> lineErrors;    // errors of the current line, in the order raised
  std::vector<int> lineWarnings;  // warnings of the current line, in the order raised
  bool errorsPending = false;
  bool warningsPending = false;
  std::string userErrorText;      // pending user error (ERROR directive), empty if none
  int32_t errorCount = 0;         // totals of the run; a user error counts as an error
  int32_t warningCount = 0;
  // Notes of the current line's errors, first note per number; filled only while a run
  // observer takes diagnostics, cleared with the pending lists.
  std::vector<CulpritNote> lineNotes;
  // The last symbol an evaluation found in no table (for the note of error 12).
  std::string unresolvedName;
  // The value of the last evaluation that failed for giving a negative value, else 0
  // (for the note of error 1).
  int32_t negativeResult = 0;
  int suggestionsMade = 0;  // notes given a "did you mean" in the run (kMaxSuggestions)
  // Places of first definitions (recordDefinition): per table (labels, constants, DEFINE
  // names) the
  // name to its place (index into definitionPlaces), with the files each once; filled
  // only while an observer takes diagnostics.
  std::array<NameIndex, 3> firstDefinitionByName;
  std::vector<DefinitionPlace> definitionPlaces;
  std::vector<std::string> definitionFiles;
};

// Remembers error `number` (0..72) for the current line unless already pending.
void raiseError(AssemblerRun& run, int number);
// Remembers warning `number` (0..9) for the current line unless already pending; a trap
// warning the host did not ask for, or another warning it turned off, is dropped.
void raiseWarning(AssemblerRun& run, int number);
// Raises warning `number` with a note naming what it found, for a run observer (the error
// file and the listing keep the catalogue text); formatted as noteCulprit.
void raiseWarningNoted(AssemblerRun& run, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Error 72 in pass 2 when the last split of the field buffers had to cut a field
// (SourceState::fieldCut), with a note naming the field by its number. Called by each handler that acts on the fields it split.
void reportFieldCut(AssemblerRun& run, int pass);
// Gives the pending error `number` of the line a message that names its culprit, for a
// run observer only (the error file and the listing keep the catalogue text); the first
// note of a number on a line stands. Does nothing without an observer of diagnostics.
// Called beside the raiseError it explains.
void noteCulprit(AssemblerRun& run, int number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same, naming `culprit` as the text of the statement the note points at (a name is
// looked for as a whole word, any other text as it stands), so that an observer learns
// its columns.
void noteCulpritAt(AssemblerRun& run, int number, std::string_view culprit, const char* format,
                   ...) __attribute__((format(printf, 4, 5)));
// Suggestions for a note, with an observer of diagnostics only (and for at most
// kMaxSuggestions notes of a run, as a runaway makes thousands): "; did you mean 'NAME'?"
// with the nearest name, or "" when none is near. suggestSymbol offers the labels,
// constants, RAM names and DEFINE names; the statement router suggests mnemonics, macros
// and directives through the two helpers below.
constexpr int kMaxSuggestions = 200;
std::string suggestSymbol(AssemblerRun& run, std::string_view name);
// Whether a suggestion may be looked for: true (and counted) while the run has made fewer
// than kMaxSuggestions and an observer takes diagnostics.
bool mayMakeSuggestion(AssemblerRun& run);
// "; did you mean 'NAME'?", or "" for an empty name.
std::string didYouMean(const std::string& name);
// Pass 2, with an observer of diagnostics only: remembers line `line` of the statement's
// own file as the place of the first definition of `name` in `table` ('L' labels, 'C'
// constants, 'D' DEFINE names; the name cut to 64 characters, upper-cased when
// `foldCase`). Line 0 stands for a definition given by the host before the source.
void recordDefinition(AssemblerRun& run, char table, std::string_view name, bool foldCase,
                      uint32_t line);
// Notes error `number` as "duplicate WHAT 'NAME'", with the place recordDefinition
// remembered for the name (and the macro whose expansion it stood in).
void noteDuplicate(AssemblerRun& run, int number, const char* what, char table,
                   const std::string& name, bool foldCase);
// Notes warning `number` as "WHAT 'NAME' redefined", with the place of its first
// definition as noteDuplicate gives it.
void noteRedefinition(AssemblerRun& run, int number, const char* what, char table,
                      const std::string& name, bool foldCase);
// Writes the pending warnings, errors and user error of the line to the listing and the
// error file, counts them and clears them. The file named is the current include file.
// The error that reaches kMaxErrors stops the run (fatalError set); the callers' checks
// of fatalError end the pass.
void flushLineDiagnostics(AssemblerRun& run, unsigned lineNumber);
// The same for a line of `fileName` that is not the line being read (a macro head, a
// conditional left open at the end of a pass).
void flushLineDiagnosticsAt(AssemblerRun& run, const std::string& fileName, unsigned lineNumber);
// Writes error `number` at once, as flushLineDiagnostics writes it, for a line of
// `fileName` that is no longer being processed (checks made after the passes).
void reportErrorAt(AssemblerRun& run, const std::string& fileName, unsigned lineNumber, int number);
// Drops whatever is pending for the line without writing it (pass start, macro call).
void dropLineDiagnostics(AssemblerRun& run);

// Every condition that stops the run goes through here, so that a host reading the error
// file or the listing learns why. reportFatal formats the text (as printf, at most 1,023
// characters), tells a run observer of it (at the file line being read, SourceState's
// lineNumber, or at no place when that is 0), shows it through the message sink with
// `owner`, writes it with writeFatalLine and sets fatalError; it returns resultFatal for
// the caller to pass on.
int reportFatal(AssemblerRun& run, MessageOwner owner, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Writes the text of a fatal stop into the error file and the listing (each when open):
// the text without its trailing blanks and line ends, then one line end. Texts that are
// not shown as messages (the missing chip) are written through here alone.
void writeFatalLine(AssemblerRun& run, const std::string& text);

}  // namespace zq

#endif  // ZQASM_SERVICES_DIAGNOSTICS_H_
