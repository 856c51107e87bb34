#include "platform/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace zq {
namespace {

using zqtest::readFile;
using zqtest::writeFile;
namespace fs = std::filesystem;

// Works in a directory holding sub/file.asm, a link to it, and amb/ with Inc.h, INC.H, Only.h.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"/sub", "/amb"}) fs::create_directories(root_ + sub);
    writeFile(root_ + "/sub/file.asm", "x\n");
    writeFile(root_ + "/amb/Inc.h", "first\n");
    writeFile(root_ + "/amb/INC.H", "second\n");
    writeFile(root_ + "/amb/Only.h", "only\n");
    fs::create_symlink(root_ + "/sub/file.asm", root_ + "/link.asm");
    fs::current_path(root_);
  }
  void TearDown() override { fs::current_path(previous_); }
  zqtest::TempDir dir_;
  std::string root_ = fs::canonical(dir_.path()).string();
  fs::path previous_ = fs::current_path();
};

TEST_F(PlatformTest, FullPathAndCaseInsensitiveResolution) {
  const std::string file = root_ + "/sub/file.asm", only = root_ + "/amb/Only.h";
  using Row = std::pair<std::string, std::string>;  // name, expected
  const Row fullCases[] = {
      {".\\sub/./..\\sub\\file.asm", file},
      {"SUB\\FILE.ASM", file},
      {"link.asm", file},
      {"\\..\\..\\x", "/x"},  // ".." stops at the root
      {"sub\\", root_ + "/sub"},
      {"", ""},
      {"missing\\..\\new\\x.ASM", root_ + "/new/x.ASM"},  // not there: as written
      {root_ + "/amb/inc.h", root_ + "/amb/inc.h"},       // ambiguous: as written
  };
  for (const Row& r : fullCases) EXPECT_EQ(fullPath(r.first), r.second) << r.first;
  // An exact match wins; two case-insensitive candidates are a miss.
  const Row resolveCases[] = {
      {root_ + "/amb/Inc.h", root_ + "/amb/Inc.h"},
      {root_ + "/amb/INC.H", root_ + "/amb/INC.H"},
      {root_ + "/amb/inc.h", ""},
      {root_ + "/AMB/ONLY.H", only},
      {root_ + "\\Amb\\only.H", only},
      {root_ + "/amb/only.h/x", ""},
  };
  for (const Row& r : resolveCases) EXPECT_EQ(resolveExistingName(r.first), r.second) << r.first;
}

TEST_F(PlatformTest, OpensFilesCaseInsensitivelyAndWritesNamesAsGiven) {
  int fd = openReadOnly(root_ + "\\AMB\\ONLY.H");
  ASSERT_GE(fd, 0);
  char buffer[8] = {};
  EXPECT_EQ(read(fd, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer), "only");
  close(fd);
  EXPECT_LT(openReadOnly(root_ + "/amb/inc.h"), 0);
  EXPECT_LT(openReadOnly(root_ + "/sub"), 0);
  auto opened = [](FILE* stream) { return stream != nullptr && std::fclose(stream) == 0; };
  EXPECT_FALSE(opened(openForReading(root_ + "/sub", "r")));
  EXPECT_TRUE(opened(openForReading(root_ + "/SUB/File.Asm", "r")));
  EXPECT_TRUE(opened(openForWriting(root_ + "\\SUB\\prog.LST", "w")));
  EXPECT_TRUE(zqtest::fileExists(root_ + "/sub/prog.LST"));
  EXPECT_FALSE(zqtest::fileExists(root_ + "/sub/prog.lst"));
  EXPECT_FALSE(opened(openForWriting(root_ + "/nodir/prog.LST", "w")));
}

// Inputs are read only from regular files of at most the size asked for; a pipe without
// a writer is refused at once instead of blocking the reader.
TEST_F(PlatformTest, ReadInputFileTakesRegularFilesOfTheirSize) {
  ASSERT_EQ(mkfifo((root_ + "/fifo").c_str(), 0600), 0);
  std::string contents = "stale";
  EXPECT_EQ(readInputFile(root_ + "/fifo", 100, contents), InputFile::kNotRegular);
  EXPECT_EQ(readInputFile("/dev/zero", 100, contents), InputFile::kNotRegular);
  EXPECT_EQ(readInputFile(root_ + "/sub", 100, contents), InputFile::kNotRegular);
  EXPECT_EQ(readInputFile(root_ + "/none", 100, contents), InputFile::kMissing);
  EXPECT_EQ(readInputFile(root_ + "/sub/file.asm", 1, contents), InputFile::kTooLarge);
  EXPECT_EQ(contents, "");
  EXPECT_EQ(readInputFile(root_ + "/link.asm", 2, contents), InputFile::kRead);
  EXPECT_EQ(contents, "x\n");
  EXPECT_LT(openReadOnly(root_ + "/fifo"), 0);
}

// A killed run leaves NAME.tmp<process id>_<n> beside NAME; the next file made under that
// name removes those of processes that no longer run, and its own, never another's.
TEST_F(PlatformTest, StaleTemporaryFilesAreRemoved) {
  EXPECT_EQ(temporaryNameOwner("p.OBJ.tmp123_0", "p.OBJ"), 123);
  for (const char* other : {"p.OBJ", "p.OBJ.tmp", "p.OBJ.tmp12", "p.OBJ.tmp12_", "p.OBJ.tmp_1",
                            "p.OBJ.tmp1_2x", "p.TAB.HEX.tmp1_0", "q.OBJ.tmp1_0"})
    EXPECT_EQ(temporaryNameOwner(other, "p.OBJ"), -1) << other;
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  waitpid(gone, nullptr, 0);
  const std::string stem = root_ + "/p.OBJ.tmp";
  const std::string dead = stem + std::to_string(gone) + "_0";
  const std::string mine = stem + std::to_string(getpid()) + "_3";
  const std::string alive = stem + std::to_string(getppid()) + "_0";
  for (const std::string& name : {dead, mine, alive}) writeFile(name, "left");
  ReplacingFile file(root_ + "/p.OBJ", "wb");
  EXPECT_FALSE(zqtest::fileExists(dead) || zqtest::fileExists(mine));
  EXPECT_TRUE(zqtest::fileExists(alive));
  EXPECT_TRUE(file.commit());
  EXPECT_TRUE(zqtest::fileExists(root_ + "/p.OBJ"));
}

TEST(PieceReaderTest, ReadsLikeFgetsOnAWindowsTextStream) {
  const std::string a80(80, 'a'), a81(81, 'a'), x81(81, 'x'), x200(200, 'x');
  // Bytes in, pieces out.
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"ab\r\ncd\r\n", {"ab\n", "cd\n"}},
      {a80 + "\r\n" + "b\n", {a80 + "\n", "b\n"}},
      {a81 + "\r\nb", {a81, "\n", "b"}},  // CR dropped across the piece boundary
      {x200 + "\n", {x81, x81, std::string(38, 'x') + "\n"}},
      {std::string("a\0b\n", 4), {"a b\n"}},
      {"a\rb\r\r\n", {"a\rb\r\n"}},
      {"a\r", {"a\r"}},
      {"x\nlast", {"x\n", "last"}},
      {"x\n\x1Ay\n", {"x\n"}},
      {"", {}},
  };
  for (const auto& [bytes, expected] : cases) {
    FILE* stream = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    PieceReader reader(stream);
    std::vector<std::string> pieces;
    for (std::string piece; reader.next(piece);) pieces.push_back(piece);
    std::fclose(stream);
    EXPECT_EQ(pieces, expected) << bytes;
  }
}

void collect(const char* text, void* texts) {
  static_cast<std::vector<std::string>*>(texts)->push_back(text);
}

TEST(MessageTest, SinkReceivesFormattedTextCutTo1023Characters) {
  std::vector<std::string> texts;
  setMessageSink(collect, &texts);
  showMessage("%s open failed !", "prog.asm");
  showMessage("%s", std::string(2000, 'm').c_str());
  setMessageSink(nullptr, nullptr);
  EXPECT_EQ(texts, (std::vector<std::string>{"prog.asm open failed !", std::string(1023, 'm')}));
}

}  // namespace
}  // namespace zq
