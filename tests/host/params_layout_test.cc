#include <gtest/gtest.h>

#include <cstddef>

#include "zqasm/assembler.h"

// The block is shared with hosts byte for byte: each field must sit at its offset.
TEST(ParamsLayout, FieldOffsets) {
  EXPECT_EQ(offsetof(AssemblerParams, sourcePath), 0u);
  EXPECT_EQ(offsetof(AssemblerParams, maskOptionPath), 258u);
  EXPECT_EQ(offsetof(AssemblerParams, includeDir1), 516u);
  EXPECT_EQ(offsetof(AssemblerParams, includeDir2), 774u);
  EXPECT_EQ(offsetof(AssemblerParams, includeDirs), 1032u);
  EXPECT_EQ(offsetof(AssemblerParams, chipDirectory), 9288u);
  EXPECT_EQ(offsetof(AssemblerParams, programRomTop), 9548u);
  EXPECT_EQ(offsetof(AssemblerParams, tableRomTop), 9552u);
  EXPECT_EQ(offsetof(AssemblerParams, chipName), 9556u);
  EXPECT_EQ(offsetof(AssemblerParams, versionText), 9588u);
  EXPECT_EQ(offsetof(AssemblerParams, labelCaseSensitive), 9652u);
  EXPECT_EQ(offsetof(AssemblerParams, codeEnd), 9656u);
  EXPECT_EQ(offsetof(AssemblerParams, tableRomUsed), 9658u);
  EXPECT_GE(sizeof(AssemblerParams), 9660u);
}

// The text slots hold the lengths hosts rely on (a NUL included).
TEST(ParamsLayout, SlotSizes) {
  AssemblerParams block;
  EXPECT_EQ(sizeof block.sourcePath, 258u);
  EXPECT_EQ(sizeof block.includeDirs / sizeof block.includeDirs[0], 32u);
  EXPECT_EQ(sizeof block.chipDirectory, 260u);
  EXPECT_EQ(sizeof block.chipName, 32u);
  EXPECT_EQ(sizeof block.versionText, 64u);
}
