// Output names, the stale ".JMP" and stream creation.
#include "driver/output_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "driver/run.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

TEST(OutputFilesReplaceExtension, Table) {
  struct Case {
    std::string name;
    bool keep;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"C:\\work\\prog.asm", false, "C:\\work\\prog.HEX"},
      {"C:\\work\\prog", false, "C:\\work\\prog.HEX"},
      // The last dot counts wherever it stands.
      {"C:\\a.b\\prog", false, "C:\\a.HEX"},
      {"/x/a.b.c", false, "/x/a.b.HEX"},
      {"prog.asm", true, "prog.asm"},
      {"prog", true, "prog.HEX"},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string name = c.name;
    zq::replaceExtension(name, ".HEX", c.keep);
    EXPECT_EQ(name, c.expected) << c.name;
  }
}

class OutputFilesPrepare : public ::testing::Test {
 protected:
  void SetUp() override {
    zq::setMessageSink(
        [](const char* text, void* context) {
          static_cast<std::vector<std::string>*>(context)->push_back(text);
        },
        &messages_);
  }
  void TearDown() override { zq::setMessageSink(nullptr, nullptr); }

  zqtest::TempDir dir_;
  std::vector<std::string> messages_;
};

TEST_F(OutputFilesPrepare, NamesStreamsAndStaleJump) {
  zqtest::writeFile(dir_.file("prog.asm"), "; x\n");
  zqtest::writeFile(dir_.file("prog.jmp"), "stale");
  auto run = std::make_unique<zq::AssemblerRun>();
  ASSERT_EQ(zq::prepareOutputFiles(*run, dir_.file("prog.asm")), 1);

  const std::string base = zq::fullPath(dir_.path()) + "/prog";
  const zq::OutputFiles& f = run->files;
  const std::vector<std::pair<std::string, std::string>> names = {
      {f.hexName, ".HEX"}, {f.objName, ".OBJ"}, {f.lstName, ".LST"}, {f.lblName, ".LBL"},
      {f.errName, ".ERR"}, {f.symName, ".SYM"}, {f.equName, ".EQU"}, {f.tabName, ".TAB"},
      {f.binName, ".BIN"}, {f.mapName, ".MAP"}, {f.ramName, ".RAM"}, {f.jmpName, ".JMP"},
  };
  for (const auto& n : names) EXPECT_EQ(n.first, base + n.second);
  EXPECT_NE(f.listing, nullptr);
  EXPECT_NE(f.symbol, nullptr);
  EXPECT_NE(f.error, nullptr);
  EXPECT_NE(f.map, nullptr);
  for (const char* ext : {".LST", ".SYM", ".ERR", ".MAP"})
    EXPECT_TRUE(zqtest::fileExists(base + ext));
  // The stale file goes even though its stored name differs in case.
  EXPECT_FALSE(zqtest::fileExists(dir_.file("prog.jmp")));
  EXPECT_TRUE(messages_.empty());

  zq::closeOutputFiles(*run);
  EXPECT_EQ(f.listing, nullptr);
  EXPECT_EQ(f.map, nullptr);
}

}  // namespace
