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

}  // namespace
}  // namespace zqlsp
