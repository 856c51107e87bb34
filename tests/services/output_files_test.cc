// Output names and the stale ".JMP".
#include "services/output_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "services/run.h"
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

void collect(const char* text, void* messages) {
  static_cast<std::vector<std::string>*>(messages)->push_back(text);
}

// An error file that cannot be written in full (here a link to a full device) cannot tell
// of itself: the run still reports it, as for any output, and returns -1, a run with
// errors too.
TEST(OutputFiles, ErrorFileNotWrittenFailsTheRun) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("bad.asm"), ".CHIP ZQ4460\n ORG 0\n JMP nowhere\n");
  ASSERT_EQ(symlink("/dev/full", dir.file("bad.ERR").c_str()), 0);
  std::vector<std::string> messages;
  ZqasmSetMessageSink(collect, &messages);
  auto params = zqtest::makeParams(dir.file("bad.asm"));
  EXPECT_EQ(Run44Assembler(params.get()), -1);
  ZqasmSetMessageSink(nullptr, nullptr);
  EXPECT_EQ(messages,
            std::vector<std::string>{"File \"" + dir.file("bad.ERR") + "\" create failed !\n"});
}

}  // namespace
