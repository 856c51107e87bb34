// DATA and TABLE segments on a bare run object: table groups, data item bytes, RAM names.
#include "directives/segment.h"

#include <gtest/gtest.h>

#include "driver/persistent_settings.h"
#include "driver/run.h"

namespace zq {
namespace {

using Bytes = std::vector<uint8_t>;
using Errors = std::vector<int>;

class SegmentTest : public ::testing::Test {
 protected:
  void SetUp() override { persistentSettings().ramCounter = -1; }
  void TearDown() override { persistentSettings().ramCounter = -1; }
  void tableTop(int32_t top) {
    run.segments.tableRomTop = top;
    run.segments.tableRom.assign(static_cast<size_t>(top + 1), 0xFFFF);
  }
  Errors takeErrors() {
    Errors e = run.diagnostics.lineErrors;
    dropLineDiagnostics(run);
    return e;
  }
  AssemblerRun run;
};

TEST_F(SegmentTest, WriteTableDataGroupsAndOverflow) {
  // Each group takes at most four bytes; the table ROM ends at address 7.
  struct Case { int counter, step, size; std::vector<int> returns; Bytes cells; Errors errors; };
  const Case cases[] = {
      {0, 1, 6, {4, 6, -1}, {1, 2, 3, 4, 5, 6}, {}},
      {0, 2, 6, {4, 6, -1}, {1, 2, 3, 4, 5, 6}, {}},
      {6, 1, 4, {2, -1}, {1, 2}, {52}},
      {7, 2, 4, {0}, {1}, {52}},
      {8, 1, 1, {-1}, {}, {52}},
  };
  for (const Case& c : cases) {
    tableTop(7);
    run.segments.tableCounter = c.counter;
    Bytes bytes;
    for (int i = 1; i <= c.size; ++i) bytes.push_back(static_cast<uint8_t>(i));
    std::vector<int> returns;
    int start = 0, consumed = 0;
    do {
      start = writeTableData(run, bytes, start, c.size, c.step, consumed);
      returns.push_back(start);
    } while (start > 0 && consumed > 0);
    Bytes cells;
    for (uint16_t cell : run.segments.tableRom)
      if (cell != 0xFFFF) cells.push_back(static_cast<uint8_t>(cell));
    EXPECT_EQ(returns, c.returns) << c.counter << " step " << c.step;
    EXPECT_EQ(cells, c.cells) << c.counter << " step " << c.step;
    EXPECT_EQ(takeErrors(), c.errors) << c.counter << " step " << c.step;
  }
  tableTop(-1);
  int consumed = 0;
  EXPECT_EQ(writeTableData(run, {1}, 0, 1, 1, consumed), -1);
  EXPECT_EQ(takeErrors(), Errors{65});
}

TEST_F(SegmentTest, DataItemBytes) {
  struct Case { const char* item; bool word; Bytes bytes; Errors errors; };
  const Case cases[] = {
      {"\"ABC\"", false, {0x41, 0x42, 0x43}, {}}, {"\"\"", false, {0}, {}},
      {"''", false, {0}, {}},                     {"'A'+1", false, {0x42}, {}},
      {"300", false, {0x2C}, {25}},               {"\"AB\"+1", false, {0x43}, {25}},
      {"258", true, {0x02, 0x01}, {}},            {"\"AB\"", true, {0x42, 0x41}, {}},
      {"'a'", true, {0x61, 0}, {}},               {"\"ABC\"", true, {0, 0}, {25, 31}},
      {"NOWHERE", false, {0}, {12, 31}},          {"\"A\"\"B\"", false, {0}, {6, 31}},
  };
  for (const Case& c : cases) {
    Bytes bytes;
    appendDataItem(run, c.item, c.word, 2, bytes);
    EXPECT_EQ(bytes, c.bytes) << c.item;
    EXPECT_EQ(takeErrors(), c.errors) << c.item;
  }
}

TEST_F(SegmentTest, RamNameChecks) {
  const std::string longName(70, 'L');
  struct Case { std::string line; Errors errors; };
  const Case cases[] = {
      {"ORG 0", {}},    {"A DN 2", {}},  {"B: DN 3", {}},           {"ORG 10h", {}},
      {"C .dn 1", {}},  {"A DN 1", {10}}, {"D DS 2", {6}},          {"1X DN 1", {0}},
      {longName + " DN 1", {3}},        {"ORG 1", {}},             {"E DN 1", {14}},
      {"F DN 2049", {14, 6, 9}},        {"G DN 1 2", {6}},         {"ORG 2050", {9}},
      {"ORG", {8}},
  };
  run.source.dataSegmentOpen = 1;
  for (int pass = 1; pass <= 2; ++pass) {
    for (const Case& c : cases) {
      EXPECT_EQ(defineRamName(run, c.line + "\n", pass), 0);
      EXPECT_EQ(takeErrors(), pass == 2 ? c.errors : Errors{}) << c.line;
    }
  }
  const std::vector<RamName>& names = run.segments.ramNames;
  ASSERT_EQ(run.segments.ramNameCount, 9);
  EXPECT_EQ(names[2].first, 2);
  EXPECT_EQ(names[3].first, 0x10);
  EXPECT_EQ(names[7].name, longName.substr(0, 64));
  // The table holds entries 1 to 2049; the next name is refused in pass 2.
  for (int pass = 1; pass <= 2; ++pass) {
    (pass == 1 ? run.segments.ramNameCount : run.segments.ramCheckCount) = 0;
    run.directives.dnOverlapAllowed = 1;
    defineRamName(run, "ORG 0", pass);
    for (int i = 0; i <= 2049; ++i) defineRamName(run, "N" + std::to_string(i) + " DN 0", pass);
    EXPECT_EQ(takeErrors(), pass == 2 ? Errors{9} : Errors{});
  }
  EXPECT_EQ(run.segments.ramNameCount, 2049);
}

}  // namespace
}  // namespace zq
