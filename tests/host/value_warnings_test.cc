// The trap warnings of values (7 truncation, 8 negative-unsigned, 9 mixed-operators) as a
// host gets them: asked for with ZqasmSetWarnings, written to the error file like any
// other warning, and gone again once the host asks for none.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "test_support.h"
#include "zqasm/assembler.h"

namespace {

TEST(ValueWarningsTest, ErrorFileHasThemOnlyWhenAsked) {
  zqtest::TempDir dir;
  // Line 2: 9 (& before +: 4, not 0). 4: 8 (-16 read back as 240: 0120h). 5: 7 (the
  // product wraps to 0). 6: 9 (2, not 8). 10: 7 (38h). 12: 7 (00FFh, not 0FFFFh). The
  // other lines look alike and are fine.
  zqtest::writeFile(dir.file("main.asm"),
                    "        .CHIP   ZQ4460\n"
                    "X       EQU     4+4&3\n"
                    "Y       EQU     (4+4)&3\n"
                    "        ORG     10h-20h+30h\n"
                    "        LDA     65536*65536+3\n"
                    "        LDA     8/2*2\n"
                    "        LDA     8*2/2\n"
                    "        LDA     4+4+3\n"
                    "        .TABLE\n"
                    "        .DB     -200\n"
                    "        .DB     255, -1, -128\n"
                    "        .DW     -1\n"
                    "        .ENDT\n"
                    "        ORG     30h-20h\n"
                    "        NOP\n");
  auto params = zqtest::makeParams(dir.file("main.asm"), 0xFFF, 0xFF);
  const std::string source = zq::fullPath(dir.path()) + "/main.asm";
  ASSERT_EQ(ZqasmSetWarnings("all"), 0);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  // clang-format off
  EXPECT_EQ(zqtest::readFile(dir.file("main.ERR")),
            source + "(2) : Warning 9 ->  OPERATORS MIXED WITHOUT PARENTHESES\n" +
            source + "(4) : Warning 8 ->  NEGATIVE VALUE READ AS UNSIGNED\n" +
            source + "(5) : Warning 7 ->  VALUE DOES NOT FIT AND IS TRUNCATED\n" +
            source + "(6) : Warning 9 ->  OPERATORS MIXED WITHOUT PARENTHESES\n" +
            source + "(10) : Warning 7 ->  VALUE DOES NOT FIT AND IS TRUNCATED\n" +
            source + "(12) : Warning 7 ->  VALUE DOES NOT FIT AND IS TRUNCATED\n"
            "\n0 Error(s), 6 Warning(s)\n");
  // clang-format on

  ASSERT_EQ(ZqasmSetWarnings(""), 0);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  EXPECT_EQ(zqtest::readFile(dir.file("main.ERR")), "\n0 Error(s), 0 Warning(s)\n");
}

}  // namespace
