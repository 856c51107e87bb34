#include "platform/output_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace zq {
namespace {

// Every piece against the printf conversion it stands for, at the edges of its width.
TEST(OutputLineTest, PiecesMatchPrintf) {
  for (long long v : {0LL, 7LL, -7LL, 12345LL, -12345LL, 123456LL, INT_MIN + 0LL, INT_MAX + 0LL}) {
    char plain[32], wide[32], zeros[32];
    std::snprintf(plain, sizeof plain, "%lld", v);
    std::snprintf(wide, sizeof wide, "%5lld", v);
    std::snprintf(zeros, sizeof zeros, "%05lld", v);
    EXPECT_EQ(OutputLine().decimal(v).str(), plain);
    EXPECT_EQ(OutputLine().decimal(v, 5).str(), wide);
    EXPECT_EQ(OutputLine().decimalZeros(v, 5).str(), zeros);
  }
  for (unsigned long long v : {0ULL, 0xAB1ULL, 0xFFFFULL, 0x12345ULL, 0xFFFFFFFFULL}) {
    char wide[32], plain[32];
    std::snprintf(wide, sizeof wide, "%04llX", v);
    std::snprintf(plain, sizeof plain, "%llX", v);
    EXPECT_EQ(OutputLine().hex(v, 4).str(), wide);
    EXPECT_EQ(OutputLine().hex(v).str(), plain);
  }
  // "%s" stops at a NUL; "%32s" pads on the left and never cuts.
  EXPECT_EQ(OutputLine().text(std::string("ab\0cd", 5)).text("!").str(), "ab!");
  EXPECT_EQ(OutputLine().rightAligned("NAME", 8).str(), "    NAME");
  EXPECT_EQ(OutputLine().rightAligned("LONGER", 3).str(), "LONGER");
  EXPECT_EQ(OutputLine().repeat('+', 2).repeat(' ', 1).str(), "++ ");
  // A line longer than the short buffer keeps every piece in order.
  const std::string longText(300, 'x');
  EXPECT_EQ(OutputLine().text("ab").repeat('-', 40).text(longText).decimal(7, 3).str(),
            "ab" + std::string(40, '-') + longText + "  7");
}

}  // namespace
}  // namespace zq
