// The condition language, IFSAME/IFDIFF, IFBLANK and the nesting of the condition stacks,
// on a bare run object with a few constants.
#include "directives/condition.h"

#include <gtest/gtest.h>

#include <vector>

#include "services/run.h"
#include "test_support.h"
#include "zqasm/assembler.h"

namespace zq {
namespace {

using Errors = std::vector<int>;

class ConditionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run.constants.records.resize(kMaxConstants + 1);
    for (const char* line : {"P EQU 5", "Q EQU 3", "R EQU 7", "ZERO EQU 0", "BIG EQU 10000H"})
      defineConstant(run, line, 1, 1, "EQU");
    // Macro 0 is being expanded with the arguments 1 and a blank, one more than named.
    MacroRecord macro;
    macro.parameterNames = {"A", "B"};
    macro.arguments = {"1", "", "x"};
    macro.argumentCount = 3;
    run.macros.macroTable.push_back(macro);
  }
  const Errors& errors() const { return run.diagnostics.lineErrors; }
  AssemblerRun run;
};

TEST_F(ConditionTest, ConditionLanguage) {
  const struct {
    const char* text;
    int code;
    int expected;
  } cases[] = {
      {" P .GT. Q && Q .LT. R || ZERO\n", kDirIf, 1},
      {" 1 || 0 && 0", kDirIf, 0},  // left to right: (1 || 0) && 0
      {" (P)>(Q)", kDirIf, 1},
      {" 2<<2 = 8", kDirIf, 1},
      {" P>=5&&P<=5&&P==5&&P<>4&&P.ne.4&&P.Ge.5", kDirIf, 1},
      {" P .GT.", kDirIf, 1},  // no right operand: compared with 0
      {" BIG", kDirIf, 0},     // only 16 bits count
      {" !ZERO && !NOSUCH && !!P", kDirIf, 1},
      {" 1 ; .XX.", kDirIf, 1},
      {" ZERO", kDirIfDef, 1},
      {" NOSUCH", kDirIfDef, 0},
      {" ZERO", kDirIf, 0},
      // Malformed: nothing before an operator, unknown or missing words, empty texts.
      {" .GT.", kDirIf, -1},
      {" &&", kDirIf, -1},
      {" P .XX. 1", kDirIf, -1},
      {" P .", kDirIf, -1},
      {"", kDirIf, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(evaluateCondition(run, c.text, c.code, 2), c.expected) << c.text;
  }
  EXPECT_EQ(errors(), Errors{});
  // Inside an expansion " .PARAMCOUNT" right after the keyword is the argument count.
  run.source.macroContext = 0;
  EXPECT_EQ(evaluateCondition(run, " .PARAMCOUNT = 3", kDirIf, 2), 1);
  EXPECT_EQ(evaluateCondition(run, "  .PARAMCOUNT = 3", kDirIf, 2), 0);
}

// Warning 5, when asked for: an IF or ELSEIF operand taken as 0 because it names a
// symbol that no table knows; pass 2 only, and not for IFDEF and IFNDEF, defined names,
// labels (defined, although value operands do not see them) or FFH-style numbers.
TEST_F(ConditionTest, UndefinedSymbolWarning) {
  run.labels.nodes.push_back({"START", 0, 0, 0x10});
  run.labels.count = 1;
  run.labels.firstByName.insert("START", 0);
  const struct {
    const char* text;
    int code;
    int pass;
    bool warns;
  } cases[] = {
      {" DEBUGG == 0", kDirIf, 2, true},
      {" NOSUCH+1 == 1", kDirElseIf, 2, true},
      {" P == 5 && !NOSUCH", kDirIf, 2, true},
      {" DEBUGG == 0", kDirIf, 1, false},
      {" NOSUCH", kDirIfDef, 2, false},
      {" NOSUCH", kDirIfNDef, 2, false},
      {" P == 5 && ZERO || !Q", kDirIf, 2, false},
      {" START", kDirIf, 2, false},
      {" FFH > 0", kDirIf, 2, false},
      {" 1-5", kDirIf, 2, false},  // fails, but names no symbol
  };
  for (int on = 0; on <= 1; ++on) {
    ASSERT_EQ(ZqasmSetWarnings(on ? "undefined-in-condition" : "mixed-operators"), 0);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.text);
      run.diagnostics.lineWarnings.clear();
      evaluateCondition(run, c.text, c.code, c.pass);
      EXPECT_EQ(run.diagnostics.lineWarnings,
                on && c.warns ? std::vector<int>{kWarnUndefinedInCondition} : std::vector<int>{});
    }
  }
  ZqasmSetWarnings("");
  EXPECT_EQ(errors(), Errors{});
}

// Warnings 7 to 9 of an IF or ELSEIF operand: pass 2 only, not for IFDEF, and the value
// stays what it was without them. The condition drops its brackets, so that the grouping
// written is not known: no warning 9 then, be it right ("P+(1&3)" is P+1&3, 6) or not.
TEST_F(ConditionTest, ValueWarnings) {
  const struct {
    const char* text;
    int code;
    int pass;
    std::vector<int> warnings;
    int value;
  } cases[] = {
      {" P+1&3 == 2", kDirIf, 2, {kWarnMixedOperators}, 0},
      {" P+1&3 == 2", kDirIf, 1, {}, 0},
      {" Q-R+P == 1", kDirElseIf, 2, {kWarnNegativeUnsigned}, 0},
      {" P == -1", kDirIf, 2, {kWarnValueTruncated}, 0},
      {" P+1&3", kDirIfDef, 2, {}, 1},
      {" P+(1&3) == 6 && R-Q == 4", kDirIf, 2, {}, 1},
  };
  for (int on = 0; on <= 1; ++on) {
    ASSERT_EQ(ZqasmSetWarnings(on ? "truncation,negative-unsigned,mixed-operators" : ""), 0);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.text);
      run.source.pass = c.pass;
      run.source.operandChecks = on && c.pass == 2;
      run.diagnostics.lineWarnings.clear();
      EXPECT_EQ(evaluateCondition(run, c.text, c.code, c.pass), c.value);
      EXPECT_EQ(run.diagnostics.lineWarnings, on ? c.warnings : std::vector<int>{});
    }
  }
  run.source.operandChecks = false;
  ZqasmSetWarnings("");
  EXPECT_EQ(errors(), Errors{});
}

TEST_F(ConditionTest, SameDiffAndBlank) {
  const struct {
    const char* text;
    int code;
    int pass;
    int expected;
    Errors errors;
  } cases[] = {
      {" \"AB\", \"BA\"", kDirIfSame, 2, 1, {}},  // equal character sums
      {" \"AB\",'AB'", kDirIfSame, 2, 0, {}},
      {" P, 2+3", kDirIfDiff, 2, 0, {}},
      {" P,5,6", kDirIfSame, 2, -1, {20}},
      {" P", kDirIfDiff, 1, -1, {}},  // refused in pass 1 as well: no level to lose
      {" NOSUCH, 1", kDirIfSame, 1, -1, {}},
      {" B ; blank", kDirIfBlank, 2, 1, {}},
      {" a", kDirIfNBlank, 2, 1, {}},  // names without regard to case
      {" C", kDirIfBlank, 2, 1, {56}},
      {" \n", kDirIfNBlank, 2, 1, {55}},
  };
  run.source.macroContext = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    run.diagnostics.lineErrors.clear();
    const bool blank = c.code == kDirIfBlank || c.code == kDirIfNBlank;
    EXPECT_EQ(blank ? testBlankParameter(run, c.text, c.code, c.pass)
                    : compareOperands(run, c.text, c.code, c.pass),
              c.expected);
    EXPECT_EQ(errors(), c.errors);
  }
}

// Assembling after each directive, as result/flag, on the file stack: an IF in a skipped
// region stays off through its ELSE; an inner ENDIF in an ELSE branch that is on restores on;
// a malformed ELSEIF that is evaluated is error 20.
TEST_F(ConditionTest, NestingAndDepth) {
  const struct {
    int code;
    const char* text;
  } lines[] = {{kDirIf, " 0"},     {kDirIf, " 1"},     {kDirElse, ""},          {kDirEndIf, ""},
               {kDirElse, ""},     {kDirIf, " 1"},     {kDirEndIf, ""},         {kDirEndIf, ""},
               {kDirIfNDef, " P"}, {kDirElseIf, " 1"}, {kDirElseIf, " 1"},      {kDirElse, ""},
               {kDirEndIf, ""},    {kDirIf, " 0"},     {kDirElseIf, " P .XX."}, {kDirEndIf, ""},
               {kDirIf, " &&"}};
  std::string flags;
  for (const auto& line : lines) {
    const int result = handleConditional(run, line.code, line.text, 2);
    flags += std::to_string(result) + "/" + std::to_string(run.source.assemblingOn) + " ";
  }
  EXPECT_EQ(flags, "0/0 0/0 0/0 0/0 0/1 0/1 0/1 0/1 0/0 0/1 0/0 0/0 0/1 0/0 -1/0 0/1 -1/1 ");
  EXPECT_EQ(run.conditions.sourceConditions.depth, 0);

  for (int level = 1; level <= 22; ++level) handleConditional(run, kDirIf, " 1", 2);
  EXPECT_EQ(run.conditions.sourceConditions.depth, 21);
  EXPECT_EQ(errors(), (Errors{20, 34}));
}

}  // namespace
}  // namespace zq
