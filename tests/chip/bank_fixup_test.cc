#include "chip/bank_fixup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "services/run.h"
#include "test_support.h"

namespace zq {
namespace {

// A ".MAP" record names its file, or "*" while the file stays the same without regard to
// case (an include may spell a file otherwise than the line that opened the run).
TEST(BankFixupTest, MapFileNamesCompareWithoutCase) {
  zqtest::TempDir dir;
  AssemblerRun run;
  run.files.map = std::fopen(dir.file("prog.MAP").c_str(), "w");
  ASSERT_NE(run.files.map, nullptr);
  run.source.includeFileNames[0] = "/w/MAIN.ASM";
  run.source.includeFileNames[1] = "/w/main.asm";
  run.source.codeText = "00 12";
  for (int level = 0; level <= 1; ++level) {
    run.source.includeLevel = static_cast<int16_t>(level);
    run.source.statementAddress = run.source.locationCounter;
    ASSERT_EQ(finishInstruction(run, 2, 2, 5 + level), 1);
  }
  std::fclose(run.files.map);
  run.files.map = nullptr;
  EXPECT_EQ(zqtest::readFile(dir.file("prog.MAP")), "0000 5 0\n/w/MAIN.ASM\n0001 6 0\n*\n");
}

// Banked chips: CPHL addresses and the skip over the area (100h-1FFh). The move from the
// last word of a bank comes before (see the encoder's tests).
TEST(BankFixupTest, BankedRules) {
  AssemblerRun run;
  run.object.farTargetTable.assign(kFarTargetEntries, 0xFFFF);
  // Not banked: no error 63, no move, no skip.
  run.source.codeText = "00 EF";
  run.source.statementAddress = run.source.locationCounter = 0x0FFF;
  ASSERT_EQ(finishInstruction(run, 2, 2, 1), 1);
  EXPECT_EQ(run.source.locationCounter, 0x1000);
  EXPECT_TRUE(run.diagnostics.lineErrors.empty());
  run.source.bankedRom = true;
  // {address, code text, location counter after, error 63 raised}
  struct Step {
    int address;
    const char* code;
    int next;
    bool cphlError;
  } steps[] = {{0x00FF, "00 EF", 0x200, true},   {0x10FF, "00 00", 0x1200, false},
               {0x20FF, "12 EF", 0x2200, true},  {0x0FFE, "00 EF", 0xFFF, true},
               {0x1FFE, "34 EF", 0x1FFF, true},  {0x0FFD, "00 EF", 0xFFE, false},
               {0x0FFF, "00 00", 0x1000, false}, {0x2FFF, "00 D0", 0x3000, false}};
  for (const Step& st : steps) {
    SCOPED_TRACE(st.address);
    dropLineDiagnostics(run);
    run.source.codeText = st.code;
    run.source.statementAddress = run.source.locationCounter = st.address;
    ASSERT_EQ(finishInstruction(run, 2, 2, 1), 1);
    EXPECT_EQ(run.source.locationCounter, st.next);
    EXPECT_EQ(run.diagnostics.lineErrors, st.cphlError ? std::vector<int>{63} : std::vector<int>{});
  }
}

}  // namespace
}  // namespace zq
