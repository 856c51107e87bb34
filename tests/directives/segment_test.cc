// DATA and TABLE segments on a bare run object: table groups, data item bytes, RAM names.
#include "directives/segment.h"

#include <gtest/gtest.h>

#include "services/persistent_settings.h"
#include "services/run.h"
#include "symbols/constant_table.h"

namespace zq {
namespace {

using Bytes = std::vector<uint8_t>;
using Errors = std::vector<int>;

class SegmentTest : public ::testing::Test {
 protected:
  void TearDown() override { persistentSettings().ramCounter = -1; }
  Errors takeErrors() {
    Errors e = run.diagnostics.lineErrors;
    dropLineDiagnostics(run);
    return e;
  }
  AssemblerRun run;
};

// clang-format off
TEST_F(SegmentTest, DataDirectiveBytes) {
  // The argument text of .DB (or .DW) in pass 2: the table bytes written and the errors.
  // A comma or a quote of the other kind inside quotes is data (more in the image cases).
  struct Case { const char* text; bool word; Bytes bytes; Errors errors; };
  const Case cases[] = {
      {"\"\"", false, {0}, {}}, {"''", false, {0}, {}}, {"\"AB\"+1", false, {0x43}, {25}},
      {"\"AB\"", true, {0x42, 0x41}, {}}, {"'a'", true, {0x61, 0}, {}}, {"X?", false, {0}, {12,31}},
      {"\"ABC\"", true, {0, 0}, {25, 31}}, {"\"A\"\"B\"", false, {0}, {6, 31}},
      {"\",\"", true, {0x2C, 0}, {}}, {"'\"', \"a;'\" ; b\"", false, {0x22, 0x61, 0x3B, 0x27}, {}},
      {"\"a,b", false, {}, {32}}, {"1,'a", false, {}, {32}}};
  run.source.tableSegmentOpen = 1;
  for (const Case& c : cases) {
    run.segments.tableRomTop = 15;
    run.segments.tableRom.assign(16, 0xFFFF);
    run.segments.tableCounter = 0;
    byteDataDirective(run, std::string(c.text) + "\n", 0, c.word, 2, 1);
    Bytes bytes;
    for (uint16_t cell : run.segments.tableRom)
      if (cell != 0xFFFF) bytes.push_back(static_cast<uint8_t>(cell));
    EXPECT_EQ(bytes, c.bytes) << c.text;
    EXPECT_EQ(takeErrors(), c.errors) << c.text;
  }
}

TEST_F(SegmentTest, RamNameChecks) {
  const std::string longName(70, 'L');
  const std::pair<std::string, Errors> cases[] = {
      {"ORG 0", {}}, {"A DN 2", {}}, {"B: DN 3", {}}, {"ORG 10h", {}}, {"C .dn 1", {}},
      {"H DN K", {71}}, {"J DN Q", {12}}, {"1X DN 1", {0}}, {longName + " DN 1", {3}}, {"ORG 1", {}}, {"E DN 1", {14}},
      {"F DN 2049", {14, 6, 9}}, {"G DN 1 2", {6}}, {"ORG 8001h", {9}}, {"ORG 2050", {9}},
      {"ORG", {8}}};
  run.source.dataSegmentOpen = 1;
  run.constants.records.resize(2);
  for (int pass = 1; pass <= 2; ++pass) {
    // K is defined only after pass 1 has placed H (as 0 nibbles).
    if (pass == 2) defineConstant(run, "K EQU 4\n", 1, 1, "EQU");
    for (const auto& [line, errors] : cases) {
      EXPECT_EQ(defineRamName(run, line + "\n", pass), 0);
      EXPECT_EQ(takeErrors(), pass == 2 ? errors : Errors{}) << line;
    }
  }
  ASSERT_EQ(run.segments.ramNameCount, 9);
  EXPECT_EQ(run.segments.ramNames[2].first + run.segments.ramNames[3].first, 2 + 0x10);
  EXPECT_EQ(run.segments.ramNames[7].name, longName.substr(0, 64));
  // The table holds entries 1 to 2049; the next name is refused in pass 2.
  run.directives.dnOverlapAllowed = 1;
  for (int pass = 1; pass <= 2; ++pass) {
    (pass == 1 ? run.segments.ramNameCount : run.segments.ramCheckCount) = 0;
    defineRamName(run, "ORG 0", pass);
    for (int i = 0; i <= 2049; ++i) defineRamName(run, "N" + std::to_string(i) + " DN 0", pass);
    EXPECT_EQ(takeErrors(), pass == 2 ? Errors{9} : Errors{});
  }
  EXPECT_EQ(run.segments.ramNameCount, 2049);
}
// clang-format on

}  // namespace
}  // namespace zq
