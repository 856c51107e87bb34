// Macro calls expanded on a bare run object: what the call line keeps, and the budgets.
#include "driver/macro_expansion.h"

#include <gtest/gtest.h>

#include <vector>

#include "directives/macro.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "test_support.h"
#include "zqasm/assembler.h"

namespace zq {
namespace {

// Makes M, a macro without parameters whose body is its .ENDM alone, the run's only one.
void defineEmptyMacro(AssemblerRun& run) {
  MacroRecord record;
  record.name = "M";
  parseMacroParameters(record, "", 10);
  record.body.push_back({" .ENDM\n", 12});
  run.macros.macroTable.push_back(record);
  run.macros.macroCount = 1;
}

// The call of macro M (defined at pass line 10, body ".ENDM"): only the encoder's error 1
// of the call line is dropped, the rest is written under it in pass 2; the definition
// check compares whole line counts; the line and byte budgets refuse a call with error 70,
// the byte budget also for what expansions wrote, ended or in progress.
TEST(MacroExpansion, CallLineAndBudgets) {
  // A 28-line macro called for every word of a 12K ROM stays well inside the budgets.
  static_assert(kMaxExpandedLines >= 1000000 && kMaxExpandedBytes >= (uint64_t{64} << 20), "");
  constexpr int kDone = resultMacroDone, kRefused = resultMacroTooDeep;
  const struct {
    int pass;
    int64_t passLineCount;
    int32_t lines;
    uint64_t bytes;
    uint64_t ended, inProgress;  // written by expansions of the pass
    int result;
    std::vector<int> pending;  // after the call, of errors 1 and 5 raised before it
    std::string written;
  } cases[] = {
      {2, 65536 + 5, 0, 0, 0, 0, kDone, {}, "m.asm(9) : Error 5 ->  DUPLICATE LABEL\n"},
      {2, 5, 0, 0, 0, 0, -1, {1, 5, 29}, ""},
      {1, 65536 + 5, kMaxExpandedLines - 1, kMaxExpandedBytes - 1, 0, 0, kDone, {}, ""},
      {2, 11, kMaxExpandedLines, 0, 0, 0, kRefused, {5, 70}, ""},
      {2, 11, 0, kMaxExpandedBytes, 0, 0, kRefused, {5, 70}, ""},
      {2, 11, 0, 0, kMaxExpandedBytes, 0, kRefused, {5, 70}, ""},
      {2, 11, 0, 0, kMaxExpandedBytes - 1000, 1000, kRefused, {5, 70}, ""},
      {2, 11, 0, 0, kMaxExpandedBytes - 1001, 1000, kDone, {},
       "m.asm(9) : Error 5 ->  DUPLICATE LABEL\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.passLineCount);
    AssemblerRun run;
    run.files.error = std::tmpfile();
    run.source.includeFileNames[0] = "m.asm";
    run.source.passLineCount = c.passLineCount;
    run.source.field[1] = "M";
    run.macros.expandedLines = c.lines;
    run.macros.expandedBytes = c.bytes;
    run.macros.expansionOutput = c.ended;
    if (c.inProgress > 0) {
      run.macros.macroNestingDepth = 1;
      run.source.outputTextBytes = 4000 + c.inProgress;
      run.macros.outputAtExpansionStart = 4000;
    }
    defineEmptyMacro(run);
    raiseError(run, 1);
    raiseError(run, 5);
    EXPECT_EQ(expandMacro(run, "L: M\n", c.pass, 9, 1), c.result);
    EXPECT_EQ(run.diagnostics.lineErrors, c.pending);
    EXPECT_EQ(zqtest::streamText(run.files.error), c.written);
    if (c.result == kDone) {
      EXPECT_EQ(run.macros.expandedLines, c.lines + 1);
      EXPECT_EQ(run.macros.expandedBytes, c.bytes + 7);
    }
  }
}

// The work budget of a pass: expanded characters and evaluator steps, of the expansions
// ended and of the one in progress, together. Pass 1 notes the first call it refuses for
// it; pass 2 refuses from that call on whatever its own work, and on its own only at
// twice the budget.
TEST(MacroExpansion, WorkBudget) {
  constexpr int kDone = resultMacroDone, kRefused = resultMacroTooDeep;
  constexpr uint64_t kWork = kMaxExpansionWork;
  const struct {
    int pass;
    uint64_t bytes, ended, inProgress;  // characters; steps of the ended and current ones
    uint64_t calls, firstOver;          // callsChecked and firstCallOverWork before
    int result;
    uint64_t firstOverAfter;
  } cases[] = {
      {1, 1000, kWork - 2001, 1000, 7, 0, kDone, 0},
      {1, 1000, kWork - 2000, 1000, 7, 0, kRefused, 8},
      {1, 0, 0, kWork, 7, 5, kRefused, 5},
      {2, 0, 0, 0, 7, 9, kDone, 9},
      {2, 0, 0, 0, 8, 9, kRefused, 9},
      {2, 0, 2 * kWork - 1, 0, 7, 0, kDone, 0},
      {2, 1, 2 * kWork - 1, 0, 7, 0, kRefused, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pass << " " << c.ended << " " << c.calls);
    AssemblerRun run;
    run.source.passLineCount = 20;
    run.source.field[1] = "M";
    run.macros.expandedBytes = c.bytes;
    run.macros.expansionSteps = c.ended;
    run.macros.callsChecked = c.calls;
    run.macros.firstCallOverWork = c.firstOver;
    if (c.inProgress > 0) {
      run.macros.macroNestingDepth = 1;
      run.source.evaluationSteps = 500 + c.inProgress;
      run.macros.stepsAtExpansionStart = 500;
    }
    defineEmptyMacro(run);
    EXPECT_EQ(expandMacro(run, " M\n", c.pass, 21, 1), c.result);
    EXPECT_EQ(run.macros.callsChecked, c.calls + 1);
    EXPECT_EQ(run.macros.firstCallOverWork, c.firstOverAfter);
    if (c.pass == 2 && c.result == kRefused) {
      EXPECT_EQ(run.diagnostics.lineErrors, std::vector<int>{70});
    }
  }
}

}  // namespace
}  // namespace zq
