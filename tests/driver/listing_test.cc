// Listing line forms and the per-line diagnostics written under them.
#include "driver/listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "driver/diagnostics.h"
#include "driver/run.h"

namespace {

using zq::AssemblerRun;

// Everything written to a temporary stream so far.
std::string contents(FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  int c;
  while ((c = std::fgetc(stream)) != EOF) text.push_back(static_cast<char>(c));
  return text;
}

std::unique_ptr<AssemblerRun> runWithStreams() {
  auto run = std::make_unique<AssemblerRun>();
  run->files.listing = std::tmpfile();
  run->files.error = std::tmpfile();
  return run;
}

TEST(ListingWriteListingLine, Forms) {
  struct Case {
    int result;
    int level;
    unsigned lineNumber;
    int32_t address;
    std::string line;
    std::string expected;
    bool error22;
  };
  const std::vector<Case> cases = {
      {1, 2, 7, 0x12, "  ADC 5,A\n", "   40 00007++ 0012 7A05    ADC 5,A\n", false},
      {1, 0, 123456, 0x12345, "X\n", "   40 123456 12345 7A05  X\n", false},
      {2, 1, 12, 0, "  DB 1\n", "   40 00012+     DB 1\n", false},
      {0, 5, 3, 0, "; c\n", "00003+++              ; c\n", false},
      {zq::resultEndOfSource, 0, 9, 0, "END\n", "00009              END\n", false},
      {zq::resultRomOverflow, 0, 4, 0x1000, " NOP\n", "00004 1000 ?? ?? ??    NOP\n", true},
      {zq::resultUnknownMnemonic, 0, 4, 0x20, "FOO\n", "00004 0020 ?? ?? ??   FOO\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    auto run = runWithStreams();
    run->source.listingLineCount = 39;
    run->source.includeLevel = static_cast<int16_t>(c.level);
    run->source.statementAddress = c.address;
    run->source.wordText = "7A05";
    zq::writeListingLine(*run, c.line, c.lineNumber, c.result);
    EXPECT_EQ(contents(run->files.listing), c.expected);
    EXPECT_EQ(run->source.listingLineCount, 40);
    EXPECT_EQ(run->diagnostics.lineErrors, c.error22 ? std::vector<int>{22} : std::vector<int>{});
  }

  // Without a listing stream the line is still counted.
  auto run = std::make_unique<AssemblerRun>();
  zq::writeListingLine(*run, "X\n", 1, zq::resultRomOverflow);
  EXPECT_EQ(run->source.listingLineCount, 1);
  EXPECT_EQ(run->diagnostics.lineErrors, std::vector<int>{22});
}

TEST(ListingWriteSourceListingLine, DepthPrefix) {
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "0012   X\n"}, {1, "0012+  X\n"},   {2, "0012++ X\n"},
      {3, "0012+++X\n"}, {5, "0012+++++X\n"},
  };
  for (const auto& c : cases) {
    auto run = runWithStreams();
    run->source.includeLevel = static_cast<int16_t>(c.first);
    zq::writeSourceListingLine(*run, "X\n", 12, 2);
    EXPECT_EQ(contents(run->files.listing), c.second);
    EXPECT_EQ(run->source.listingLineCount, 1);
  }
  // Passes 0 and 1 write and count nothing.
  auto run = runWithStreams();
  zq::writeSourceListingLine(*run, "X\n", 12, 1);
  EXPECT_EQ(contents(run->files.listing), "");
  EXPECT_EQ(run->source.listingLineCount, 0);
}

TEST(ListingDiagnostics, OrderAndDuplicates) {
  auto run = runWithStreams();
  run->source.includeFileNames[0] = "main.asm";
  run->source.includeFileNames[1] = "inc\\defs.inc";
  run->source.includeLevel = 1;
  zq::raiseError(*run, 6);
  zq::raiseError(*run, 1);
  zq::raiseError(*run, 6);
  zq::raiseError(*run, 6);
  zq::raiseWarning(*run, 0);
  zq::raiseWarning(*run, 0);
  run->diagnostics.userErrorText = "STOP HERE";
  zq::flushLineDiagnostics(*run, 3);

  EXPECT_EQ(contents(run->files.listing),
            "               ### Warning :  MACRO REDFINITION ###\n"
            "               <<< OPRAND ERROR >>>\n"
            "               <<< ILLEGAL OPCODE >>>\n"
            "               [[[ STOP HERE ]]]\n");
  EXPECT_EQ(contents(run->files.error),
            "inc\\defs.inc(3) : Warning 0 ->  MACRO REDFINITION\n"
            "inc\\defs.inc(3) : Error 6 ->  OPRAND ERROR\n"
            "inc\\defs.inc(3) : Error 1 ->  ILLEGAL OPCODE\n"
            "inc\\defs.inc(3) : USER Define Error ->  STOP HERE\n");
  EXPECT_EQ(run->diagnostics.errorCount, 3);
  EXPECT_EQ(run->diagnostics.warningCount, 1);
  EXPECT_EQ(run->source.listingLineCount, 4);

  // A number raised in pass 1 is dropped when the next pass begins.
  zq::raiseError(*run, 8);
  zq::beginPass(*run);
  zq::flushLineDiagnostics(*run, 4);
  EXPECT_EQ(run->diagnostics.errorCount, 3);
  EXPECT_EQ(run->source.listingLineCount, 0);
}

}  // namespace
