#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

using zqtest::TempDir;
using zqtest::writeFile;

struct CommandResult {
  int status = -1;
  std::string output;  // standard output and standard error together
};

// Runs the built zqasm with `arguments` (already quoted for the shell) in `directory`.
CommandResult runCli(const std::string& directory, const std::string& arguments) {
  std::string command =
      "cd '" + directory + "' && '" + std::string(ZQASM_TEST_CLI) + "' " + arguments + " 2>&1";
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) result.output += buffer;
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string repeatOption(const std::string& option, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += option + " d" + std::to_string(i) + " ";
  return text;
}

TEST(ZqasmCliTest, UsageErrorsExit2WithAMessage) {
  TempDir dir;
  const std::string long257(257, 'a'), long258(258, 'a'), long259(259, 'c'), long260(260, 'c');
  struct Case {
    std::string arguments;
    const char* message;
  } cases[] = {
      {"", "zqasm: missing SOURCE"},
      {"--bogus a.asm", "zqasm: unknown option --bogus"},
      {"-x a.asm", "zqasm: unknown option -x"},
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
  for (const Case& c : cases) {
    CommandResult result = runCli(dir.path(), c.arguments);
    EXPECT_EQ(result.status, 2) << c.arguments;
    EXPECT_EQ(result.output.rfind(c.message, 0), 0u) << c.arguments << "\n" << result.output;
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
  for (const std::string& arguments : accepted)
    EXPECT_EQ(runCli(dir.path(), arguments).status, 3) << arguments;
}

TEST(ZqasmCliTest, MissingSourceExits3AndHelpExits0) {
  TempDir dir;
  CommandResult result = runCli(dir.path(), "missing.asm");
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.output, "zqasm: missing.asm: cannot open the source or create an output file\n");
  result = runCli(dir.path(), "--help");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output.rfind("usage: zqasm [options] SOURCE\n", 0), 0u);
  EXPECT_EQ(runCli(dir.path(), "--version").status, 0);
}

// These runs go through the whole assembler.
TEST(ZqasmCliTest, ExitStatusFollowsTheRun) {
  TempDir dir;
  writeFile(dir.file("good.asm"), ".CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n");
  writeFile(dir.file("bad.asm"), ".CHIP ZQ4460\n ORG 0\n FOO 1\n");
  writeFile(dir.file("nochip.asm"), " NOP\n");
  std::string chips = "--chip-dir '" + zqtest::chipDir() + "' ";

  CommandResult good = runCli(dir.path(), chips + "good.asm");
  EXPECT_EQ(good.status, 0) << good.output;
  EXPECT_EQ(good.output, "\n0 Error(s), 0 Warning(s)\n");
  EXPECT_TRUE(zqtest::fileExists(dir.file("good.OBJ")));

  CommandResult bad = runCli(dir.path(), chips + "bad.asm");
  EXPECT_EQ(bad.status, 1) << bad.output;
  EXPECT_NE(bad.output.find("ILLEGAL OPCODE"), std::string::npos) << bad.output;
  EXPECT_NE(bad.output.find("1 Error(s), 0 Warning(s)"), std::string::npos) << bad.output;

  CommandResult fatal = runCli(dir.path(), chips + "nochip.asm");
  EXPECT_EQ(fatal.status, 1) << fatal.output;
  EXPECT_NE(fatal.output.find("Occurred FATAL ERROR !\n"), std::string::npos) << fatal.output;
  EXPECT_NE(fatal.output.find("MUST BE DEFINITION"), std::string::npos) << fatal.output;
}

// Include directories fill the block in order: a file only in the third directory is
// found through the list at offset 1032.
TEST(ZqasmCliTest, IncludeDirectoriesAreSearchedInOrder) {
  TempDir dir;
  for (const char* sub : {"one", "two", "three", "four"})
    std::filesystem::create_directories(dir.file(sub));
  writeFile(dir.file("three/DEFS.H"), "start: NOP\n");
  writeFile(dir.file("four/DEFS.H"), " FOO\n");
  writeFile(dir.file("main.asm"), ".CHIP ZQ4460\n ORG 0\n#include <defs.h>\n JMP start\n");
  CommandResult result = runCli(dir.path(), "--chip-dir '" + zqtest::chipDir() +
                                                "' -I one --include two -I three -I four main.asm");
  EXPECT_EQ(result.status, 0) << result.output;
}

}  // namespace
