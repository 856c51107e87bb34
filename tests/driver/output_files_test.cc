// Output names and the stale ".JMP".
#include "driver/output_files.h"

#include <gtest/gtest.h>

#include "driver/run.h"
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

// The end-to-end cases show the names the writers use; a stale ".JMP" goes whatever the
// case of its name.
TEST(OutputFiles, StaleJumpFileGoes) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("prog.asm"), "; x\n");
  zqtest::writeFile(dir.file("prog.jmp"), "stale");
  zq::AssemblerRun run;
  ASSERT_EQ(zq::prepareOutputFiles(run, dir.file("prog.asm")), 1);
  EXPECT_FALSE(zqtest::fileExists(dir.file("prog.jmp")));
  zq::closeOutputFiles(run);
}

}  // namespace
