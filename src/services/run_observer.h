// The run observer of programs linked with the static library (zqasm/observer.h): the
// places that write diagnostics, open files and write the images tell it what happened,
// and the driver enters its defines at the start of every pass. Without an observer
// every call here does nothing. Declared here, below every layer that tells it something;
// defined in driver/run_observer.cc, which reads the state of every layer to compose the
// facts (where a name stands, which expansion a word came from).
#ifndef ZQASM_SERVICES_RUN_OBSERVER_H_
#define ZQASM_SERVICES_RUN_OBSERVER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zqasm/observer.h"

namespace zq {

struct AssemblerRun;

struct CulpritNote;

// True when an observer takes diagnostics (so the work of describing them can be skipped).
bool observingDiagnostics();
// Tells of one diagnostic (kind ZQASM_ERROR ... ZQASM_FATAL; number -1 when none), with
// the message naming its culprit when there is one.
void observeDiagnostic(int kind, const std::string& file, unsigned line, int number,
                       const std::string& text, const std::string& message = "");
// Tells of a diagnostic written for a source line, with its note (nullptr when none);
// `inStatement`: the line is the one being processed, within the macro expansions in
// progress, which the observer is told of.
void observeLineDiagnostic(AssemblerRun& run, int kind, const char* file, unsigned line,
                           int number, const std::string& text, const CulpritNote* note,
                           bool inStatement);
// Tells of a file opened for reading (kind ZQASM_FILE_SOURCE ... ZQASM_FILE_MASK_OPTIONS).
void observeFileRead(const std::string& path, int kind);
// True when an observer wants the images (so the work of observeImage can be skipped).
bool observingImages();
// Tells of the images written; the flags are per word and per table cell; the RAM names
// defined and the nibbles they allocate.
void observeImage(const std::vector<uint8_t>& programBytes,
                  const std::vector<uint8_t>& programWritten, size_t programWords,
                  const std::vector<uint8_t>& tableBytes, const std::vector<uint8_t>& tableWritten,
                  size_t ramNames, size_t ramNibbles);
// Enters the observer's defines as DEFINE statements of `pass`; nothing they raise is
// reported (the host checked them with ZqasmCheckDefine).
void enterObserverDefines(AssemblerRun& run, int pass);

// Columns [first, second) of a line already given to a fact: a name written once is
// given to one fact, so the label and the operand of "L: JMP L" get their own columns.
using ColumnClaims = std::vector<std::pair<size_t, size_t>>;

// An expansion in progress as the facts see it, beside MacroState::expansionFrames.
struct FactExpansion {
  uint32_t number = 0;   // 1, 2, ... in the order pass 2 starts them
  size_t bodyIndex = 0;  // the body line being processed
  ColumnClaims claims;   // of that body line
  std::string callFile;  // the calling statement and the macro's name in it
  unsigned callLine = 0;
  unsigned callColumn = 0;
  unsigned callEndColumn = 0;
  std::vector<std::string> lines;  // produced so far, at most kMaxFactLines
  size_t omitted = 0;              // produced beyond them
};

// What the observer's facts need to know of pass 2 beyond the run's own state: the file
// line being processed and the expansions in progress, whose texts the names are looked
// for in. Filled only while an observer takes facts.
struct FactState {
  std::string lineText;  // the line read from a file being processed
  ColumnClaims lineClaims;
  std::vector<FactExpansion> expansions;  // outermost first
  uint32_t expansionCount = 0;
  bool enteringDefines = false;  // the host's defines are being entered
  // The expansions a diagnostic is told of, innermost first; kept so that a runaway's
  // hundred thousand diagnostics, each 64 levels deep, reuse one array.
  std::vector<ZqasmExpansion> diagnosticExpansions;
};

// Lines of one macro call kept for the observer.
constexpr size_t kMaxFactLines = 200;

// True when an observer takes facts and the run is in pass 2.
bool observingFacts(const AssemblerRun& run);
// The pass loop's line read from a file, before any handler sees it.
void observeSourceLine(AssemblerRun& run, const std::string& line);
// A definition of `name` (ZQASM_SYMBOL_... kind) by the statement being processed.
void observeDefinition(AssemblerRun& run, int kind, std::string_view name, int64_t value,
                       int64_t size = 0, std::string_view text = std::string_view());
// A use of `name` that a lookup found with `value`; nothing when `value` is -1 (not found).
// Returns `value`, so that a lookup can tell of its result where it returns it. Most
// lookups of a statement find nothing, which is settled here without a call.
int observedFoundUse(AssemblerRun& run, int kind, std::string_view name, int value);
inline int observedUse(AssemblerRun& run, int kind, std::string_view name, int value) {
  return value == -1 ? value : observedFoundUse(run, kind, name, value);
}
// An include line whose name (columns [nameStart, nameEnd)) was found as `fullName`.
void observeInclude(AssemblerRun& run, size_t nameStart, size_t nameEnd,
                    const std::string& fullName);
// A .MACRO head of pass 2: the definition of the macro recorded for it in pass 1.
void observeMacroHead(AssemblerRun& run);
// Around an expansion of macro `index`: its start (after its frame was pushed), each body
// line `bodyIndex` as substituted, its end (before its frame is popped).
void observeExpansionStart(AssemblerRun& run, size_t index);
void observeExpansionLine(AssemblerRun& run, size_t bodyIndex, const std::string& line);
void observeExpansionEnd(AssemblerRun& run);
// The instruction word just recorded at statementAddress (pass 2).
void observeInstruction(AssemblerRun& run);
// A placement (ZQASM_PLACE_...) by the statement being processed (pass 2).
void observePlacement(AssemblerRun& run, int kind, uint32_t first, uint32_t count);
// After pass 2 on banked chips: the bank convert area's offsets, as the area will cut
// them (at most 512 words).
void observeConvertArea(AssemblerRun& run);
// The opcode table just loaded (pass 0).
void observeChip(const AssemblerRun& run);
// True when an observer takes the statements of pass 2.
bool observingStatements(const AssemblerRun& run);
// What a statement was before its handlers saw it (taken only while observingStatements):
// whether its branch was on and whether a macro definition was open.
struct StatementStart {
  bool assembling = true;
  bool defining = false;
};
StatementStart startStatement(AssemblerRun& run, bool inExpansion);
// Tells of the statement at `file`:`line` just processed from `start`; `call`: it was
// expanded as a macro call.
void observeStatement(AssemblerRun& run, const StatementStart& start, const std::string& file,
                      unsigned line, const std::string& text, bool call);
// Tells of a statement whose kind the caller knows (ZQASM_STATEMENT_...).
void observeStatementKind(AssemblerRun& run, int kind, const std::string& file, unsigned line,
                          const std::string& text);
// Asked before each line read from a file and each macro body line: true when the host's
// observer wants the run to end. The run then stops as a fatal stop does (fatalError),
// with stopRequested telling the driver to skip all end-of-run work.
bool observerStopsRun(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_SERVICES_RUN_OBSERVER_H_
