// The line scan: what each keyword rule finds, recorded in one pass over a line.
#include "source/line_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "symbols/constant_table.h"

namespace {

// The scan records, in one pass, what the include, ORG and definition keyword rules
// each find alone, and the first word as the label handler takes it.
TEST(LineScan, RecordsEachRule) {
  const size_t no = zq::LineScan::npos;
  // clang-format off
  struct Case { std::string line; size_t include, org; bool equ, defstr; const char* word; };
  const Case cases[] = {
      {"  #include <a.h>\n", 2, no, false, false, "#include"},
      {" .\t.INCLUDE x\n", 3, no, false, false, "."},
      {"X ORG 5\n", no, 2, false, false, "X"}, {"MYorg\t5 ; ORG 6\n", no, 2, false, false, "MYorg"},
      {"; ORG 5\n", no, no, false, false, ""}, {"A;ORG 5\n", no, no, false, false, "A"},
      {"ORG\n", no, no, false, false, "ORG"}, {"K EQU 5\n", no, no, true, false, "K"},
      {"K\t.equal 5\n", no, no, true, false, "K"}, {"EQU 5\n", no, no, false, false, "EQU"}, {"  EQU 5\n", no, no, true, false, "EQU"},
      {"KEQU 5\n", no, no, false, false, "KEQU"}, {"K EQUATE 5\n", no, no, false, false, "K"},
      {"X EQU;5\n", no, no, false, false, "X"}, {"S DefString A, B\n", no, no, false, true, "S"},
      {"S .DEFSTR A\n", no, no, false, true, "S"}, {"L: EQU 1\n", no, no, true, false, "L"},
      {"            K EQU 1 ;c\n", no, no, true, false, "K"},
      {"        LDA CNT ; EQU 5\n", no, no, false, false, "LDA"},
      {std::string("A\0 B EQU 1\n", 11), no, no, true, false, "A"}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    zq::LineScan scan = zq::scanLine(c.line);
    zq::scanKeywords(scan);
    EXPECT_EQ(scan.word(), c.word);
    EXPECT_EQ(scan.includeAt, c.include);
    EXPECT_EQ(zq::includeKeywordAt(c.line), c.include);
    EXPECT_EQ(scan.orgAt, c.org);
    EXPECT_EQ(zq::orgKeywordAt(c.line), c.org);
    EXPECT_EQ(scan.equKeyword, c.equ);
    EXPECT_EQ(zq::hasDefinitionKeyword(c.line, "EQU", "EQUAL"), c.equ);
    EXPECT_EQ(scan.defstrKeyword, c.defstr);
    EXPECT_EQ(zq::hasDefinitionKeyword(c.line, "DEFSTR", "DEFSTRING"), c.defstr);
  }
}

}  // namespace
