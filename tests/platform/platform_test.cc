#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace zq {
namespace {

using zqtest::readFile;
using zqtest::TempDir;
using zqtest::writeFile;

// Runs a test body in another current directory and goes back afterwards.
class ChangeDirectory {
 public:
  explicit ChangeDirectory(const std::string& to) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(to);
  }
  ~ChangeDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

std::string realDirectory(const TempDir& dir) {
  char* real = realpath(dir.path().c_str(), nullptr);
  std::string result = real ? real : dir.path();
  std::free(real);
  return result;
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = realDirectory(dir_);
    std::filesystem::create_directories(root_ + "/sub");
    std::filesystem::create_directories(root_ + "/amb");
    writeFile(root_ + "/sub/file.asm", "x\n");
    writeFile(root_ + "/amb/Inc.h", "first\n");
    writeFile(root_ + "/amb/INC.H", "second\n");
    writeFile(root_ + "/amb/Only.h", "only\n");
    std::filesystem::create_symlink(root_ + "/sub/file.asm", root_ + "/link.asm");
  }
  TempDir dir_;
  std::string root_;
};

TEST_F(PlatformTest, FullPathResolvesSeparatorsDotsCaseAndLinks) {
  ChangeDirectory here(root_);
  struct Case {
    std::string name, expected;
  } cases[] = {
      {"sub\\file.asm", root_ + "/sub/file.asm"},
      {".\\sub/./..\\sub\\file.asm", root_ + "/sub/file.asm"},
      {"SUB\\FILE.ASM", root_ + "/sub/file.asm"},         // found case-insensitively
      {"link.asm", root_ + "/sub/file.asm"},              // link resolved
      {"missing\\..\\new\\x.ASM", root_ + "/new/x.ASM"},  // not there: as written
      {"/a/b/../../c/./d", "/c/d"},
      {"\\..\\..\\x", "/x"},  // ".." above the root stays there
      {"sub\\", root_ + "/sub"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(fullPath(c.name), c.expected) << c.name;
}

TEST_F(PlatformTest, CaseInsensitiveResolutionPrefersExactAndRefusesAmbiguity) {
  struct Case {
    std::string name, expected;
  } cases[] = {
      {root_ + "/amb/Inc.h", root_ + "/amb/Inc.h"},  // exact match wins over INC.H
      {root_ + "/amb/INC.H", root_ + "/amb/INC.H"},
      {root_ + "/amb/inc.h", ""},  // two candidates: a miss
      {root_ + "/AMB/ONLY.H", root_ + "/amb/Only.h"},
      {root_ + "\\Amb\\only.H", root_ + "/amb/Only.h"},
      {root_ + "/amb/only.h/x", ""},
      {root_ + "/nothing.h", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveExistingName(c.name), c.expected) << c.name;
  EXPECT_EQ(fullPath(root_ + "/amb/inc.h"), root_ + "/amb/inc.h");
}

TEST_F(PlatformTest, OpensExistingFilesCaseInsensitivelyButNotDirectories) {
  int fd = openReadOnly(root_ + "\\AMB\\ONLY.H");
  ASSERT_GE(fd, 0);
  char buffer[8] = {};
  EXPECT_EQ(read(fd, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer), "only");
  close(fd);
  EXPECT_LT(openReadOnly(root_ + "/amb/inc.h"), 0);
  EXPECT_LT(openReadOnly(root_ + "/sub"), 0);
  EXPECT_EQ(openForReading(root_ + "/sub", "r"), nullptr);
  FILE* stream = openForReading(root_ + "/SUB/File.Asm", "r");
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
}

TEST_F(PlatformTest, OutputNamesKeepTheirSpelling) {
  FILE* out = openForWriting(root_ + "\\SUB\\prog.LST", "w");
  ASSERT_NE(out, nullptr);
  std::fclose(out);
  EXPECT_TRUE(zqtest::fileExists(root_ + "/sub/prog.LST"));
  EXPECT_FALSE(zqtest::fileExists(root_ + "/sub/prog.lst"));
  EXPECT_EQ(openForWriting(root_ + "/nodir/prog.LST", "w"), nullptr);
}

TEST_F(PlatformTest, CopyFileReplacesTarget) {
  writeFile(root_ + "/from.txt", "new");
  writeFile(root_ + "/to.txt", "a much longer old content");
  EXPECT_TRUE(copyFile(root_ + "/from.txt", root_ + "/to.txt"));
  EXPECT_EQ(readFile(root_ + "/to.txt"), "new");
  EXPECT_TRUE(copyFile(root_ + "\\FROM.TXT", root_ + "/fresh.txt"));
  EXPECT_EQ(readFile(root_ + "/fresh.txt"), "new");
  // The same file under two names is refused rather than emptied.
  EXPECT_FALSE(copyFile(root_ + "/from.txt", root_ + "/FROM.TXT"));
  EXPECT_EQ(readFile(root_ + "/from.txt"), "new");
  EXPECT_FALSE(copyFile(root_ + "/none.txt", root_ + "/to.txt"));
  EXPECT_EQ(readFile(root_ + "/to.txt"), "new");
}

std::vector<std::string> readPieces(const std::string& bytes) {
  FILE* stream = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::rewind(stream);
  PieceReader reader(stream);
  std::vector<std::string> pieces;
  std::string piece;
  while (reader.next(piece)) pieces.push_back(piece);
  std::fclose(stream);
  return pieces;
}

TEST(PieceReaderTest, ReadsLikeFgetsOnAWindowsTextStream) {
  const std::string a80(80, 'a'), a81(81, 'a'), x200(200, 'x');
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> pieces;
  } cases[] = {
      {"crlf", "ab\r\ncd\r\n", {"ab\n", "cd\n"}},
      {"cr at the 81st byte, lf after it", a80 + "\r\n" + "b\n", {a80 + "\n", "b\n"}},
      {"81 chars then crlf", a81 + "\r\nb", {a81, "\n", "b"}},
      {"long line",
       x200 + "\n",
       {std::string(81, 'x'), std::string(81, 'x'), std::string(38, 'x') + "\n"}},
      {"nul as blank", std::string("a\0b\n", 4), {"a b\n"}},
      {"lone cr kept", "a\rb\r\r\n", {"a\rb\r\n"}},
      {"cr at end of file", "a\r", {"a\r"}},
      {"no final newline", "x\nlast", {"x\n", "last"}},
      {"ctrl-z ends the text", "x\n\x1Ay\n", {"x\n"}},
      {"empty", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(readPieces(c.bytes), c.pieces) << c.what;
}

struct Captured {
  std::vector<std::string> texts;
};

void capture(const char* text, void* context) {
  static_cast<Captured*>(context)->texts.push_back(text);
}

TEST(MessageTest, SinkReceivesFormattedTextCutTo1023Characters) {
  Captured captured;
  setMessageSink(capture, &captured);
  showMessage("%s open failed !", "prog.asm");
  showMessage("%s", std::string(2000, 'm').c_str());
  setMessageSink(nullptr, nullptr);
  ASSERT_EQ(captured.texts.size(), 2u);
  EXPECT_EQ(captured.texts[0], "prog.asm open failed !");
  EXPECT_EQ(captured.texts[1], std::string(1023, 'm'));
}

TEST(LoadDirectoryTest, JoinsWithABackslashUnlessOneEndsIt) {
  const std::string& directory = loadDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory, std::filesystem::current_path().string());
  EXPECT_EQ(joinWithLoadDirectory("$LISTBANK$.TMP"), directory + "\\$LISTBANK$.TMP");
}

}  // namespace
}  // namespace zq
