#include "text.h"

#include <gtest/gtest.h>

namespace zqlsp {
namespace {

// One byte per UTF-16 unit, so columns agree with the editor's; back as UTF-8; file URIs.
TEST(LspTextTest, BytesAndUris) {
  EXPECT_EQ(bytesFromUtf8("A\xC3\xA9;\xE2\x82\xAC \xF0\x9F\x98\x80x"), "A\xE9;? ??x");
  EXPECT_EQ(bytesFromUtf8("\xC3(\xFF"), "?(?");
  EXPECT_EQ(utf8FromBytes("A\xE9\xFF"), "A\xC3\xA9\xC3\xBF");
  EXPECT_EQ(pathFromUri("file:///a%20b/x%23.asm"), "/a b/x#.asm");
  EXPECT_EQ(pathFromUri("file://localhost/x.asm"), "/x.asm");
  EXPECT_EQ(pathFromUri("file://other/x.asm"), "");
  EXPECT_EQ(pathFromUri("untitled:Untitled-1"), "");
  EXPECT_EQ(uriFromPath("/a b/x#.asm"), "file:///a%20b/x%23.asm");
  EXPECT_EQ(splitLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
}

// Ranged changes as the protocol counts positions: LF, CR LF and a lone CR each end a
// line; a column past the line end stands at the end (never in a CR LF, never in the next
// line); a line past the last at the end. In the server's bytes one byte is one UTF-16
// unit; in UTF-8 (zqasm.json) a character beyond the first plane is two, a position
// between them stands before it.
TEST(LspTextTest, RangedChanges) {
  struct Case {
    std::string text;
    int startLine, startCharacter, endLine, endCharacter;
    std::string replacement;
    bool utf8;
    std::string expected;
  };
  const Case cases[] = {
      {"ab\ncd\n", 0, 2, 1, 0, "X", false, "abXcd\n"},            // joins two lines
      {"ab\r\ncd", 0, 9, 0, 9, "!", false, "ab!\r\ncd"},          // past the end of line 0
      {"ab\r\ncd", 1, 1, 1, 1, "+", false, "ab\r\nc+d"},
      {"ab\rcd\ref", 2, 0, 2, 1, "E", false, "ab\rcd\rEf"},       // lone CRs end lines
      {"ab\r\ncd", 0, 2, 1, 0, "", false, "abcd"},                // deletes the CR LF
      {"ab", 5, 0, 7, 3, "\nz", false, "ab\nz"},                   // beyond the last line
      {"ab\ncd", 1, 2, 0, 1, "-", false, "a-"},                    // ends given backwards
      {"x\xE9y", 0, 2, 0, 3, "Z", false, "x\xE9Z"},                 // a Latin-1 byte, one unit
      {"\xF0\x9F\x98\x80" "a\xC3\xA9" "b", 0, 3, 0, 4, "", true, "\xF0\x9F\x98\x80" "ab"},
      {"\xF0\x9F\x98\x80" "a", 0, 1, 0, 2, "_", true, "_a"},         // inside the pair
      {"", -1, -4, 0, 0, "new", false, "new"},
  };
  for (const Case& k : cases) {
    std::string text = k.text;
    applyChange(text, k.startLine, k.startCharacter, k.endLine, k.endCharacter, k.replacement,
                k.utf8);
    EXPECT_EQ(text, k.expected) << k.text << " " << k.startLine << ":" << k.startCharacter;
  }
}

}  // namespace
}  // namespace zqlsp
