// Line joining, include detection and search, and the include depth limit.
#include "source/pass_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "driver/run.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using zq::AssemblerRun;

// All lines joinLine makes of `content`.
std::vector<std::string> joinAll(const std::string& content) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("src"), content);
  FILE* stream = std::fopen(dir.file("src").c_str(), "r");
  std::vector<std::string> lines;
  if (stream == nullptr) return lines;
  zq::PieceReader reader(stream);
  std::string line;
  while (zq::joinLine(reader, line)) lines.push_back(line);
  std::fclose(stream);
  return lines;
}

TEST(PassLoopJoinLine, Lengths) {
  // 1,024 characters with the line feed: one line, processed as it stands.
  auto lines = joinAll(std::string(1023, 'a') + "\nB\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(1023, 'a') + "\n");
  EXPECT_EQ(lines[1], "B\n");

  // 1,025: still one line, now over the limit.
  lines = joinAll(std::string(1024, 'a') + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 1025u);

  // 2,000: joining stops after 13 pieces of 81; the rest comes back as a line.
  lines = joinAll(std::string(1999, 'a') + "\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(1053, 'a'));
  EXPECT_EQ(lines[1], std::string(946, 'a') + "\n");
}

TEST(PassLoopJoinLine, BlankPiecesAndEnds) {
  // A whole piece of blanks inside a long line disappears.
  auto lines = joinAll(std::string(81, 'X') + std::string(81, ' ') + "Y\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(81, 'X') + "Y\n");

  // Blanks that share a piece with text stay; a line of blanks and a line feed is kept.
  lines = joinAll("   \nA  \n\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "   \n");
  EXPECT_EQ(lines[1], "A  \n");
  EXPECT_EQ(lines[2], "\n");

  // Trailing blanks without a line feed give one empty line; no text, no line at all.
  lines = joinAll("A\n   ");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "");
  EXPECT_TRUE(joinAll("").empty());

  // Carriage returns of line ends go; NUL bytes read as blanks.
  lines = joinAll(std::string("A\r\nB\0C\n", 7));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "A\n");
  EXPECT_EQ(lines[1], "B C\n");
}

class PassLoopInclude : public ::testing::Test {
 protected:
  void SetUp() override {
    params_ = zqtest::makeParams(dir_.file("main.asm"));
    run_ = std::make_unique<AssemblerRun>();
    run_->params = params_.get();
    std::filesystem::create_directory(dir_.file("inc"));
    std::filesystem::create_directory(dir_.file("more"));
    zqtest::writeFile(dir_.file("inc/defs.inc"), "; defs\n");
    zqtest::writeFile(dir_.file("more/other.inc"), "; other\n");
    zqtest::writeFile(dir_.file("more/defs.inc"), "; second copy\n");
  }
  void setSlot(char* slot, const std::string& text) {
    std::snprintf(slot, ZQASM_PATH_SLOT, "%s", text.c_str());
  }
  std::string real(const std::string& name) { return zq::fullPath(dir_.file(name)); }

  zqtest::TempDir dir_;
  std::unique_ptr<AssemblerParams> params_;
  std::unique_ptr<AssemblerRun> run_;
};

TEST_F(PassLoopInclude, FindIncludeFileSearchOrder) {
  std::string full;
  EXPECT_EQ(zq::findIncludeFile(*run_, "DEFS.INC", full), 0);  // no directory set

  // An empty first slot is skipped; the list at 1032 ends at its first empty slot.
  setSlot(params_->includeDir2, dir_.file("inc"));
  setSlot(params_->includeDirs[0], dir_.file("more"));
  setSlot(params_->includeDirs[2], dir_.file("nowhere"));
  EXPECT_EQ(zq::findIncludeFile(*run_, "DEFS.INC", full), 1);
  EXPECT_EQ(full, real("inc/defs.inc"));
  EXPECT_EQ(zq::findIncludeFile(*run_, "OTHER.INC", full), 1);
  EXPECT_EQ(full, real("more/other.inc"));

  // A directory that ends in "\\" gets no second one.
  setSlot(params_->includeDir2, "");
  setSlot(params_->includeDir1, dir_.file("more") + "\\");
  EXPECT_EQ(zq::findIncludeFile(*run_, "defs.inc", full), 1);
  EXPECT_EQ(full, real("more/defs.inc"));
  EXPECT_EQ(zq::findIncludeFile(*run_, "MISSING.INC", full), 0);
}

TEST_F(PassLoopInclude, DetectIncludeTable) {
  setSlot(params_->includeDir1, dir_.file("inc"));
  const std::string defs = real("inc/defs.inc");
  const std::string absolute = dir_.file("more\\other.inc");
  struct Case {
    std::string line;
    int result;
    std::string rewritten;  // empty: unchanged
    std::string full;
  };
  const std::vector<Case> cases = {
      {"#include <defs.inc>\n", 1, "#include <defs.inc> (" + defs + ")\n", defs},
      {"  .INCLUDE \"DEFS.INC\" ; x\n", 1, "  .INCLUDE \"DEFS.INC\" ; x (" + defs + ")\n", defs},
      {"\t#Include\tdefs.inc", 1, "\t#Include\tdefs.inc (" + defs + ")\n", defs},
      // A name with a path separator is opened as it stands; the line is not changed.
      {".include \"" + absolute + "\"\n", 1, "", real("more/other.inc")},
      {"#include <nothere.inc>\n", 2, "", ""},
      {"#include\n", 2, "", ""},
      {"#include <>\n", 2, "", ""},
      {"#includedefs.inc\n", 2, "", ""},
      {"..include defs.inc\n", 1, "..include defs.inc (" + defs + ")\n", defs},
      {"; #include <defs.inc>\n", 0, "", ""},
      {"LABEL: #include <defs.inc>\n", 0, "", ""},
      {"# include <defs.inc>\n", 0, "", ""},
      {"#define X 1\n", 0, "", ""},
      {"\n", 0, "", ""},
      {"", 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    for (int pass : {1, 2}) {
      run_->diagnostics.lineErrors.clear();
      std::string line = c.line;
      std::string full;
      EXPECT_EQ(zq::detectInclude(*run_, line, full, pass), c.result);
      EXPECT_EQ(line, c.rewritten.empty() ? c.line : c.rewritten);
      if (c.result == 1) {
        EXPECT_EQ(full, c.full);
      }
      bool error36 = c.result == 2 && pass == 2;
      EXPECT_EQ(run_->diagnostics.lineErrors, error36 ? std::vector<int>{36} : std::vector<int>{});
    }
  }
}

TEST_F(PassLoopInclude, SelfIncludeStopsAtLevelEight) {
  // Each level reads the file again; the ninth include line is refused once.
  zqtest::writeFile(dir_.file("main.asm"), "; top\n#include <main.asm>\n; end\n");
  setSlot(params_->includeDir1, dir_.path());
  std::vector<std::string> messages;
  run_->files.listing = std::tmpfile();
  run_->files.error = std::tmpfile();
  ASSERT_NE(run_->files.listing, nullptr);
  ASSERT_NE(run_->files.error, nullptr);
  run_->source.programRomTop = 0xFFF;
  EXPECT_EQ(zq::assembleFile(*run_, real("main.asm"), 2), 1);
  EXPECT_EQ(run_->source.includeLevel, 0);
  EXPECT_EQ(run_->diagnostics.errorCount, 1);
  EXPECT_EQ(run_->source.passLineCount, 27);  // nine readings of three lines

  std::rewind(run_->files.error);
  char text[512] = {};
  ASSERT_NE(std::fgets(text, sizeof text, run_->files.error), nullptr);
  EXPECT_EQ(std::string(text), real("main.asm") + "(2) : Error 35 ->  INCLUDE FILE TOO DEPTH\n");
}

TEST_F(PassLoopInclude, OpenFailures) {
  std::vector<std::string> messages;
  zq::setMessageSink(
      [](const char* text, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(text);
      },
      &messages);
  run_->source.includeLevel = 3;
  EXPECT_EQ(zq::assembleFile(*run_, dir_.file("none.asm"), 1), -1);
  zq::setMessageSink(nullptr, nullptr);
  // The level goes back to the including file's.
  EXPECT_EQ(run_->source.includeLevel, 2);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], dir_.file("none.asm") + " open failed !");

  std::string full;
  EXPECT_LT(zq::openSourceFile(dir_.file("none.asm"), full), 0);
  EXPECT_EQ(full, zq::fullPath(dir_.file("none.asm")));
  int descriptor = zq::openSourceFile(dir_.file("INC\\DEFS.INC"), full);
  EXPECT_GE(descriptor, 0);
  zq::closeSourceFile(descriptor);
  EXPECT_EQ(full, real("inc/defs.inc"));
}

}  // namespace
