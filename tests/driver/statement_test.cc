// Field splitting, the ORG pre-check and the early exits of the statement router.
#include "driver/statement.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "services/persistent_settings.h"
#include "services/run.h"
#include "source/line_scan.h"
#include "symbols/constant_table.h"

namespace {

using zq::AssemblerRun;

// Mode 0 stops after four fields, mode 1 keeps the rest in the third; only "' '" quotes.
// Fields that get no character are cleared; a blank line leaves them alone (-1).
TEST(Statement, SplitFields) {
  auto expect = [](const std::string& line, int mode, int count,
                   const std::vector<std::string>& fields) {
    SCOPED_TRACE(line);
    zq::SourceState state;
    for (auto& field : state.field) field = "stale";
    EXPECT_EQ(zq::splitFields(state, line, mode), count);
    for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(state.field[i + 1], fields[i]);
  };
  expect("A B C D\n", 1, 3, {"A", "B", "C D"});
  expect("A B C D E F\n", 0, 4, {"A", "B", "C", "D"});
  expect("L1: JMP L2 + 1 ; back\n", 1, 3, {"L1", "JMP", "L2 + 1 "});
  expect("  \tX: ' '\n", 0, 2, {"X", "' '"});
  expect("X 'A B'\n", 0, 3, {"X", "'A", "B'"});
  expect("A:B\n", 0, 2, {"A", "B"});
  expect("X ", 0, 2, {"X", ""});
  expect("   \n", 0, 1, {""});
  expect("", 0, -1, {"stale"});
  expect(" \t ", 0, -1, {"stale"});
  // An over-long field keeps its first 255 characters; the next field is not disturbed.
  const std::string longWord(300, 'W');
  expect(longWord + " B\n", 0, 2, {std::string(255, 'W'), "B"});
  expect("A B " + longWord + " x\n", 1, 3, {"A", "B", std::string(255, 'W')});
  // Each split names the first field it had to cut (the caller's error 72): 255 fit.
  zq::SourceState state;
  const std::string fits(255, 'F');
  for (const auto& [line, mode, cut] : {std::tuple(longWord + " B\n", 0, 1),
                                        {"A B C " + longWord, 0, 4},
                                        {"A B " + fits + "x\n", 1, 3},
                                        {fits + " " + fits + "\n", 0, 0}}) {
    state.fieldCut = 9;
    zq::splitFields(state, line, mode);
    EXPECT_EQ(state.fieldCut, cut) << line.size() << " characters, mode " << mode;
  }
}

// The scan records, in one pass, what the include, ORG and definition keyword rules
// each find alone, and the first word as the label handler takes it.
TEST(Statement, LineScanRecordsEachRule) {
  const size_t no = zq::LineScan::npos;
  // clang-format off
  struct Case { std::string line; size_t include, org; bool equ, defstr; const char* word; };
  const Case cases[] = {
      {"  #include <a.h>\n", 2, no, false, false, "#include"},
      {" .\t.INCLUDE x\n", 3, no, false, false, "."},
      {"X ORG 5\n", no, 2, false, false, "X"}, {"MYorg\t5 ; ORG 6\n", no, 2, false, false, "MYorg"},
      {"; ORG 5\n", no, no, false, false, ""}, {"A;ORG 5\n", no, no, false, false, "A"},
      {"ORG\n", no, no, false, false, "ORG"}, {"K EQU 5\n", no, no, true, false, "K"},
      {"K\t.equal 5\n", no, no, true, false, "K"}, {"EQU 5\n", no, no, false, false, "EQU"}, {"  EQU 5\n", no, no, true, false, "EQU"},
      {"KEQU 5\n", no, no, false, false, "KEQU"}, {"K EQUATE 5\n", no, no, false, false, "K"},
      {"X EQU;5\n", no, no, false, false, "X"}, {"S DefString A, B\n", no, no, false, true, "S"},
      {"S .DEFSTR A\n", no, no, false, true, "S"}, {"L: EQU 1\n", no, no, true, false, "L"},
      {"            K EQU 1 ;c\n", no, no, true, false, "K"},
      {"        LDA CNT ; EQU 5\n", no, no, false, false, "LDA"},
      {std::string("A\0 B EQU 1\n", 11), no, no, true, false, "A"}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    zq::LineScan scan = zq::scanLine(c.line);
    zq::scanKeywords(scan);
    EXPECT_EQ(scan.word(), c.word);
    EXPECT_EQ(scan.includeAt, c.include);
    EXPECT_EQ(zq::includeKeywordAt(c.line), c.include);
    EXPECT_EQ(scan.orgAt, c.org);
    EXPECT_EQ(zq::orgKeywordAt(c.line), c.org);
    EXPECT_EQ(scan.equKeyword, c.equ);
    EXPECT_EQ(zq::hasDefinitionKeyword(c.line, "EQU", "EQUAL"), c.equ);
    EXPECT_EQ(scan.defstrKeyword, c.defstr);
    EXPECT_EQ(zq::hasDefinitionKeyword(c.line, "DEFSTR", "DEFSTRING"), c.defstr);
  }
}

// Counter starts at 7, ROM top 0FFFh. Error 8 (pass 2 only) keeps the counter, except
// for a label before ORG; a bare symbol is refused, an expression is evaluated.
TEST(Statement, CheckOrgLine) {
  const int org = zq::resultOrgLine;
  auto expect = [](const std::string& line, int pass, int result, int expectedError,
                      int counter) {
    SCOPED_TRACE(line);
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = 0xFFF;
    run->source.locationCounter = 7;
    int orgError = -1;
    EXPECT_EQ(zq::checkOrgLine(*run, line, pass, orgError), result);
    EXPECT_EQ(orgError, expectedError);
    EXPECT_EQ(run->source.locationCounter, counter);
    EXPECT_EQ(run->diagnostics.lineErrors,
              expectedError ? std::vector<int>{expectedError} : std::vector<int>{});
    bool accepted = result == org && counter != 7;
    EXPECT_EQ(run->source.orgCount, accepted ? 1 : 0);
    if (accepted) {
      EXPECT_EQ(run->source.lastCodeAddress, counter);
    }
  };
  expect("  .org\t20 ; start\n", 2, org, 0, 20);
  expect("ORG 0FFFH\n", 2, org, 0, 0xFFF);
  expect("ORG 1000H\n", 2, org, 8, 7);
  expect("ORG 1000H\n", 1, org, 0, 7);
  expect("L1 ORG 30H\n", 2, org, 8, 0x30);
  expect("ORG \n", 2, org, 8, 7);
  expect("ORG 10H+2\n", 2, org, 0, 0x12);
  expect("ORG XYZ\n", 2, org, 8, 7);
  expect("ORG " + std::string(184, '1') + "\n", 2, org, 8, 7);
  expect("MYORG 5\n", 2, org, 0, 5);  // where the keyword stands: LineScanRecordsEachRule
  expect("; ORG 5\n", 2, 0, 0, 7);
}

// On a banked chip a line whose in-bank address lies in the convert area draws 58 before
// anything else, and no fields, so it is never tried as a macro call; BANKCONVERTAREA
// itself is taken.
TEST(Statement, ProcessStatementEarlyResults) {
  zq::PersistentSettings& settings = zq::persistentSettings();
  const zq::PersistentSettings saved = settings;
  auto expect = [&settings](const char* line, int counter, int result) {
    SCOPED_TRACE(line);
    settings.bankConvertStart = 0x100;  // BANKCONVERTAREA lines move it
    settings.bankConvertEnd = 0x1FF;
    auto run = std::make_unique<AssemblerRun>();
    run->source.programRomTop = 0x2FFF;
    run->source.bankedRom = true;
    run->source.locationCounter = counter;
    EXPECT_EQ(zq::processStatement(*run, line, 2, 3, -1), result);
    EXPECT_EQ(run->source.statementAddress, counter);
    EXPECT_EQ(run->source.codeText, std::string(11, ' '));
    const std::vector<int>& errors = run->diagnostics.lineErrors;
    EXPECT_EQ(!errors.empty() && errors[0] == 58, result == -1);
    EXPECT_EQ(run->source.lastFieldCount, -1);
  };
  expect("  NOP\n", 0x1100, -1);
  expect("; comment\n", 0x21FF, -1);
  expect("; comment\n", 0x10FF, 0);
  expect("; comment\n", 0x1200, 0);
  expect(" .BankConvertArea 200h 2FFh\n", 0x1100, 0);  // the line that moves the area
  expect("L1: .BANKCONVERTAREA 200h 2FFh\n", 0x1100, 0);  // also behind a label
  expect("L1 .BANKCONVERTAREA 200h 2FFh\n", 0x1100, 0);
  expect(" L1 .BANKCONVERTAREA 200h 2FFh\n", 0x1100, -1);  // not a label: indented
  settings = saved;

  // Beyond the ROM top the statement still takes its word and answers 22.
  auto run = std::make_unique<AssemblerRun>();
  run->source.programRomTop = 0xFFF;
  run->source.locationCounter = 0x1000;
  EXPECT_EQ(zq::processStatement(*run, "  NOP\n", 2, 9, -1), zq::resultRomOverflow);
  EXPECT_EQ(run->source.locationCounter, 0x1001);
  EXPECT_EQ(run->source.outOfRangeAddress, 0x1000);
  EXPECT_EQ(run->source.currentLineNumber, 9u);
  // The counter stops at its largest value instead of overflowing.
  run->source.locationCounter = INT32_MAX;
  EXPECT_EQ(zq::processStatement(*run, "  NOP\n", 2, 10, -1), zq::resultRomOverflow);
  EXPECT_EQ(run->source.locationCounter, INT32_MAX);
}

}  // namespace
