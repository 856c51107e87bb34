// Line joining, include detection and search, and the include depth limit.
#include "driver/pass_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "services/run.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

// All lines joinLine makes of `content`.
Lines joinAll(const std::string& content) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("src"), content);
  FILE* stream = std::fopen(dir.file("src").c_str(), "r");
  Lines lines;
  if (stream == nullptr) return lines;
  zq::PieceReader reader(stream);
  for (std::string line; zq::joinLine(reader, line);) lines.push_back(line);
  std::fclose(stream);
  return lines;
}

// 1,024 and 1,025 characters stay one line; 2,000 stop after 13 pieces of 81. A piece of
// blanks alone goes, but only within the first 1,024 characters read for a line, so a
// run of NULs (read as blanks) ends as an over-long line; CR before LF goes.
TEST(PassLoop, JoinLine) {
  const std::string a(1023, 'a');
  const std::vector<std::pair<std::string, Lines>> cases = {
      {a + "\nB\n", {a + "\n", "B\n"}},
      {a + "a\n", {a + "a\n"}},
      {std::string(1999, 'a') + "\n", {std::string(1053, 'a'), std::string(946, 'a') + "\n"}},
      {std::string(81, 'X') + std::string(81, ' ') + "Y\n", {std::string(81, 'X') + "Y\n"}},
      {"   \nA  \n\n", {"   \n", "A  \n", "\n"}},
      {"A\n   ", {"A\n", ""}},
      {"", {}},
      {std::string("A\r\nB\0C\n", 7), {"A\n", "B C\n"}},
      // Control characters at every place of a word of eight: a tab stays, a lone CR too.
      {std::string("ABCDEFGHIJ\tKLMNO\rP\nQRSTUVWXYZ\0Z\n", 32),
       {"ABCDEFGHIJ\tKLMNO\rP\n", "QRSTUVWXYZ Z\n"}},
      {std::string(3000, '\0') + "\n", {std::string(1053, ' '), "   \n"}},
  };
  for (const auto& [content, lines] : cases) EXPECT_EQ(joinAll(content), lines) << content;
}

class PassLoopInclude : public ::testing::Test {
 protected:
  void SetUp() override {
    params_ = zqtest::makeParams(dir_.file("main.asm"));
    run_ = std::make_unique<zq::AssemblerRun>();
    run_->params = params_.get();
    std::filesystem::create_directory(dir_.file("inc"));
    std::filesystem::create_directory(dir_.file("more"));
    zqtest::writeFile(dir_.file("inc/defs.inc"), "; defs\n");
    zqtest::writeFile(dir_.file("more/other.inc"), "; other\n");
    zqtest::writeFile(dir_.file("more/defs.inc"), "; second copy\n");
    zq::setMessageSink(
        [](const char* text, void* context) { static_cast<Lines*>(context)->push_back(text); },
        &messages_);
  }
  void TearDown() override { zq::setMessageSink(nullptr, nullptr); }
  void setSlot(char* slot, const std::string& text) {
    std::snprintf(slot, ZQASM_PATH_SLOT, "%s", text.c_str());
  }
  std::string real(const std::string& name) { return zq::fullPath(dir_.file(name)); }

  zqtest::TempDir dir_;
  std::unique_ptr<AssemblerParams> params_;
  std::unique_ptr<zq::AssemblerRun> run_;
  Lines messages_;
};

// Slots in order, an empty first slot skipped, the list ending at its first empty slot;
// never the including file's directory.
TEST_F(PassLoopInclude, FindIncludeFileSearchOrder) {
  auto find = [&](const char* name) {
    std::string full;
    return zq::findIncludeFile(*run_, name, full) == 1 ? full : "not found";
  };
  zqtest::writeFile(dir_.file("defs.inc"), "; beside main\n");
  run_->source.includeFileNames[0] = real("main.asm");
  EXPECT_EQ(find("DEFS.INC"), "not found");

  setSlot(params_->includeDir2, dir_.file("inc"));
  setSlot(params_->includeDirs[0], dir_.file("more"));
  setSlot(params_->includeDirs[2], dir_.file("nowhere"));
  EXPECT_EQ(find("DEFS.INC"), real("inc/defs.inc"));
  EXPECT_EQ(find("OTHER.INC"), real("more/other.inc"));

  setSlot(params_->includeDir2, "");
  setSlot(params_->includeDir1, dir_.file("more") + "\\");  // gets no second "\\"
  EXPECT_EQ(find("defs.inc"), real("more/defs.inc"));
  EXPECT_EQ(find("MISSING.INC"), "not found");
}

// Result 1 rewrites a searched line (not a path); 2 raises 36 in pass 2 only.
TEST_F(PassLoopInclude, DetectInclude) {
  setSlot(params_->includeDir1, dir_.file("inc"));
  const std::string defs = real("inc/defs.inc"), other = real("more/other.inc");
  const std::string absolute = dir_.file("more\\other.inc");
  auto expect = [&](const std::string& text, int result, std::string rewritten = "",
                    const std::string& expectedFull = "") {
    SCOPED_TRACE(text);
    if (rewritten.empty()) rewritten = text;
    for (int pass : {1, 2}) {
      run_->diagnostics.lineErrors.clear();
      std::string line = text, full;
      EXPECT_EQ(zq::detectInclude(*run_, line, full, pass), result);
      EXPECT_EQ(line, rewritten);
      if (result == 1) {
        EXPECT_EQ(full, expectedFull);
      }
      bool error36 = result == 2 && pass == 2;
      EXPECT_EQ(run_->diagnostics.lineErrors, error36 ? std::vector<int>{36} : std::vector<int>{});
    }
  };
  expect("#include <defs.inc>\n", 1, "#include <defs.inc> (" + defs + ")\n", defs);
  expect("  .INCLUDE \"DEFS.INC\" ; x\n", 1, "  .INCLUDE \"DEFS.INC\" ; x (" + defs + ")\n", defs);
  expect("\t#Include\tdefs.inc", 1, "\t#Include\tdefs.inc (" + defs + ")\n", defs);
  expect("..include defs.inc\n", 1, "..include defs.inc (" + defs + ")\n", defs);
  expect(".include \"" + absolute + "\"\n", 1, "", other);
  expect("#include <.." + absolute + ">\n", 1, "", other);  // a name never starts at "."
  for (const char* line : {"#include <nothere.inc>\n", "#include\n", "#includedefs.inc\n",
                           ".include /dev/zero\n"})  // not a regular file
    expect(line, 2);
  for (const char* line : {"; #include <defs.inc>\n", "LABEL: #include <defs.inc>\n",
                           "# include <defs.inc>\n", "#define X 1\n", ""})
    expect(line, 0);
}

TEST_F(PassLoopInclude, SelfIncludeStopsAtLevelEight) {
  // Nine readings of three lines; the ninth include line is refused once.
  zqtest::writeFile(dir_.file("main.asm"), "; top\n#include <main.asm>\n; end\n");
  setSlot(params_->includeDir1, dir_.path());
  run_->files.error = std::tmpfile();
  ASSERT_NE(run_->files.error, nullptr);
  run_->source.programRomTop = 0xFFF;
  EXPECT_EQ(zq::assembleFile(*run_, real("main.asm"), 2), 1);
  EXPECT_EQ(run_->source.includeLevel, 0);
  EXPECT_EQ(run_->diagnostics.errorCount, 1);
  EXPECT_EQ(run_->source.passLineCount, 27);
  std::rewind(run_->files.error);
  char text[512] = {};
  ASSERT_NE(std::fgets(text, sizeof text, run_->files.error), nullptr);
  EXPECT_EQ(std::string(text), real("main.asm") + "(2) : Error 35 ->  INCLUDE FILE TOO DEPTH\n");
}

// Files that include each other stop the run at the bound of include files opened or of
// their text read in one pass, with a message that names the file.
TEST_F(PassLoopInclude, IncludeFanOutEndsTheRun) {
  setSlot(params_->includeDir1, dir_.path());
  const std::string include = "#include <main.asm>\n", comment(1 << 22, ';');
  const std::pair<std::string, std::string> cases[] = {
      {include + include + include, "1000 include files opened"},  // 3^8 readings
      {include + comment + "\n", "16777216 characters of include files read"},
  };
  for (const auto& [content, bound] : cases) {
    messages_.clear();
    zqtest::writeFile(dir_.file("main.asm"), content);
    run_ = std::make_unique<zq::AssemblerRun>();
    run_->params = params_.get();
    EXPECT_EQ(zq::assembleFile(*run_, real("main.asm"), 1), zq::resultFatal);
    EXPECT_EQ(messages_, Lines{"Fatal Error: more than " + bound + " in one pass, at \"" +
                               real("main.asm") + "\" (does a file include itself ?)"});
  }
}

// A full label table inside an include stops the including file too: one message only.
TEST_F(PassLoopInclude, FatalInsideIncludeEndsTheRun) {
  std::string big;
  for (int i = 1; i <= 8193; ++i) big += "L" + std::to_string(i) + ":\n";
  zqtest::writeFile(dir_.file("inc/big.inc"), big);
  zqtest::writeFile(dir_.file("main.asm"), "#include <big.inc>\nX:\n");
  setSlot(params_->includeDir1, dir_.file("inc"));
  EXPECT_EQ(zq::assembleFile(*run_, real("main.asm"), 1), zq::resultFatal);
  EXPECT_EQ(messages_, Lines{"Label quantities can't great than 8192 "});
}

// A byte-order mark opening a file is skipped; text (not blanks, line ends, NULs or more
// marks) after a Ctrl-Z mark is warned about in pass 2, at the line holding the mark.
TEST_F(PassLoopInclude, ByteOrderMarkAndTextAfterEndMark) {
  zqtest::writeFile(dir_.file("main.asm"),
                    "\xEF\xBB\xBF#include <e.inc>\n#include <f.inc>\n\x1A;\n");
  zqtest::writeFile(dir_.file("inc/e.inc"), "; one\n; two\x1A\n; lost\n");
  zqtest::writeFile(dir_.file("inc/f.inc"), std::string("; one\n\x1A \r\n\t\x1A\0\n", 13));
  setSlot(params_->includeDir1, dir_.file("inc"));
  run_->files.error = std::tmpfile();
  ASSERT_NE(run_->files.error, nullptr);
  for (int pass = 1; pass <= 2; ++pass) zq::assembleFile(*run_, real("main.asm"), pass);
  const std::string text = "(2) : Warning 4 ->  TEXT AFTER END OF FILE MARK (1AH) IGNORED\n";
  std::string written(512, '\0');
  std::rewind(run_->files.error);
  written.resize(std::fread(&written[0], 1, written.size(), run_->files.error));
  EXPECT_EQ(written, real("inc/e.inc") + text + real("main.asm") + "(3" + text.substr(2));
}

TEST_F(PassLoopInclude, MissingFile) {
  run_->source.includeLevel = 3;
  EXPECT_EQ(zq::assembleFile(*run_, dir_.file("none.asm"), 1), -1);
  EXPECT_EQ(run_->source.includeLevel, 2);  // back to the including file's
  EXPECT_EQ(messages_, Lines{dir_.file("none.asm") + " open failed !"});
}

}  // namespace
