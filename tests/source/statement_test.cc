// Field splitting, the ORG pre-check and the early exits of the statement router.
#include "source/statement.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "driver/persistent_settings.h"
#include "driver/run.h"

namespace {

using zq::AssemblerRun;

struct SplitCase {
  const char* line;
  int mode;
  int count;
  std::vector<std::string> fields;  // expected field[1..]
};

TEST(StatementSplitFields, Table) {
  const std::string longWord(300, 'W');
  const std::vector<SplitCase> cases = {
      {"A B C D\n", 0, 4, {"A", "B", "C", "D"}},
      {"A B C D\n", 1, 3, {"A", "B", "C D"}},
      {"A B C D E F\n", 0, 4, {"A", "B", "C", "D"}},
      {"L1: JMP L2 + 1 ; back\n", 1, 3, {"L1", "JMP", "L2 + 1 "}},
      {"ORG 100H\n", 0, 2, {"ORG", "100H"}},
      {"L1 ORG 100H\n", 0, 3, {"L1", "ORG", "100H"}},
      {"  \tX: ' '\n", 0, 2, {"X", "' '"}},
      {"X 'A B'\n", 0, 3, {"X", "'A", "B'"}},
      {"A:B\n", 0, 2, {"A", "B"}},
      {".CHIP ZQ4460 ; model\n", 0, 2, {".CHIP", "ZQ4460"}},
      // Fields that get no character are cleared, not left with stale text.
      {"X ", 0, 2, {"X", ""}},
      {"   \n", 0, 1, {""}},
      {"; note\n", 0, 1, {""}},
      {"", 0, -1, {}},
      {" \t ", 0, -1, {}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.line);
    zq::SourceState state;
    for (auto& field : state.field) field = "stale";
    EXPECT_EQ(zq::splitFields(state, c.line, c.mode), c.count);
    for (size_t i = 0; i < c.fields.size(); ++i) EXPECT_EQ(state.field[i + 1], c.fields[i]);
    if (c.count < 0) {
      EXPECT_EQ(state.field[1], "stale");
    }
  }

  // An over-long field keeps its first 255 characters; the next field is not disturbed.
  zq::SourceState state;
  EXPECT_EQ(zq::splitFields(state, longWord + " B\n", 0), 2);
  EXPECT_EQ(state.field[1], std::string(255, 'W'));
  EXPECT_EQ(state.field[2], "B");
  EXPECT_EQ(zq::splitFields(state, "A B " + longWord + " x\n", 1), 3);
  EXPECT_EQ(state.field[3].size(), 255u);
}

struct OrgCase {
  const char* line;
  int pass;
  int result;
  int orgError;
  int counterAfter;  // location counter, starting from 7
  std::vector<int> errors;
};

TEST(StatementCheckOrgLine, Table) {
  const std::string tooLong = "ORG " + std::string(184, '1') + "\n";
  const std::vector<OrgCase> cases = {
      {"ORG 100H\n", 2, zq::resultOrgLine, 0, 0x100, {}},
      {"  .org\t20 ; start\n", 2, zq::resultOrgLine, 0, 20, {}},
      {"ORG 0FFFH\n", 2, zq::resultOrgLine, 0, 0xFFF, {}},
      {"ORG 1000H\n", 2, zq::resultOrgLine, 8, 7, {8}},
      {"ORG 1000H\n", 1, zq::resultOrgLine, 0, 7, {}},
      {"L1 ORG 30H\n", 2, zq::resultOrgLine, 8, 0x30, {8}},
      {"ORG \n", 2, zq::resultOrgLine, 8, 7, {8}},
      {"ORG 10H+2\n", 2, zq::resultOrgLine, 0, 0x12, {}},
      {"ORG XYZ\n", 2, zq::resultOrgLine, 8, 7, {8}},
      {tooLong.c_str(), 2, zq::resultOrgLine, 8, 7, {8}},
      // The keyword may end a longer word.
      {"MYORG 5\n", 2, zq::resultOrgLine, 0, 5, {}},
      {"  NOP\n", 2, 0, 0, 7, {}},
      {"; ORG 5\n", 2, 0, 0, 7, {}},
      {"ORG\n", 2, 0, 0, 7, {}},
      {"", 2, 0, 0, 7, {}},
  };
  for (const OrgCase& c : cases) {
    SCOPED_TRACE(c.line);
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = 0xFFF;
    run->source.locationCounter = 7;
    int orgError = -1;
    EXPECT_EQ(zq::checkOrgLine(*run, c.line, c.pass, orgError), c.result);
    EXPECT_EQ(orgError, c.orgError);
    EXPECT_EQ(run->source.locationCounter, c.counterAfter);
    EXPECT_EQ(run->diagnostics.lineErrors, c.errors);
    bool accepted = c.result == zq::resultOrgLine && c.counterAfter != 7;
    EXPECT_EQ(run->source.orgCount, accepted ? 1 : 0);
    if (accepted) {
      EXPECT_EQ(run->source.lastCodeAddress, c.counterAfter);
    }
  }
}

TEST(StatementProcessStatement, EarlyResults) {
  zq::PersistentSettings& settings = zq::persistentSettings();
  const zq::PersistentSettings saved = settings;
  settings.bankConvertStart = 0x100;
  settings.bankConvertEnd = 0x1FF;

  struct Case {
    const char* line;
    bool banked;
    int counter;
    int result;
    bool error58;
  };
  const std::vector<Case> cases = {
      {"; only a comment\n", false, 0, 0, false},
      {"    \n", false, 0, 0, false},
      // In-bank address 100h lies in the convert area, whatever the line holds.
      {"  NOP\n", true, 0x1100, -1, true},
      {"; comment\n", true, 0x21FF, -1, true},
      {"; comment\n", true, 0x10FF, 0, false},
      {"; comment\n", true, 0x1200, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = c.banked ? 0x2FFF : 0xFFF;
    run->source.bankedRom = c.banked;
    run->source.locationCounter = c.counter;
    EXPECT_EQ(zq::processStatement(*run, c.line, 2, 3, -1), c.result);
    EXPECT_EQ(run->source.statementAddress, c.counter);
    EXPECT_EQ(run->source.codeText, std::string(11, ' '));
    bool has58 = !run->diagnostics.lineErrors.empty() && run->diagnostics.lineErrors[0] == 58;
    EXPECT_EQ(has58, c.error58);
  }
  settings = saved;

  // Beyond the ROM top the statement still takes its word and answers 22.
  auto run = std::make_unique<AssemblerRun>();
  run->source.programRomTop = 0xFFF;
  run->source.locationCounter = 0x1000;
  EXPECT_EQ(zq::processStatement(*run, "  NOP\n", 2, 9, -1), zq::resultRomOverflow);
  EXPECT_EQ(run->source.locationCounter, 0x1001);
  EXPECT_EQ(run->source.outOfRangeAddress, 0x1000);
  EXPECT_EQ(run->source.currentLineNumber, 9u);
}

}  // namespace
