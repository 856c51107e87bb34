// The assembly driver: prepares a run, runs pass 0, 1 and 2 and does the end-of-run
// work. The only place that decides how many passes run.
#include "driver/driver.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "chip/chip_file.h"
#include "chip/object_file.h"
#include "driver/pass_loop.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/output_files.h"
#include "services/run.h"
#include "services/run_observer.h"
#include "symbols/constant_table.h"
#include "symbols/expression.h"
#include "symbols/substitution.h"

namespace zq {

namespace {

// Longest absolute source path kept (a 511-character buffer); a longer one is used as
// the host gave it.
constexpr size_t kMaxSourcePath = 510;
// Programs above this top address are banked.
constexpr int32_t kUnbankedRomTop = 4096;
// Highest ROM top of a run: instruction records hold 16-bit addresses.
constexpr int32_t kMaxProgramRomTop = 0xFFFF;
// Table sizes fixed by the formats that use them.
constexpr size_t kConstantRecords = kMaxConstants + 1;  // index 0 unused
constexpr size_t kAddressFlags = 65536;
constexpr size_t kMacroRecords = 256;
// A table ROM beyond this many cells is refused like a failed allocation: no chip comes
// near it, and a top address near 2^31 would otherwise ask for gigabytes.
constexpr int64_t kMaxTableRomCells = 0x100000;

// Allocates the run's tables. False when memory cannot be had or a size is absurd.
bool allocateTables(AssemblerRun& run) {
  try {
    // Record 0 is never used; the others are added as constants are entered.
    run.constants.records.assign(1, ConstantRecord{});
    run.constants.records.reserve(kConstantRecords);
    int32_t tableRomTop = run.params->tableRomTop;
    run.segments.tableRomTop = tableRomTop;
    if (static_cast<int64_t>(tableRomTop) + 1 > kMaxTableRomCells) return false;
    if (tableRomTop >= 0)
      run.segments.tableRom.assign(static_cast<size_t>(tableRomTop) + 1, 0xFFFF);
    // Only banked chips store far targets (every reader checks the size).
    if (run.source.bankedRom) run.object.farTargetTable.assign(kFarTargetEntries, 0xFFFF);
    run.object.addressUsed.assign(kAddressFlags, false);
    run.macros.macroTable.reserve(kMacroRecords);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// The ROM top that the run refuses before pass 0: one above the 16-bit address space,
// which no instruction record can reach and no image can be written for. The run stops
// with its own fatal message instead of ending without an image and without an error.
bool refuseProgramRomTop(AssemblerRun& run) {
  const int32_t top = run.source.programRomTop;
  if (top <= kMaxProgramRomTop) return false;
  reportFatal(run, MessageOwner::kActiveWindow, "Fatal ERROR : PROGRAM ROM TOP %lXh IS ABOVE FFFFh",
              static_cast<unsigned long>(top));
  return true;
}

void writeTotals(FILE* stream, const DiagnosticsState& d) {
  if (stream != nullptr)
    std::fprintf(stream, "\n%d Error(s), %d Warning(s)\n", d.errorCount, d.warningCount);
}

// One run on a fresh run object. Same results as runAssembly.
int assemble(AssemblerRun& run, AssemblerParams* params) {
  SourceState& s = run.source;
  run.params = params;

  std::string givenPath = slotText(params->sourcePath, sizeof params->sourcePath);
  std::string sourcePath = fullPath(givenPath);
  if (sourcePath.empty() || sourcePath.size() > kMaxSourcePath) sourcePath = givenPath;

  s.programRomTop = params->programRomTop;
  s.bankedRom = s.programRomTop > kUnbankedRomTop;
  s.labelCaseSensitive = params->labelCaseSensitive;

  if (prepareOutputFiles(run, sourcePath) < 0) return -1;
  if (!allocateTables(run)) {
    closeOutputFiles(run);
    showMessage("Memory alloc fail (%d)\n", 1);
    return 0;
  }
  // Everything else of the run-wide reset is the fresh run object itself.

  // Pass 0 finds the chip, pass 1 defines the symbols, pass 2 emits code and listings.
  // A stop after any pass skips the rest but never the end of the run.
  const bool refused = refuseProgramRomTop(run);
  for (int pass = 0; pass <= 2 && !refused; ++pass) {
    s.pass = pass;
    beginPass(run);
    enterObserverDefines(run, pass);
    int result = assembleFile(run, sourcePath, pass);
    // A conditional left open by the source would have skipped everything after it.
    if (result >= 0 && !s.fatalError) reportOpenConditionals(run, pass);
    // DEFINE names are rebuilt by every pass.
    freeDefineList(run.substitutions);
    // A fatal stop while following includes in pass 0 has shown its own message.
    if (pass == 0 && s.chipState < 1 && result != resultFatal) {
      s.fatalError = 1;
      const char* text = "Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n";
      writeFatalLine(run, text);
      // A chip file that failed to load was reported at its .CHIP line with the reason.
      if (s.chipState != -1) observeDiagnostic(ZQASM_FATAL, "", 0, -1, text);
      break;
    }
    // A stop at the error bound may come from the checks after the pass.
    if (result < 0 || s.fatalError) break;
  }
  // No line is being read from here on: a stop names none.
  s.lineNumber = 0;

  // A run its host stopped ends here: nothing more is raised, shown or written.
  if (s.stopRequested) {
    closeOutputFiles(run);
    releaseOpcodeTable(run);
    return 1;
  }

  // Reported at the head that was never closed, in its own file.
  if (s.macroDefinitionOpen) {
    raiseError(run, 64);
    flushLineDiagnosticsAt(run, run.macros.openHeadFile, run.macros.openHeadLine);
  }
  // The ".EQU" writer also has the label file written.
  if ((run.constants.count > 0 || run.labels.count > 0) && run.files.enabled)
    writeConstantFile(run);
  run.macros.macroTable.clear();
  run.macros.macroCount = 0;
  writeObjectFiles(run);

  // A fatal run ends with the message alone: no totals line. So does an error file that
  // tells of an output not written in full (the failure lines stand in it instead): the
  // listing, symbol and map files are flushed first to learn of theirs.
  if (s.fatalError) {
    showOwnedMessage(MessageOwner::kNone, "Occurred FATAL ERROR !");
  } else {
    if (!run.files.writeFailed) writeTotals(run.files.listing, run.diagnostics);
    flushOutputStreams(run.files);
    if (!run.files.writeFailed) writeTotals(run.files.error, run.diagnostics);
  }
  closeOutputFiles(run);
  releaseOpcodeTable(run);
  // The remaining tables and lists go with the run object. An output that could not be
  // written in full is reported like an output file that cannot be created.
  return run.files.writeFailed ? -1 : 1;
}

}  // namespace

// What every pass starts from. Symbols, macros, counts and the instruction records are
// run-wide and stay.
void beginPass(AssemblerRun& run) {
  SourceState& s = run.source;
  run.conditions = ConditionState{};
  s.dataSegmentOpen = 0;
  s.tableSegmentOpen = 0;
  s.locationCounter = 0;
  s.lineNumber = 0;
  s.lastCodeAddress = 0;
  s.passLineCount = 0;
  s.listingLineCount = 0;
  s.orgCount = 0;
  s.outOfRangeAddress = 0;
  s.includeLevel = 0;
  s.includeFilesOpened = 0;
  s.includeTextRead = 0;
  s.assemblingOn = 1;
  s.macroDefinitionOpen = 0;
  s.fatalError = 0;
  s.chipState = 0;
  s.operandChecks = s.pass == 2 && operandChecksOn();
  // Macro expansions are counted per pass: the limits and the local label ordinals.
  run.macros.expandedLines = 0;
  s.evaluationSteps = 0;
  run.macros.expandedBytes = 0;
  run.macros.expansionOutput = 0;
  run.macros.expansionSteps = 0;
  run.macros.callsChecked = 0;
  s.outputTextBytes = 0;
  run.macros.macroNestingDepth = 0;
  run.macros.expansionFrames.clear();
  for (MacroRecord& record : run.macros.macroTable) record.expansionCount = 0;
  dropLineDiagnostics(run);
}

int runAssembly(AssemblerParams* params) {
  if (params == nullptr) return -1;
  // No exception may reach the host: running out of memory anywhere in the run ends it
  // like a failed table allocation (the run object's streams close as it goes).
  try {
    auto run = std::make_unique<AssemblerRun>();
    return assemble(*run, params);
  } catch (const std::exception&) {
    showMessage("Memory alloc fail (%d)\n", 1);
    return 0;
  }
}

}  // namespace zq
