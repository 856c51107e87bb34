#include "chip/bank_convert.h"

#include <gtest/gtest.h>

#include "services/persistent_settings.h"
#include "services/run.h"

namespace zq {
namespace {

using Words = std::vector<uint16_t>;

// The include level marks of a line push its word column to the right.
TEST(BankConvertTest, MarksRedirectedLineOfAnInclude) {
  std::string line = "    7 00003++ 1010 D345  L: JMP Y\n";
  markRedirectedLine(line, 0xD101, 0);
  EXPECT_EQ(line, "    7 00003++ 1010 D101  L: JMP Y ;*** JMP BANK 0 ***\n");
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
