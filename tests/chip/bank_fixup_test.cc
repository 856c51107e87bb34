#include "chip/bank_fixup.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "driver/run.h"
#include "test_support.h"

namespace zq {
namespace {

TEST(BankFixupTest, RecordsMapLinesAndAdvances) {
  zqtest::TempDir dir;
  AssemblerRun run;
  run.files.map = std::fopen(dir.file("prog.MAP").c_str(), "w");
  ASSERT_NE(run.files.map, nullptr);
  run.source.locationCounter = run.source.statementAddress = 0x0F;
  ASSERT_EQ(finishInstruction(run, 2, 1, 4), 1);  // pass 1 records and writes nothing
  EXPECT_TRUE(run.object.insertAddressTable.empty());
  EXPECT_EQ(run.source.lastCodeAddress, 0x0F);
  run.source.includeFileNames[0] = "/w/MAIN.ASM";
  run.source.includeFileNames[1] = "/w/main.asm";
  run.macros.macroDefinitionFile = "/w/MAC.INC";
  run.macros.macroNestingDepth = 2;
  run.source.codeText = "00 12";
  // {include level, macro context, line}: main twice, an include named like main but for
  // case, a macro expansion, main again. "*" repeats the previous file.
  const int steps[][3] = {{0, -1, 5}, {0, -1, 6}, {1, -1, 1}, {1, 0, 9}, {0, -1, 7}};
  for (const auto& s : steps) {
    run.source.includeLevel = s[0];
    run.source.macroContext = s[1];
    run.source.statementAddress = run.source.locationCounter;
    ASSERT_EQ(finishInstruction(run, 2, 2, s[2]), 1);
  }
  std::fclose(run.files.map);
  run.files.map = nullptr;
  EXPECT_EQ(zqtest::readFile(dir.file("prog.MAP")),
            "0010 5 0\n/w/MAIN.ASM\n"
            "0011 6 0\n*\n"
            "0012 1 0\n*\n"
            "0013 9 2\n/w/MAC.INC\n"
            "0014 7 0\n/w/MAIN.ASM\n");
  EXPECT_EQ(run.source.locationCounter, 0x15);
  EXPECT_EQ(run.source.lastCodeAddress, 0x14);
  ASSERT_EQ(run.object.insertAddressTable.size(), 5u);
  EXPECT_EQ(run.object.insertAddressTable[4].address, 0x14);
  EXPECT_EQ(run.object.insertAddressTable[4].bytes[1], 0x12);
}

}  // namespace
}  // namespace zq
