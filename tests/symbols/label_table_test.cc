#include "symbols/label_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/run.h"

namespace zq {
namespace {

// A run with a one-instruction chip ("NOP"); define() offers the next line of a pass.
struct Lines {
  Lines() {
    OpcodeEntry nop{};
    std::memcpy(nop.mnemonic, "NOP", 4);
    run.chip.opcodes = {nop, OpcodeEntry{}};
    run.chip.instructionCount = 1;
    indexMnemonics(run.chip);
  }
  int define(const std::string& line, int pass, int address = 0) {
    run.source.pass = pass;
    run.source.passLineCount += 1;
    run.source.statementAddress = address;
    after = 0;
    return defineLabel(run, line, pass, 7, after, -1);
  }
  AssemblerRun run;
  size_t after = 0;
};

class LabelTableTest : public ::testing::Test, public Lines {};

TEST_F(LabelTableTest, StatementForms) {
  const int kNot = resultNotLabel, kEnd = resultEndOfSource;
  // `after` is checked for a label; `defined` is the name found afterwards ("" for none).
  // `mode` opens a data segment (D), skips a conditional block (S) or a macro body (M).
  // clang-format off
  struct Case { const char* line; int result; size_t after; const char* defined; char mode = 0; };
  const Case cases[] = {
      {"LOOP: NOP", 1, 4, "LOOP"}, {"  INDENT:NOP", 1, 8, "INDENT"}, {"FIRST NOP", 1, 5, "FIRST"},
      {" LATER NOP", 0, 0, ""}, {"NOP", kNot, 0, ""}, {"nop 1", kNot, 0, ""},
      {"NOP: NOP", 1, 3, "NOP"}, {"END", kEnd, 0, ""}, {"   end", kEnd, 0, ""},
      {".END", kEnd, 0, ""}, {"End: x", kEnd, 0, ""}, {"#include a.inc", -1, 0, ""},
      {".CHIP ZQ4460", -1, 0, ""}, {"A\\B: NOP", 1, 3, "A\\B"}, {"?Q_1 NOP", 1, 4, "?Q_1"},
      {"_U", 1, 2, "_U"}, {"1ABC: NOP", -1, 0, ""}, {"BAD-NAME: NOP", -1, 0, ""},
      {"", 0, 0, ""}, {" \t ", 0, 0, ""}, {"; comment", 0, 0, ""},
      {"RAMX: DS 1", -1, 0, "", 'D'}, {"END", -1, 0, "", 'D'}, {"SKIPPED: NOP", 1, 0, "", 'S'},
      {"  NOP", 0, 0, "", 'M'}, {"NOP", 1, 0, "", 'M'}, {"INBODY: NOP", 1, 0, "", 'M'}};
  // clang-format on
  int address = 0;
  for (const Case& c : cases) {
    run.source.dataSegmentOpen = c.mode == 'D';
    run.source.assemblingOn = c.mode != 'S';
    run.source.macroDefinitionOpen = c.mode == 'M';
    EXPECT_EQ(define(c.line, 1, ++address), c.result) << c.line;
    if (c.result == 1 && c.mode == 0) {
      EXPECT_EQ(after, c.after) << c.line;
    }
    if (*c.defined) {
      EXPECT_EQ(findLabel(run, c.defined), address) << c.line;
    }
  }
  run.source.macroDefinitionOpen = 0;
  EXPECT_EQ(run.labels.count, 7);                   // none from the rows with a mode
  EXPECT_TRUE(run.diagnostics.lineErrors.empty());  // error 0 is raised in pass 2 only
  EXPECT_EQ(define("NAMED: MACRO", 1), 1);
  EXPECT_EQ(run.labels.lastLabelName(), "NAMED");
  EXPECT_EQ(define("  NOP", 1), kNot);
  EXPECT_EQ(run.labels.lastLabelName(), "");
  EXPECT_EQ(define("9X: NOP", 2), -1);
  EXPECT_EQ(run.diagnostics.lineErrors, std::vector<int>{0});
}

TEST_F(LabelTableTest, LongNamesAreCutAndNeverFound) {
  const std::string cut(64, 'A'), longA = cut + "XXXXXX", longB = cut + "YYYYYY";
  EXPECT_EQ(define(longA + ": NOP", 1, 1), 1);
  EXPECT_EQ(define(longB + ": NOP", 1, 2), 1);
  ASSERT_EQ(run.labels.nodes.size(), 2u);
  EXPECT_EQ(run.labels.nodes[0].name, cut);
  EXPECT_EQ(run.labels.lastLabelName(), cut);  // as its node keeps it
  EXPECT_EQ(run.labels.nodes[0].duplicate, 0);
  EXPECT_EQ(run.labels.nodes[1].duplicate, 1);  // the cut names agree
  EXPECT_EQ(findLabel(run, longA), -1);
  EXPECT_EQ(findLabel(run, cut), 1);
  run.source.passLineCount = 0;
  EXPECT_EQ(define(longA + ": NOP", 2, 1), 1);
  EXPECT_EQ(define(longB + ": NOP", 2, 2), 1);
  EXPECT_TRUE(run.diagnostics.lineErrors.empty());
}

TEST_F(LabelTableTest, DuplicatesUnderTheCaseOptionAndMovedLabels) {
  // "Loop" at 10, then `second` at 11: errors of the second in pass 2 and where "LOOP" is.
  // clang-format off
  struct Case { int caseSensitive; const char* second; std::vector<int> errors; int upper; };
  const Case cases[] = {
      {0, "LOOP: NOP", {5}, 10}, {1, "LOOP: NOP", {}, 11}, {1, "Loop: NOP", {5}, -1}};
  // clang-format on
  for (const auto& c : cases) {
    Lines t;
    t.run.source.labelCaseSensitive = c.caseSensitive;
    t.define("Loop: NOP", 1, 10);
    t.define(c.second, 1, 11);
    t.run.source.passLineCount = 0;
    t.define("Loop: NOP", 2, 10);
    t.define(c.second, 2, 11);
    EXPECT_EQ(t.run.diagnostics.lineErrors, c.errors) << c.second;
    EXPECT_EQ(findLabel(t.run, "Loop"), 10);  // the first definition wins
    EXPECT_EQ(findLabel(t.run, "LOOP"), c.upper) << c.second;
  }
  define("HERE: NOP", 1, 0x12);
  run.source.passLineCount = 0;
  testing::internal::CaptureStdout();
  define("HERE: NOP", 2, 0x1A);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR: 12, 1a\n");
  EXPECT_EQ(run.diagnostics.lineErrors, std::vector<int>{26});
}

TEST_F(LabelTableTest, The8193rdLabelIsFatal) {
  std::string message;
  setMessageSink([](const char* text, void* out) { *static_cast<std::string*>(out) = text; },
                 &message);
  for (int i = 0; i < kMaxLabels; ++i)
    ASSERT_EQ(define("L" + std::to_string(i) + ": NOP", 1, i), 1);
  EXPECT_EQ(findLabel(run, "L8191"), 8191);
  EXPECT_EQ(findLabel(run, "l0"), 0);
  EXPECT_EQ(run.source.fatalError, 0);
  EXPECT_EQ(define("L8192: NOP", 1, 8192), resultFatal);
  setMessageSink(nullptr, nullptr);
  EXPECT_EQ(run.source.fatalError, 1);
  EXPECT_EQ(message, "Label quantities can't great than 8192 ");
  EXPECT_EQ(findLabel(run, "L8192"), -1);
}

}  // namespace
}  // namespace zq
