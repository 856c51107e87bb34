#include "chip/bank_convert.h"

#include <gtest/gtest.h>

#include "driver/persistent_settings.h"
#include "driver/run.h"

namespace zq {
namespace {

using Words = std::vector<uint16_t>;

// Callers in every bank, shared and own-bank targets; area 100h-1FFh.
TEST(BankConvertTest, PhasesShareCountAndScan) {
  Words far(kFarTargetEntries, 0xFFFF), image(0x3002, 0);
  // {caller, target, word after, bank redirected to}; own-bank targets stay as they were.
  const int calls[][4] = {
      {0x1010, 0x0345, 0xC101, 0},  {0x1020, 0x0345, 0xC101, 0},  {0x2010, 0x0345, 0xC101, 0},
      {0x0010, 0x1234, 0xC103, 1},  {0x0020, 0x2100, 0xC105, 2},  {0x1030, 0x2100, 0xC105, 2},
      {0x2020, 0x2200, 0xC200, -1}, {0x1040, 0x1500, 0xC500, -1}, {0x0030, 0x0400, 0xC400, -1}};
  for (const auto& c : calls) {
    far[c[0]] = static_cast<uint16_t>(c[1]);
    image[c[0]] = static_cast<uint16_t>(0xC000 | (c[1] & 0xFFF));
  }
  BankConvertTables t = buildTrampolines(far, 0x2FFF, 0x100, 0x1FF, image);
  EXPECT_EQ(t.counters, (std::array<int32_t, 3>{6, 6, 7}));
  EXPECT_EQ(t.usedSize(), 7);
  EXPECT_EQ(Words(t.words[0].begin(), t.words[0].begin() + 6),
            (Words{0xD200, 0, 0xD345, 0xFE50, 0, 0xFE60}));
  EXPECT_EQ(Words(t.words[1].begin(), t.words[1].begin() + 6),
            (Words{0xD200, 0xFE40, 0, 0, 0xD234, 0xFE60}));
  EXPECT_EQ(Words(t.words[2].begin(), t.words[2].begin() + 7),
            (Words{0xD200, 0xFE40, 0, 0xFE50, 0, 0, 0xD100}));
  for (const auto& c : calls) {
    EXPECT_EQ(image[c[0]], c[2]) << std::hex << c[0];
    EXPECT_EQ(t.redirectedTo[c[0]], c[3]) << std::hex << c[0];
  }
  // Phases 1 and 2 stop at the ROM top, phase 3 scans banks 0 and 1 whatever the top.
  Words few(kFarTargetEntries, 0xFFFF);
  few[0x1900] = 0x0100;
  few[0x1F00] = 0x2400;
  BankConvertTables top = buildTrampolines(few, 0x17FF, 0x40, 0x7FF, image);
  EXPECT_EQ(top.redirectedTo[0x1900], -1);
  EXPECT_EQ(top.redirectedTo[0x1F00], 2);
  EXPECT_EQ(top.words[0][0], 0xD800);  // JMP over an area ending at 7FFh
  // A ROM top beyond the far target table scans only the table.
  EXPECT_EQ(buildTrampolines(few, 0xFFFF, 0x100, 0x1FF, image).redirectedTo[0x1900], 0);
}

TEST(BankConvertTest, MarksRedirectedListingLines) {
  struct Case {
    const char* line;
    uint16_t word;
    int bank;
    const char* marked;
  } cases[] = {
      {"   12 00012 0010 C234          CALL    X\n", 0xC103, 1,
       "   12 00012 0010 C103          CALL    X ;*** CALL BANK 1 ***\n"},
      {"    7 00003++ 1010 D345  L: JMP Y\n", 0xC101, 0,
       "    7 00003++ 1010 D101  L: JMP Y ;*** JMP BANK 0 ***\n"},
      {"    9 00004+++ 0020 C100  CALL Z", 0x0105, 2,
       "    9 00004+++ 0020 C105  CALL Z ;*** CALL BANK 2 ***\n"},
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    markRedirectedLine(line, c.word, c.bank);
    EXPECT_EQ(line, c.marked);
  }
}

// Bounds kept from an earlier run: the cut to 512 stays, an area through 0FFFh fails.
TEST(BankConvertTest, AreaBoundsOfEarlierRuns) {
  PersistentSettings& settings = persistentSettings();
  const PersistentSettings saved = settings;
  AssemblerRun run;
  run.source.programRomTop = 0x2FFF;
  run.object.farTargetTable.assign(kFarTargetEntries, 0xFFFF);
  Words image(0x3002, 0);
  settings.bankConvertStart = 0x100;
  settings.bankConvertEnd = 0x700;
  EXPECT_TRUE(runBankConvertArea(run, image));
  EXPECT_EQ(settings.bankConvertEnd, 0x2FF);
  EXPECT_EQ(image[0x2100], 0xD300);
  EXPECT_EQ(image[0x2300], 0);  // beyond the cut area
  settings.bankConvertStart = 0xE00;
  settings.bankConvertEnd = 0xFFF;
  EXPECT_FALSE(runBankConvertArea(run, image));
  EXPECT_EQ(run.diagnostics.errorCount, 1);
  settings = saved;
}

}  // namespace
}  // namespace zq
