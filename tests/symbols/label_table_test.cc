#include "symbols/label_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"
#include "platform/platform.h"

namespace zq {
namespace {

// A run with a one-instruction chip ("NOP") that feeds lines to defineLabel.
class LabelTableTest : public ::testing::Test {
 protected:
  struct Lines {
    Lines() {
      OpcodeEntry nop{};
      std::memcpy(nop.mnemonic, "NOP", 4);
      run.chip.opcodes = {nop, OpcodeEntry{}};
      run.chip.instructionCount = 1;
    }
    // Offers `line` as the next source line of the pass, at `address`.
    int define(const std::string& line, int pass, int address = 0) {
      run.source.pass = pass;
      run.source.passLineCount += 1;
      run.source.statementAddress = address;
      after = 0;
      return defineLabel(run, line, pass, 7, after, -1);
    }
    // Starts pass 2 over the same lines.
    void startPass2() { run.source.passLineCount = 0; }

    AssemblerRun run;
    size_t after = 0;
  };

  int define(const std::string& line, int pass, int address = 0) {
    return lines_.define(line, pass, address);
  }
  void startPass2() { lines_.startPass2(); }

  Lines lines_;
  AssemblerRun& run_ = lines_.run;
  size_t& after_ = lines_.after;
};

TEST_F(LabelTableTest, RecognisesLabelsAndStatementForms) {
  struct Case {
    const char* line;
    int result;
    size_t after;         // checked when result is 1
    const char* defined;  // name found afterwards, or nullptr
  };
  const Case cases[] = {
      {"LOOP: NOP", 1, 4, "LOOP"},
      {"  INDENT:NOP", 1, 8, "INDENT"},
      {"FIRST NOP", 1, 5, "FIRST"},
      {" LATER NOP", 0, 0, nullptr},
      {"NOP", resultNotLabel, 0, nullptr},
      {"nop 1", resultNotLabel, 0, nullptr},
      {"NOP: NOP", 1, 3, "NOP"},
      {"END", resultEndOfSource, 0, nullptr},
      {"   end", resultEndOfSource, 0, nullptr},
      {".END", resultEndOfSource, 0, nullptr},
      {"End: x", resultEndOfSource, 0, nullptr},
      {"#include a.inc", -1, 0, nullptr},
      {".CHIP ZQ4460", -1, 0, nullptr},
      {"A\\B: NOP", 1, 3, "A\\B"},
      {"?Q_1 NOP", 1, 4, "?Q_1"},
      {"_U", 1, 2, "_U"},
      {"1ABC: NOP", -1, 0, nullptr},
      {"BAD-NAME: NOP", -1, 0, nullptr},
      {"", 0, 0, nullptr},
      {" \t ", 0, 0, nullptr},
      {"; comment", 0, 0, nullptr},
  };
  int address = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(define(c.line, 1, ++address), c.result);
    if (c.result == 1) {
      EXPECT_EQ(after_, c.after);
    }
    if (c.defined != nullptr) {
      EXPECT_EQ(findLabel(run_, c.defined), address);
    }
  }
  EXPECT_EQ(run_.labels.count, 7);
  EXPECT_TRUE(run_.diagnostics.lineErrors.empty());  // error 0 is raised in pass 2 only
  EXPECT_EQ(define("9X: NOP", 2), -1);
  EXPECT_EQ(run_.diagnostics.lineErrors, std::vector<int>{0});
}

TEST_F(LabelTableTest, SegmentsConditionsAndMacroDefinitions) {
  run_.source.dataSegmentOpen = 1;
  EXPECT_EQ(define("RAMX: DS 1", 1), -1);
  EXPECT_EQ(define("END", 1), -1);
  run_.source.dataSegmentOpen = 0;

  // A label in a skipped conditional block or a macro body is passed over: result 1,
  // nothing added.
  run_.source.assemblingOn = 0;
  EXPECT_EQ(define("SKIPPED: NOP", 1), 1);
  run_.source.assemblingOn = 1;
  run_.source.macroDefinitionOpen = 1;
  // In a macro body a mnemonic is never the operation: the label rules decide.
  EXPECT_EQ(define("  NOP", 1), 0);
  EXPECT_EQ(define("NOP", 1), 1);
  EXPECT_EQ(define("INBODY: NOP", 1), 1);
  run_.source.macroDefinitionOpen = 0;
  EXPECT_EQ(run_.labels.count, 0);
  EXPECT_EQ(findLabel(run_, "SKIPPED"), -1);

  EXPECT_EQ(define("NAMED: MACRO", 1), 1);
  EXPECT_EQ(run_.labels.lastLabelName, "NAMED");
  EXPECT_EQ(define("  NOP", 1), resultNotLabel);
  EXPECT_EQ(run_.labels.lastLabelName, "");
}

TEST_F(LabelTableTest, LongNamesAreCutAndNeverFound) {
  const std::string longA = std::string(64, 'A') + "XXXXXX";
  const std::string longB = std::string(64, 'A') + "YYYYYY";
  EXPECT_EQ(define(longA + ": NOP", 1, 1), 1);
  EXPECT_EQ(define(longB + ": NOP", 1, 2), 1);
  ASSERT_EQ(run_.labels.nodes.size(), 2u);
  EXPECT_EQ(run_.labels.nodes[0].name, std::string(64, 'A'));
  EXPECT_EQ(run_.labels.lastLabelName, longB);
  EXPECT_EQ(run_.labels.nodes[0].duplicate, 0);
  EXPECT_EQ(run_.labels.nodes[1].duplicate, 1);  // the cut names agree
  EXPECT_EQ(findLabel(run_, longA), -1);
  EXPECT_EQ(findLabel(run_, std::string(64, 'A')), 1);

  startPass2();
  EXPECT_EQ(define(longA + ": NOP", 2, 1), 1);
  EXPECT_EQ(define(longB + ": NOP", 2, 2), 1);
  EXPECT_TRUE(run_.diagnostics.lineErrors.empty());
}

TEST_F(LabelTableTest, DuplicatesAndCaseOption) {
  struct Case {
    int caseSensitive;
    const char* second;            // defined at 11 after "Loop" at 10
    int upperAddress;              // what "LOOP" resolves to
    std::vector<int> pass2Errors;  // of the second line
  };
  const Case cases[] = {
      {0, "LOOP: NOP", 10, {5}},
      {1, "LOOP: NOP", 11, {}},
      {1, "Loop: NOP", -1, {5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    Lines t;
    t.run.source.labelCaseSensitive = c.caseSensitive;
    t.define("Loop: NOP", 1, 10);
    t.define(c.second, 1, 11);
    t.startPass2();
    t.define("Loop: NOP", 2, 10);
    EXPECT_TRUE(t.run.diagnostics.lineErrors.empty());
    t.define(c.second, 2, 11);
    EXPECT_EQ(t.run.diagnostics.lineErrors, c.pass2Errors);
    EXPECT_EQ(findLabel(t.run, "Loop"), 10);  // the first definition wins
    EXPECT_EQ(findLabel(t.run, "LOOP"), c.upperAddress);
  }
}

TEST_F(LabelTableTest, MovedLabelReportsError26) {
  define("HERE: NOP", 1, 0x12);
  startPass2();
  testing::internal::CaptureStdout();
  define("HERE: NOP", 2, 0x1A);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR: 12, 1a\n");
  EXPECT_EQ(run_.diagnostics.lineErrors, std::vector<int>{26});
}

TEST_F(LabelTableTest, CapacityIs8192Labels) {
  std::string message;
  setMessageSink(
      [](const char* text, void* context) { *static_cast<std::string*>(context) = text; },
      &message);
  for (int i = 0; i < kMaxLabels; ++i) {
    ASSERT_EQ(define("L" + std::to_string(i) + ": NOP", 1, i), 1);
  }
  EXPECT_EQ(findLabel(run_, "L8191"), 8191);
  EXPECT_EQ(findLabel(run_, "l0"), 0);
  EXPECT_EQ(run_.source.fatalError, 0);
  EXPECT_EQ(define("L8192: NOP", 1, 8192), resultFatal);
  setMessageSink(nullptr, nullptr);
  EXPECT_EQ(run_.source.fatalError, 1);
  EXPECT_EQ(message, "Label quantities can't great than 8192 ");
  EXPECT_EQ(findLabel(run_, "L8192"), -1);
}

}  // namespace
}  // namespace zq
