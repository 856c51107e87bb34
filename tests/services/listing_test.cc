// Listing line forms and the per-line diagnostics written under them.
#include "services/listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "test_support.h"
#include "zqasm/assembler.h"

namespace {

std::unique_ptr<zq::AssemblerRun> runWithStreams(int level = 0) {
  auto run = std::make_unique<zq::AssemblerRun>();
  run->files.listing = std::tmpfile();
  run->files.error = std::tmpfile();
  run->source.includeLevel = static_cast<int16_t>(level);
  return run;
}

// A form with listingLineCount 39 (the end-to-end listings show the usual ones): "+" marks
// cut at three for statements, not for source-only lines (there `result` is the pass).
void expectForm(bool sourceOnly, int result, int level, unsigned line, int32_t address,
                const std::string& text, const std::string& expected) {
  SCOPED_TRACE(expected);
  auto run = runWithStreams(level);
  run->source.listingLineCount = 39;
  run->source.statementAddress = address;
  run->source.wordText = "7A05";
  if (sourceOnly) {
    zq::writeSourceListingLine(*run, text, line, result);
  } else {
    zq::writeListingLine(*run, text, line, result);
  }
  EXPECT_EQ(zqtest::streamText(run->files.listing), expected);
  EXPECT_EQ(run->source.listingLineCount, 40);
}

// Numbers wider than their columns, and include levels beyond three.
TEST(Listing, LineForms) {
  expectForm(false, 1, 0, 123456, 0x12345, "X\n", "   40 123456 12345 7A05  X\n");
  expectForm(false, 0, 5, 3, 0, "; c\n", "00003+++              ; c\n");
  expectForm(true, 2, 3, 12, 0, "X\n", "0012+++X\n");
  expectForm(true, 2, 5, 12, 0, "X\n", "0012+++++X\n");
}

// Warnings first, each number once, the user text last; pass-1 numbers dropped by a new pass.
TEST(Listing, DiagnosticsOrderAndDuplicates) {
  auto run = runWithStreams(1);
  run->source.includeFileNames[0] = "main.asm";
  run->source.includeFileNames[1] = "inc\\defs.inc";
  for (int number : {6, 1, 6, 6}) zq::raiseError(*run, number);
  zq::raiseWarning(*run, 0);
  zq::raiseWarning(*run, 0);
  run->diagnostics.userErrorText = "STOP HERE";
  zq::flushLineDiagnostics(*run, 3);
  EXPECT_EQ(zqtest::streamText(run->files.listing),
            "               ### Warning :  MACRO REDFINITION ###\n"
            "               <<< OPRAND ERROR >>>\n"
            "               <<< ILLEGAL OPCODE >>>\n"
            "               [[[ STOP HERE ]]]\n");
  EXPECT_EQ(zqtest::streamText(run->files.error),
            "inc\\defs.inc(3) : Warning 0 ->  MACRO REDFINITION\n"
            "inc\\defs.inc(3) : Error 6 ->  OPRAND ERROR\n"
            "inc\\defs.inc(3) : Error 1 ->  ILLEGAL OPCODE\n"
            "inc\\defs.inc(3) : USER Define Error ->  STOP HERE\n");
  EXPECT_EQ(run->diagnostics.errorCount, 3);
  EXPECT_EQ(run->diagnostics.warningCount, 1);
  EXPECT_EQ(run->source.listingLineCount, 4);

  zq::raiseError(*run, 8);
  zq::beginPass(*run);
  zq::flushLineDiagnostics(*run, 4);
  EXPECT_EQ(run->diagnostics.errorCount, 3);
  EXPECT_EQ(run->source.listingLineCount, 0);
}

// Trap warnings are written like any other, and only those the host asked for.
TEST(Listing, TrapWarningsOnlyWhenAsked) {
  auto run = runWithStreams();
  run->source.includeFileNames[0] = "main.asm";
  ASSERT_EQ(ZqasmSetWarnings("truncation , mixed-operators"), 0);
  zq::raiseWarning(*run, zq::kWarnUndefinedInCondition);
  zq::raiseWarning(*run, zq::kWarnValueTruncated);
  zq::raiseWarningNoted(*run, zq::kWarnMixedOperators, "8/2*2 is %d", 2);
  zq::flushLineDiagnostics(*run, 7);
  EXPECT_EQ(zqtest::streamText(run->files.error),
            "main.asm(7) : Warning 7 ->  VALUE DOES NOT FIT AND IS TRUNCATED\n"
            "main.asm(7) : Warning 9 ->  OPERATORS MIXED WITHOUT PARENTHESES\n");
  EXPECT_EQ(run->diagnostics.warningCount, 2);

  // An unknown name, or an empty item, changes nothing; "" and the reset turn all off.
  EXPECT_EQ(ZqasmSetWarnings("truncation,nosuch"), -1);
  EXPECT_EQ(ZqasmSetWarnings("truncation,,mixed-operators"), -1);
  EXPECT_TRUE(zq::trapWarningOn(zq::kWarnMixedOperators));
  EXPECT_FALSE(zq::trapWarningOn(zq::kWarnUndefinedInCondition));
  EXPECT_EQ(ZqasmSetWarnings("all"), 0);
  for (int n = zq::kFirstTrapWarning; n < zq::kWarningTextCount; ++n)
    EXPECT_TRUE(zq::trapWarningOn(n)) << n;
  ZqasmResetRunSettings();
  EXPECT_FALSE(zq::trapWarningOn(zq::kWarnValueTruncated));
  EXPECT_EQ(ZqasmSetWarnings("all"), 0);
  EXPECT_EQ(ZqasmSetWarnings(""), 0);
  EXPECT_FALSE(zq::trapWarningOn(zq::kWarnValueTruncated));
}

// The warnings that are on by default go off by name ("no-NAME", "no-all"); the items
// apply in order, and a warning turned off is written nowhere and not counted.
TEST(Listing, DefaultWarningsOffByName) {
  auto run = runWithStreams();
  run->source.includeFileNames[0] = "main.asm";
  const struct {
    const char* list;
    const char* written;  // warnings 0, 3 and 7 raised on one line
  } cases[] = {
      {"", "03"},
      {"no-define-redefined", "3"},
      {"all,no-working-register", "07"},
      {"no-all", ""},
      {"no-all,working-register,truncation", "37"},
      {"no-define-redefined,define-redefined", "03"},
  };
  size_t seen = 0;
  for (const auto& c : cases) {
    ASSERT_EQ(ZqasmSetWarnings(c.list), 0) << c.list;
    for (int n : {0, 3, 7}) zq::raiseWarning(*run, n);
    zq::flushLineDiagnostics(*run, 1);
    const std::string text = zqtest::streamText(run->files.error);
    std::string written;
    for (size_t at = text.find("Warning ", seen); at != std::string::npos;
         at = text.find("Warning ", at + 1))
      written += text[at + 8];
    seen = text.size();
    EXPECT_EQ(written, c.written) << c.list;
  }
  EXPECT_EQ(run->diagnostics.warningCount, 2 + 1 + 2 + 0 + 2 + 2);
  EXPECT_EQ(ZqasmSetWarnings("no-"), -1);
  EXPECT_EQ(ZqasmSetWarnings("no-nosuch"), -1);
  ZqasmResetRunSettings();
  EXPECT_EQ(ZqasmSetWarnings("no-all"), 0);
  ZqasmResetRunSettings();
  zq::raiseWarning(*run, 0);
  EXPECT_EQ(run->diagnostics.lineWarnings.size(), 1u);
}

}  // namespace
