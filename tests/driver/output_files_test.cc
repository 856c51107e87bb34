// Output names, the stale ".JMP" and stream creation.
#include "driver/output_files.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "driver/run.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// The last dot counts wherever it stands, also in a directory name.
TEST(OutputFiles, ReplaceExtension) {
  auto replaced = [](std::string name, bool keep) {
    zq::replaceExtension(name, ".HEX", keep);
    return name;
  };
  EXPECT_EQ(replaced("C:\\work\\prog.asm", false), "C:\\work\\prog.HEX");
  EXPECT_EQ(replaced("C:\\work\\prog", false), "C:\\work\\prog.HEX");
  EXPECT_EQ(replaced("C:\\a.b\\prog", false), "C:\\a.HEX");
  EXPECT_EQ(replaced("/x/a.b.c", false), "/x/a.b.HEX");
  EXPECT_EQ(replaced("prog.asm", true), "prog.asm");
  EXPECT_EQ(replaced("prog", true), "prog.HEX");
  EXPECT_EQ(replaced("", false), "");
}

TEST(OutputFiles, PrepareNamesStreamsAndStaleJump) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("prog.asm"), "; x\n");
  zqtest::writeFile(dir.file("prog.jmp"), "stale");  // goes though its name differs in case
  auto run = std::make_unique<zq::AssemblerRun>();
  ASSERT_EQ(zq::prepareOutputFiles(*run, dir.file("prog.asm")), 1);

  const std::string base = zq::fullPath(dir.path()) + "/prog";
  const zq::OutputFiles& f = run->files;
  const std::vector<std::pair<std::string, std::string>> names = {
      {f.hexName, ".HEX"}, {f.objName, ".OBJ"}, {f.lstName, ".LST"}, {f.lblName, ".LBL"},
      {f.errName, ".ERR"}, {f.symName, ".SYM"}, {f.equName, ".EQU"}, {f.tabName, ".TAB"},
      {f.binName, ".BIN"}, {f.mapName, ".MAP"}, {f.ramName, ".RAM"}, {f.jmpName, ".JMP"},
  };
  for (const auto& n : names) EXPECT_EQ(n.first, base + n.second);
  for (const auto& [stream, ext] : {std::pair<FILE*, const char*>{f.listing, ".LST"},
                                    {f.symbol, ".SYM"},
                                    {f.error, ".ERR"},
                                    {f.map, ".MAP"}}) {
    EXPECT_NE(stream, nullptr) << ext;
    EXPECT_TRUE(zqtest::fileExists(base + ext)) << ext;
  }
  EXPECT_FALSE(zqtest::fileExists(dir.file("prog.jmp")));

  zq::closeOutputFiles(*run);
  EXPECT_EQ(f.listing, nullptr);
  EXPECT_EQ(f.map, nullptr);
}

}  // namespace
