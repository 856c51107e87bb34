// The tail of every assembled instruction: bank rules, the record and its ".MAP" line,
// and the advance of the location counter.
#include "chip/bank_fixup.h"

#include <cstdio>

#include "driver/run.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "source/source_state.h"
#include "chip/object_file.h"

namespace zq {

namespace {

// Where in finishInstruction the bank rules are applied.
enum class BankRuleStep {
  beforeRecord,  // CPHL addresses, NOP at the last word of banks 0 and 1
  afterAdvance,  // the location counter jumps over the bank convert area
};

// ---------------------------------------------------------------------------------------
// Banked-chip rules. Not built yet: every chip takes the plain path. This is the one place
// that the bank rules replace; the calls below are already where the rules apply.
void applyBankRules(AssemblerRun& run, int pass, BankRuleStep step) {
  (void)run;
  (void)pass;
  (void)step;
}
// ---------------------------------------------------------------------------------------

// One ".MAP" record. The file name is written once and then "*" while it stays the same.
void writeMapRecord(AssemblerRun& run, uint32_t lineNumber) {
  const SourceState& s = run.source;
  bool expanding = s.macroContext != -1;
  const std::string* fileName = &run.macros.macroDefinitionFile;
  if (!expanding) {
    int level = s.includeLevel;
    if (level < 0 || level > kMaxIncludeLevel) level = 0;
    fileName = &s.includeFileNames[static_cast<size_t>(level)];
  }
  const char* shown = "*";
  if (!equalsNoCase(*fileName, run.object.mapFileName)) {
    run.object.mapFileName = *fileName;
    shown = fileName->c_str();
  }
  std::fprintf(run.files.map, "%04X %d %d\n%s\n", static_cast<unsigned>(s.statementAddress),
               static_cast<int>(lineNumber), expanding ? run.macros.macroNestingDepth : 0, shown);
}

}  // namespace

int finishInstruction(AssemblerRun& run, int byteCount, int pass, uint32_t lineNumber) {
  SourceState& s = run.source;
  applyBankRules(run, pass, BankRuleStep::beforeRecord);
  if (pass == 2) {
    if (!recordInstruction(run, byteCount, s.statementAddress)) {
      showMessage("Fatal ERROR : InsertAddressTable==NULL");
      s.fatalError = 1;
      return resultFatal;
    }
    if (run.files.map != nullptr) writeMapRecord(run, lineNumber);
  }
  s.lastCodeAddress = s.locationCounter;
  s.advanceLocationCounter(1);
  applyBankRules(run, pass, BankRuleStep::afterAdvance);
  return 1;
}

}  // namespace zq
