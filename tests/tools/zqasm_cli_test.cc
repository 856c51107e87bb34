#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/platform.h"
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
      {"--rom-top 10000h a.asm", "zqasm: --rom-top above 0FFFFh: 10000h"},
      {"--table-top 99999999999 a.asm", "zqasm: bad number for --table-top: 99999999999"},
      {"--table-top", "zqasm: option --table-top needs a value"},
      {"--case-sensitive=1 a.asm", "zqasm: option --case-sensitive takes no value"},
      {"-I '' a.asm", "zqasm: empty include directory"},
      {repeatOption("-I", 35) + "a.asm", "zqasm: too many include directories (at most 34)"},
      {long258, "zqasm: SOURCE is longer than 257 characters"},
      {"-I " + long258 + " a.asm", "zqasm: include directory is longer than 257 characters"},
      {"--chip-dir " + long260 + " a.asm", "zqasm: chip directory is longer than 259"},
      {"--mask-options " + long258 + " a.asm", "zqasm: mask option file is longer than 257"},
      {"-D 9X a.asm", "zqasm: bad name for -D: '9X'"},
      {"-D X?=1 a.asm", "zqasm: bad name for -D: 'X?'"},
      {"-DX=1+2 a.asm", "zqasm: bad value for -D X: '1+2'"},
      {"-D X= a.asm", "zqasm: bad value for -D X: ''"},
      {"--color=red a.asm", "zqasm: --color takes 'auto', 'always' or 'never', not 'red'"},
      {"--diagnostics=gcc a.asm", "zqasm: --diagnostics takes 'editor' or 'err'"},
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
      "-D _A1 -DB=0FH -D C=10 -M a.d --hex --color=never --diagnostics=err a.asm",
  };
  for (const std::string& arguments : accepted) run(arguments, 3);
}

TEST_F(ZqasmCliTest, ExitStatusFollowsTheRun) {
  EXPECT_EQ(run("missing.asm", 3), "zqasm: missing.asm: No such file or directory\n");
  EXPECT_EQ(run("--help", 0).rfind("Usage: zqasm [OPTION]... SOURCE\n", 0), 0u);
  run("--version", 0);

  writeFile(dir_.file("good.asm"), ".CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n");
  writeFile(dir_.file("nochip.asm"), " NOP\n");
  EXPECT_EQ(run(chips_ + "good.asm", 0), "0 Error(s), 0 Warning(s)\n");
  EXPECT_TRUE(zqtest::fileExists(dir_.file("good.OBJ")));
  EXPECT_EQ(run(chips_ + "nochip.asm", 1),
            "zqasm: fatal: Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n"
            "zqasm: fatal: Occurred FATAL ERROR !\n0 Error(s), 0 Warning(s)\n");
  // Outputs that cannot be made are named with the reason.
  EXPECT_EQ(
      run(chips_ + "-M no/dir.d good.asm", 3),
      "0 Error(s), 0 Warning(s)\nzqasm: no/dir.d: cannot create: No such file or directory\n");
}

// Diagnostics one per line in the FILE:LINE: form editors read, naming what is wrong,
// include files named as found, the body line of a macro with its calls as notes, then
// the totals; --diagnostics=err gives the error file's lines instead. A chip or mask
// option file that cannot be read is named with the folder it was looked for in.
TEST_F(ZqasmCliTest, DiagnosticsAreEditorLines) {
  std::filesystem::create_directories(dir_.file("inc"));
  writeFile(dir_.file("inc/defs.inc"), " FOO\n");
  writeFile(dir_.file("inc/lib.inc"),
            "; delays\nWAIT .MACRO t\n JMP t\n .ENDM\n"
            "DELAY .MACRO n\n NOP\n WAIT n\n .ENDM\n");
  writeFile(dir_.file("bad.asm"),
            ".CHIP ZQ4460\n ORG 0\n #include <defs.inc>\n #include <none.inc>\n"
            " #include <lib.inc>\nstart: NOP\nstart: NOP\nK EQU 1\nK EQU 2\n #DEFINE X\n"
            " #DEFINE X\n JMP nowhere\n ORG 2000h\n DELAY later\n .ERROR \"Stack\" \"overflow\"\n");
  EXPECT_EQ(run(chips_ + "-I inc --color=auto bad.asm", 1),
            "inc/defs.inc:1: error: illegal opcode 'FOO' [E1]\n"
            "bad.asm:4: error: include file 'none.inc' not found in inc [E36]\n"
            "bad.asm:7: error: duplicate label 'start', first defined at bad.asm:6 [E5]\n"
            "bad.asm:9: error: duplicate constant 'K', first defined at bad.asm:8 [E11]\n"
            "bad.asm:11: warning: MACRO REDFINITION [W0]\n"
            "bad.asm:12: error: undefined symbol 'nowhere' [E12]\n"
            "bad.asm:13: error: origin 2000h beyond the ROM top 0FFFh [E8]\n"
            "inc/lib.inc:3: error: undefined symbol 'later' [E12]\n"
            "inc/lib.inc:7: note: in expansion of macro 'WAIT' defined at inc/lib.inc:2\n"
            "bad.asm:14: note: in expansion of macro 'DELAY' defined at inc/lib.inc:5\n"
            "bad.asm:15: error: Stackoverflow\n"
            "8 Error(s), 1 Warning(s)\n");
  std::string output = run(chips_ + "-I inc --color=always bad.asm", 1);
  EXPECT_EQ(output.rfind("\033[1minc/defs.inc:1:\033[0m \033[1;31merror:\033[0m ", 0), 0u);
  EXPECT_NE(output.find("\033[1mbad.asm:14:\033[0m \033[1;36mnote:\033[0m in expansion"),
            std::string::npos);
  EXPECT_EQ(run(chips_ + "-I inc --diagnostics=err bad.asm", 1),
            zqtest::readFile(dir_.file("bad.ERR")));

  const std::string fatalEnd = "zqasm: fatal: Occurred FATAL ERROR !\n0 Error(s), 0 Warning(s)\n";
  writeFile(dir_.file("m.asm"), "; mask options\n.CHIP ZQ3947\n");
  const std::pair<std::string, std::string> fatal[] = {
      {"--chip-dir /nonexistent bad.asm",
       "bad.asm:1: fatal: no chip description ZQ4460.COE in "
       "/nonexistent\n"},
      {chips_ + "m.asm", "m.asm:2: fatal: no mask option file given; the chip ZQ3947 reads one\n"},
      {chips_ + "--mask-options no.txt m.asm", "m.asm:2: fatal: no mask option file no.txt\n"},
  };
  for (const auto& [arguments, first] : fatal) EXPECT_EQ(run(arguments, 1), first + fatalEnd);
  EXPECT_EQ(zqtest::readFile(dir_.file("bad.ERR")),
            "ERROR : CHIP TYPE NO DEFINITION IN LINE 1\n"
            "Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n");
}

// A make rule that real make follows: nothing to do on the second run, a rebuild after
// an include changes, no failure once an include is gone from source and disk.
TEST_F(ZqasmCliTest, DepfileDrivesMake) {
  std::filesystem::create_directories(dir_.file("in c"));
  writeFile(dir_.file("in c/defs.inc"), "start: NOP\n");
  writeFile(dir_.file("main.asm"), ".CHIP ZQ4460\n ORG 0\n #include <defs.inc>\n JMP start\n");
  writeFile(dir_.file("Makefile"), "main.OBJ: main.asm\n\t'" ZQASM_TEST_CLI "' " + chips_ +
                                       "-I 'in c' --depfile main.d main.asm\n-include main.d\n");
  run("", 0, "make -s >/dev/null && make -q; exit $?; ");
  EXPECT_EQ(zqtest::readFile(dir_.file("main.d")),
            "main.OBJ: \\\n  main.asm \\\n  " + zqtest::chipDir() + "/ZQ4460.COE \\\n"
            "  in\\ c/defs.inc\n\n" + zqtest::chipDir() + "/ZQ4460.COE:\n\nin\\ c/defs.inc:\n");
  run("", 1, "touch -d '+1 minute' 'in c/defs.inc' && make -q; exit $?; ");
  writeFile(dir_.file("main.asm"), ".CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n");
  run("", 0, "rm 'in c/defs.inc' && make -s >/dev/null && make -q; exit $?; ");
}

// Reads Intel HEX back: every record's checksum, extended linear addresses, the end
// record last. Returns byte address -> byte.
std::map<uint32_t, uint8_t> readIntelHex(const std::string& text) {
  std::map<uint32_t, uint8_t> bytes;
  uint32_t upper = 0;
  bool ended = false;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    EXPECT_TRUE(!ended && line[0] == ':') << line;
    std::vector<uint8_t> r;
    for (size_t i = 1; i + 1 < line.size(); i += 2)
      r.push_back(static_cast<uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
    uint8_t sum = 0;
    for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
    EXPECT_TRUE(sum == 0 && r.size() == r[0] + 5u && r[0] <= 16) << line;
    const uint32_t address = upper + (r[1] << 8 | r[2]);
    if (r[3] == 0) {
      for (size_t i = 0; i < r[0]; ++i) bytes[address + static_cast<uint32_t>(i)] = r[4 + i];
    } else if (r[3] == 4) {
      upper = static_cast<uint32_t>(r[4] << 8 | r[5]) << 16;
    } else {
      EXPECT_EQ(line, ":00000001FF");
      ended = true;
    }
  }
  EXPECT_TRUE(ended);
  return bytes;
}

// The HEX files hold exactly what .OBJ and .TAB hold at the written addresses, code
// above 8000h words included.
TEST_F(ZqasmCliTest, HexMatchesTheImages) {
  writeFile(dir_.file("img.asm"),
            ".CHIP ZQ4460\n .TABLE\n 0F0h 5\n .ENDT\n ORG 0\n INC 3\n"
            " ORG 9007h\n NOP\n INC 1\n");
  run(chips_ + "--rom-top 0FFFFh --table-top 1FFh --hex img.asm", 0);
  const std::string obj = zqtest::readFile(dir_.file("img.OBJ"));
  const std::string tab = zqtest::readFile(dir_.file("img.TAB"));
  const auto program = readIntelHex(zqtest::readFile(dir_.file("img.HEX")));
  const auto table = readIntelHex(zqtest::readFile(dir_.file("img.TAB.HEX")));
  const size_t header = obj.size() - 2 * 0x10000;
  ASSERT_EQ(tab.size(), header + 0x200);
  for (const auto& [address, byte] : program)
    EXPECT_EQ(byte, static_cast<uint8_t>(obj[header + address])) << address;
  // The code written, and nothing of the large unwritten rest.
  for (uint32_t address : {0u, 1u, 0x1200Eu, 0x1200Fu, 0x12010u, 0x12011u})
    EXPECT_EQ(program.count(address), 1u) << address;
  EXPECT_LT(program.size(), 200u);
  EXPECT_EQ(table, (std::map<uint32_t, uint8_t>{{0xF0, 5}}));
  EXPECT_EQ(static_cast<uint8_t>(tab[header + 0xF0]), 5);
}

// -D enters a define before the first line of every pass: IFDEF and values see it.
TEST_F(ZqasmCliTest, CommandLineDefinesSelectVariants) {
  writeFile(dir_.file("v.asm"), ".CHIP ZQ4460\n ORG 0\n .IFDEF DEBUG\n JMP nowhere\n .ENDIF\n"
                                " INC LEVEL\n");
  EXPECT_NE(run(chips_ + "v.asm", 1).find("v.asm:6: error: "), std::string::npos);
  EXPECT_NE(run(chips_ + "-D LEVEL=2 -D DEBUG v.asm", 1).find("v.asm:4: error: "),
            std::string::npos);
  run(chips_ + "-D LEVEL=1 -D LEVEL=0AH v.asm", 0);
  const std::string tenth = zqtest::readFile(dir_.file("v.OBJ"));
  run(chips_ + "-D LEVEL v.asm", 0);
  EXPECT_NE(zqtest::readFile(dir_.file("v.OBJ")), tenth);
}

// An output not created or not written in full (zqasm ignores SIGXFSZ, so a write beyond
// the file size limit fails; a full device) is named with the reason and ends the run
// with status 3, never 0; an image leaves nothing under its name or beside it, and the
// error file on a full device is not read back.
TEST_F(ZqasmCliTest, OutputsNotWrittenAreReported) {
  writeFile(dir_.file("img.asm"), ".CHIP ZQ4460\n ORG 0\n NOP\n");
  std::string comments;
  for (int k = 0; k < 100; ++k) comments += std::string(40, ';') + "\n";
  writeFile(dir_.file("long.asm"), ".CHIP ZQ4460\n" + comments);  // a 6 KiB listing
  const std::string tooLarge = ": cannot create: File too large\n", limit = "ulimit -f 2; ";
  const std::string full = "ln -sf /dev/full img.ERR; ";
  const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
      // arguments, shell setup, output, image that must not be there
      {"img.asm", limit, "zqasm: img.OBJ" + tooLarge, "img.OBJ"},  // 8 KiB of image
      {"--rom-top 0Fh --table-top 0FFFh img.asm", limit, "zqasm: img.TAB" + tooLarge, "img.TAB"},
      {"--rom-top 0Fh long.asm", limit, "zqasm: long.LST" + tooLarge, ""},
      {"img.asm", full, "zqasm: img.ERR: cannot create: No space left on device\n", ""},
      {"--diagnostics=err img.asm", full,
       "File \"" + zq::fullPath(dir_.path()) +
           "/img.ERR\" create failed !\n"
           "zqasm: img.asm: an output file could not be created\n",
       ""},
      {"img.asm", "rm img.LST img.ERR; mkdir img.LST; ",
       "zqasm: img.LST: cannot create: Is a directory\n", ""},
  };
  for (const auto& [arguments, setup, output, image] : cases) {
    EXPECT_EQ(run(chips_ + arguments, 3, setup), output);
    EXPECT_TRUE(image.empty() || !zqtest::fileExists(dir_.file(image))) << image;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
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
