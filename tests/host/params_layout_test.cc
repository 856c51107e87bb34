#include <gtest/gtest.h>

#include <cstddef>

#include "zqasm/assembler.h"

// The text slots hold the lengths hosts rely on (a NUL included).
TEST(ParamsLayout, SlotSizes) {
  AssemblerParams block;
  EXPECT_EQ(sizeof block.sourcePath, 258u);
  EXPECT_EQ(sizeof block.includeDirs / sizeof block.includeDirs[0], 32u);
  EXPECT_EQ(sizeof block.chipDirectory, 260u);
  EXPECT_EQ(sizeof block.chipName, 32u);
  EXPECT_EQ(sizeof block.versionText, 64u);
}
