#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "test_support.h"

namespace {

using zqtest::writeFile;

class ZqasmCliTest : public ::testing::Test {
 protected:
  // Runs the built zqasm in the test directory with `arguments` (quoted for the shell),
  // after the shell commands `setup`; expects `status`, and returns standard output and
  // standard error together.
  std::string run(const std::string& arguments, int status, const std::string& setup = "") {
    std::string command =
        "cd '" + dir_.path() + "' && " + setup + "'" ZQASM_TEST_CLI "' " + arguments + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    int result = pclose(pipe);
    EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << arguments << "\n" << output;
    return output;
  }
  zqtest::TempDir dir_;
  const std::string chips_ = "--chip-dir '" + zqtest::chipDir() + "' ";
};

std::string repeatOption(const std::string& option, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += option + " d" + std::to_string(i) + " ";
  return text;
}

TEST_F(ZqasmCliTest, UsageErrorsExit2WithAMessage) {
  const std::string long257(257, 'a'), long258(258, 'a'), long259(259, 'c'), long260(260, 'c');
  const std::pair<std::string, std::string> cases[] = {
      // arguments, start of the output
      {"", "zqasm: missing SOURCE"},
      {"--bogus a.asm", "zqasm: unknown option --bogus"},
      {"a.asm b.asm", "zqasm: more than one SOURCE: b.asm"},
      {"--rom-top 12x a.asm", "zqasm: bad number for --rom-top: 12x"},
      {"--rom-top -1 a.asm", "zqasm: bad number for --rom-top: -1"},
      {"--rom-top 0x a.asm", "zqasm: bad number for --rom-top: 0x"},
      {"--rom-top h a.asm", "zqasm: bad number for --rom-top: h"},
      {"--table-top 99999999999 a.asm", "zqasm: bad number for --table-top: 99999999999"},
      {"--table-top", "zqasm: option --table-top needs a value"},
      {"--case-sensitive=1 a.asm", "zqasm: option --case-sensitive takes no value"},
      {"-I '' a.asm", "zqasm: empty include directory"},
      {repeatOption("-I", 35) + "a.asm", "zqasm: too many include directories (at most 34)"},
      {long258, "zqasm: SOURCE is longer than 257 characters"},
      {"-I " + long258 + " a.asm", "zqasm: include directory is longer than 257 characters"},
      {"--chip-dir " + long260 + " a.asm", "zqasm: chip directory is longer than 259"},
      {"--mask-options " + long258 + " a.asm", "zqasm: mask option file is longer than 257"},
  };
  for (const auto& [arguments, message] : cases) {
    std::string output = run(arguments, 2);
    EXPECT_EQ(output.rfind(message, 0), 0u) << arguments << "\n" << output;
  }
  // At the limits the values are taken, and the run fails only for the missing source.
  const std::string accepted[] = {
      long257,
      "--chip-dir " + long259 + " a.asm",
      repeatOption("--include", 34) + "a.asm",
      "--rom-top 0x1FFF --table-top -1 a.asm",
      "--rom-top 2FFFh --table-top 0FFH a.asm",
      "--rom-top=4095 --table-top=-0x10 -Idir --case-sensitive -- a.asm",
  };
  for (const std::string& arguments : accepted) run(arguments, 3);
}

TEST_F(ZqasmCliTest, ExitStatusFollowsTheRun) {
  EXPECT_EQ(run("missing.asm", 3),
            "zqasm: missing.asm: cannot open the source or create an output file\n");
  EXPECT_EQ(run("--help", 0).rfind("usage: zqasm [options] SOURCE\n", 0), 0u);
  run("--version", 0);

  writeFile(dir_.file("good.asm"), ".CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n");
  writeFile(dir_.file("bad.asm"), ".CHIP ZQ4460\n ORG 0\n FOO 1\n");
  writeFile(dir_.file("nochip.asm"), " NOP\n");
  EXPECT_EQ(run(chips_ + "good.asm", 0), "\n0 Error(s), 0 Warning(s)\n");
  EXPECT_TRUE(zqtest::fileExists(dir_.file("good.OBJ")));
  std::string output = run(chips_ + "bad.asm", 1);
  EXPECT_NE(output.find("ILLEGAL OPCODE"), std::string::npos) << output;
  EXPECT_NE(output.find("1 Error(s), 0 Warning(s)"), std::string::npos) << output;
  output = run(chips_ + "nochip.asm", 1);
  EXPECT_NE(output.find("Occurred FATAL ERROR !\n"), std::string::npos) << output;
  EXPECT_NE(output.find("MUST BE DEFINITION"), std::string::npos) << output;
}

// Under a file size limit (SIGXFSZ ignored, so the writes only fail) the image that
// does not fit is removed and reported, and the run does not pass for a success.
TEST_F(ZqasmCliTest, ImageNotWrittenInFullIsRemoved) {
  writeFile(dir_.file("img.asm"), ".CHIP ZQ4460\n ORG 0\n NOP\n");
  const std::pair<std::string, std::string> cases[] = {
      {"img.asm", "OBJ"},                                  // 8 KiB of image
      {"--rom-top 0Fh --table-top 0FFFh img.asm", "TAB"},  // 4 KiB of table
  };
  for (const auto& [arguments, extension] : cases) {
    std::string output = run(chips_ + arguments, 3, "ulimit -f 2; trap '' XFSZ; ");
    EXPECT_NE(output.find("/img." + extension + "\" create failed !\n"), std::string::npos)
        << output;
    EXPECT_FALSE(zqtest::fileExists(dir_.file("img." + extension)));
  }
}

// DEFS.H is only found in the third directory, past the block's first two slots.
TEST_F(ZqasmCliTest, IncludeDirectoriesAreSearchedInOrder) {
  for (const char* sub : {"one", "two", "three", "four"}) {
    std::filesystem::create_directories(dir_.file(sub));
  }
  writeFile(dir_.file("three/DEFS.H"), "start: NOP\n");
  writeFile(dir_.file("four/DEFS.H"), " FOO\n");
  writeFile(dir_.file("main.asm"), ".CHIP ZQ4460\n ORG 0\n#include <defs.h>\n JMP start\n");
  run(chips_ + "-I one --include two -I three -I four main.asm", 0);
}

}  // namespace
