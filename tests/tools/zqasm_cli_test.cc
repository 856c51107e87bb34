#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"
#include "tools/svg_titles.h"

namespace {

using zqtest::fileExists;
using zqtest::readFile;
using zqtest::writeFile;

// Standard output of a shell command; its exit status in `status` (-1 if it did not exit).
std::string commandOutput(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  for (int c; (c = std::fgetc(pipe)) != EOF;) output.push_back(static_cast<char>(c));
  const int result = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

class ZqasmCliTest : public ::testing::Test {
 protected:
  // Runs the built zqasm in the test directory with `arguments` (quoted for the shell),
  // after the shell commands `setup`; expects `status`, and returns standard output and
  // standard error together.
  std::string run(const std::string& arguments, int status, const std::string& setup = "") {
    int result = 0;
    const std::string output = commandOutput(
        "cd '" + dir_.path() + "' && " + setup + "'" ZQASM_TEST_CLI "' " + arguments + " 2>&1",
        &result);
    EXPECT_EQ(result, status) << arguments << "\n" << output;
    return output;
  }
  bool exists(const std::string& name) { return fileExists(dir_.file(name)); }
  std::string read(const std::string& name) { return readFile(dir_.file(name)); }
  void write(const std::string& name, const std::string& text) { writeFile(dir_.file(name), text); }
  void mkdirs(const std::string& name) { std::filesystem::create_directories(dir_.file(name)); }
  std::set<std::string> files(const std::string& folder = ".") {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file(folder)))
      names.insert(entry.path().filename().string());
    return names;
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
      {"--max-errors -1 a.asm", "zqasm: bad number for --max-errors: -1"},
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
      {"-o a.OBJ --out-dir b a.asm", "zqasm: -o and --out-dir exclude each other"},
      {"-o ./a.asm a.asm", "zqasm: -o names SOURCE itself: ./a.asm"},
      {"--size=xml a.asm", "zqasm: --size takes 'text' or 'json', not 'xml'"},
      {"-MT", "zqasm: option -MT needs a value"},
      {"-Wall -Wtruncate a.asm",
       "zqasm: unknown warning 'truncate'; the warnings are define-redefined, missing-endtable, "
       "macro-missing-parameter, working-register, text-after-eof, undefined-in-condition, "
       "parameter-in-word, truncation, negative-unsigned, mixed-operators, "
       "extensionless-source (and 'all') (in -Wtruncate)"},
      {"-Wno-all a.asm", "zqasm: unknown warning 'all'"},
      {"-Wall -Wno-all-but a.asm", "zqasm: unknown warning 'all-but'"},
      {"-W a.asm", "zqasm: unknown option -W"},
      {"--outputs obj,pdf a.asm",
       "zqasm: unknown output 'pdf' in --outputs (known: obj, tab, lst, err, sym, map, lbl, "
       "equ, ram, hex, bin)"},
      {"--outputs obj,,lst a.asm", "zqasm: unknown output '' in --outputs"},
      {"--outputs lst --diagnostics=err a.asm",
       "zqasm: --diagnostics=err copies NAME.ERR, which --outputs leaves out"},
      {"--bin '' a.asm", "zqasm: empty --bin file"},
      {"-E --hex a.asm", "zqasm: -E writes no other output: --hex"},
      {"-E --bin a.bin a.asm", "zqasm: -E writes no other output: --bin"},
      {"-E -M a.d a.asm", "zqasm: -E writes no other output: --depfile"},
      {"-Ex a.asm", "zqasm: unknown option -Ex"},
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
      "-q --quiet -Werror --warnings-as-errors --size -MT x -MTy -oout.OBJ a.asm",
      "-Wall -Wno-truncation -Wmixed-operators -Wno-parameter-in-word a.asm",
      "--outputs=obj,tab,lst,err,sym,map,lbl,equ,ram,hex,bin --bin x.bin a.asm",
      "-E -o a.i -D X=2 a.asm",
  };
  for (const std::string& arguments : accepted) run(arguments, 3);
}

TEST_F(ZqasmCliTest, ExitStatusFollowsTheRun) {
  EXPECT_EQ(run("missing.asm", 3), "zqasm: missing.asm: No such file or directory\n");
  EXPECT_EQ(run("--help", 0).rfind("Usage: zqasm [OPTION]... SOURCE\n", 0), 0u);
  EXPECT_EQ(run("--version", 0), "zqasm 4.6.1\nlibrary: Assembler Version 4.6.1\n");

  write("good.asm", ".CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n");
  write("warn.asm", ".CHIP ZQ4460\n ORG 0\n #DEFINE X\n #DEFINE X\n NOP\n");
  EXPECT_EQ(run(chips_ + "-q good.asm", 0), "");
  EXPECT_EQ(run(chips_ + "-q --diagnostics=err good.asm", 0), "");
  EXPECT_EQ(run(chips_ + "-q warn.asm", 0),
            "warn.asm:4:10: warning: define 'X' redefined, first defined at warn.asm:3 [W0] "
            "[-Wdefine-redefined]\n0 Error(s), 1 Warning(s)\n");
}

// Diagnostics one per line in the FILE:LINE: form editors read, naming what is wrong,
// include files named as found, the body line of a macro with its calls as notes, then
// the totals; --diagnostics=err gives the error file's lines instead. A chip or mask
// option file that cannot be read is named with the folder it was looked for in.
TEST_F(ZqasmCliTest, DiagnosticsAreEditorLines) {
  mkdirs("inc");
  write("inc/defs.inc", " FOO\n");
  write("inc/lib.inc",
        "; delays\nWAIT .MACRO t\n JMP t\n .ENDM\n"
        "DELAY .MACRO n\n NOP\n WAIT n\n .ENDM\nTWICE .MACRO\nhere: NOP\n .ENDM\n");
  write("bad.asm",
        ".CHIP ZQ4460\n ORG 0\n #include <defs.inc>\n #include <none.inc>\n"
        " #include <lib.inc>\nstart: NOP\nstart: NOP\nK EQU 1\nK EQU 2\n #DEFINE X\n"
        " #DEFINE X\n JMP nowhere\n ORG 2000h\n DELAY later\n .ERROR \"Stack\" \"overflow\"\n"
        " #include \"sub/none.inc\"\n TWICE\n TWICE\n");
  const std::string output = run(chips_ + "-I inc --color=auto bad.asm", 1);
  EXPECT_EQ(
      output,
      "inc/defs.inc:1:2: error: illegal opcode 'FOO' [E1]\n"
      "bad.asm:4:12: error: include file 'none.inc' not found in inc [E36]\n"
      "bad.asm:7:1: error: duplicate label 'start', first defined at bad.asm:6 [E5]\n"
      "bad.asm:9:1: error: duplicate constant 'K', first defined at bad.asm:8 [E11]\n"
      "bad.asm:11:10: warning: define 'X' redefined, first defined at bad.asm:10 [W0] "
      "[-Wdefine-redefined]\n"
      "bad.asm:12:6: error: undefined symbol 'nowhere' [E12]\n"
      "bad.asm:13:6: error: origin 2000h beyond the ROM top 0FFFh [E8]\n"
      "inc/lib.inc:3: error: undefined symbol 'later' [E12]\n"
      "inc/lib.inc:7: note: in expansion of macro 'WAIT' (defined at inc/lib.inc:2)\n"
      "bad.asm:14: note: in expansion of macro 'DELAY' (defined at inc/lib.inc:5)\n"
      "bad.asm:15: error: Stackoverflow\n"
      "bad.asm:16:12: error: include file 'sub/none.inc' not found relative to the current "
      "directory [E36]\n"
      "inc/lib.inc:10:1: error: duplicate label 'here', first defined at inc/lib.inc:10 in an "
      "earlier expansion of macro 'TWICE' [E5]\n"
      "bad.asm:18: note: in expansion of macro 'TWICE' (defined at inc/lib.inc:9)\n"
      "10 Error(s), 1 Warning(s)\n");
  // Emacs's compilation mode, with its default patterns, takes each error and warning as a
  // place, each note as one (info) at the call it tells of, and no .MACRO head named.
  if (std::system("command -v emacs >/dev/null 2>&1") == 0) {
    write("out.txt", output);
    int status = -1;
    EXPECT_EQ(
        commandOutput("cd '" + dir_.path() +
                          "' && emacs --batch -Q -l '" ZQASM_TEST_CASES_DIR
                          "/../tools/compile_messages.el' out.txt 2>/dev/null",
                      &status),
        "1: inc/defs.inc:1 error\n2: bad.asm:4 error\n3: bad.asm:7 error\n4: bad.asm:9 error\n"
        "5: bad.asm:11 warning\n6: bad.asm:12 error\n7: bad.asm:13 error\n"
        "8: inc/lib.inc:3 error\n9: inc/lib.inc:7 info\n10: bad.asm:14 info\n"
        "11: bad.asm:15 error\n12: bad.asm:16 error\n13: inc/lib.inc:10 error\n"
        "14: bad.asm:18 info\n");
    EXPECT_EQ(status, 0);
  } else {
    std::cout << "Emacs's reading of the diagnostics skipped: emacs is not installed "
                 "(Debian: emacs-nox)\n";
  }
  const std::string colored = run(chips_ + "-I inc --color=always bad.asm", 1);
  EXPECT_EQ(colored.rfind("\033[1minc/defs.inc:1:2:\033[0m \033[1;31merror:\033[0m ", 0), 0u);
  EXPECT_NE(colored.find("\033[1mbad.asm:14:\033[0m \033[1;36mnote:\033[0m in expansion"),
            std::string::npos);
  EXPECT_EQ(run(chips_ + "-I inc --diagnostics=err bad.asm", 1), read("bad.ERR"));

  const std::string fatalEnd =
      "zqasm: fatal: Occurred FATAL ERROR !\nzqasm: assembly stopped by a fatal error\n";
  write("m.asm", "; mask options\n.CHIP ZQ3947\n");
  write("nochip.asm", " NOP\n");
  // A full table stops the run at the line that overfills it, shown once, on one line.
  std::string macros, constants = ".CHIP ZQ4460\n";
  for (int i = 0; i < 257; ++i) macros += "M" + std::to_string(i) + " .MACRO\n NOP\n .ENDM\n";
  for (int i = 0; i < 4097; ++i) constants += "C" + std::to_string(i) + " EQU 1\n";
  write("inc/macros.inc", macros);
  write("macros.asm", ".CHIP ZQ4460\n #include <macros.inc>\n");
  write("constants.asm", constants);
  const std::pair<std::string, std::string> fatal[] = {
      {chips_ + "-I inc macros.asm",
       "inc/macros.inc:769: fatal: Macro quantities can't great than 256\n"},
      {chips_ + "constants.asm",
       "constants.asm:4098: fatal: CONSTANT (C4096) Define quantities CAN'T OVER 4096 "
       "( line=4098 ) Compiler ABORT.\n"},
      {"--chip-dir /nonexistent bad.asm",
       "bad.asm:1: fatal: no chip description ZQ4460.COE in "
       "/nonexistent\n"},
      {chips_ + "nochip.asm",
       "zqasm: fatal: Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n"},
      {chips_ + "m.asm", "m.asm:2: fatal: no mask option file given; the chip ZQ3947 reads one\n"},
      {chips_ + "--mask-options no.txt m.asm", "m.asm:2: fatal: no mask option file no.txt\n"},
  };
  for (const auto& [arguments, first] : fatal) EXPECT_EQ(run(arguments, 1), first + fatalEnd);
  EXPECT_EQ(read("bad.ERR"),
            "ERROR : CHIP TYPE NO DEFINITION IN LINE 1\n"
            "Fatal Error: .CHIP ZQxxxx ( Ex: .CHIP ZQ4460 ) MUST BE DEFINITION\n");
}

// A make rule that real make follows, in tree, out of tree and with absolute names: nothing
// to do on the second run, a rebuild after an include changes, no failure once an include
// is gone from source and disk.
TEST_F(ZqasmCliTest, DepfileDrivesMake) {
  mkdirs("src/in c");
  mkdirs("build");
  const std::string abs = zq::fullPath(dir_.path());
  const std::tuple<std::string, std::string, std::string, std::string> layouts[] = {
      // folder make runs in, make target, zqasm arguments, include folder
      {"src", "main.OBJ", "main.asm", "in c"},
      {"build", "../src/main.OBJ", "../src/main.asm", "../src/in c"},
      {"build", "main.OBJ", "-o main.OBJ ../src/main.asm", "../src/in c"},
      {"build", abs + "/src/main.OBJ", abs + "/src/main.asm", abs + "/src/in c"},
  };
  for (const auto& [folder, target, arguments, include] : layouts) {
    std::remove(dir_.file(folder + "/main.d").c_str());
    write("src/in c/defs.inc", "start: NOP\n");
    write("src/main.asm", ".CHIP ZQ4460\n ORG 0\n #include <defs.inc>\n JMP start\n");
    for (const char* image : {"src/main.OBJ", "build/main.OBJ"})
      std::remove(dir_.file(image).c_str());
    write(folder + "/Makefile", target + ":\n\t'" ZQASM_TEST_CLI "' " + chips_ + "-I '" + include +
                                    "' -M main.d " + arguments + "\n-include main.d\n");
    const std::string make = "cd " + folder + " && ";
    run("", 0, make + "make -s >/dev/null && make -q; exit $?; ");
    // Only the include is newer than the image.
    run("", 1,
        make + "touch -d '-2 minutes' ../src/main.asm && touch -d '-1 minute' " + target +
            " && make -q; exit $?; ");
    write("src/main.asm", ".CHIP ZQ4460\n ORG 0\nstart: NOP\n JMP start\n");
    run("", 0, make + "rm '../src/in c/defs.inc' && make -s >/dev/null && make -q; exit $?; ");
  }
  write("src/in c/defs.inc", "start: NOP\n");
  write("src/main.asm", ".CHIP ZQ4460\n ORG 0\n #include <defs.inc>\n JMP start\n");
  run(chips_ + "-I 'in c' -M main.d -MT a -MT 'b c' main.asm", 0, "cd src && ");
  EXPECT_EQ(read("src/main.d"), "a b\\ c: \\\n  main.asm \\\n  " + zqtest::chipDir() +
                                    "/ZQ4460.COE \\\n"
                                    "  in\\ c/defs.inc\n\n" +
                                    zqtest::chipDir() + "/ZQ4460.COE:\n\nin\\ c/defs.inc:\n");
}

// With CMake's DEPFILE and Ninja the depfile must name the OUTPUT as Ninja knows it, or
// Ninja rebuilds every time.
TEST_F(ZqasmCliTest, DepfileSuitsCmakeAndNinja) {
  if (std::system("command -v ninja >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ninja";
  mkdirs("inc");
  write("inc/defs.inc", "start: NOP\n");
  write("prog.asm", ".CHIP ZQ4460\n ORG 0\n #include <defs.inc>\n JMP start\n");
  write("CMakeLists.txt",
        "cmake_minimum_required(VERSION 3.16)\nproject(fw NONE)\n"
        "add_custom_command(OUTPUT prog.OBJ COMMAND " ZQASM_TEST_CLI " --chip-dir " +
            zqtest::chipDir() +
            " -I ${CMAKE_SOURCE_DIR}/inc -o prog.OBJ -M prog.d ${CMAKE_SOURCE_DIR}/prog.asm\n"
            "  DEPENDS prog.asm DEPFILE prog.d)\nadd_custom_target(fw ALL DEPENDS prog.OBJ)\n");
  const std::string ninja =
      "cmake --build b >/dev/null && cmake --build b -- -n -d explain 2>&1 | ";
  run("", 0,
      "cmake -S . -B b -G Ninja >/dev/null && " + ninja + "grep -q 'no work to do'; exit $?; ");
  // Ninja judges a custom command's output by the time its log holds, not the file's.
  run("", 0,
      "touch -d '+1 minute' inc/defs.inc && cmake --build b -- -n | grep -q prog.OBJ; exit $?; ");
  run("", 0, "touch inc/defs.inc && " + ninja + "grep -q 'no work to do'; exit $?; ");
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
  write("img.asm",
        ".CHIP ZQ4460\n .TABLE\n 0F0h 5\n .ENDT\n ORG 0\n INC 3\n"
        " ORG 9007h\n NOP\n INC 1\n");
  run(chips_ + "--rom-top 0FFFFh --table-top 1FFh --hex img.asm", 0);
  const std::string obj = read("img.OBJ");
  const std::string tab = read("img.TAB");
  const auto program = readIntelHex(read("img.HEX"));
  const auto table = readIntelHex(read("img.TAB.HEX"));
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
  write("v.asm",
        ".CHIP ZQ4460\n ORG 0\n .IFDEF DEBUG\n JMP nowhere\n .ENDIF\n"
        " INC LEVEL\n");
  EXPECT_NE(run(chips_ + "v.asm", 1).find("v.asm:6:6: error: undefined symbol 'LEVEL' [E12]"),
            std::string::npos);
  EXPECT_NE(run(chips_ + "-D LEVEL=2 -D DEBUG v.asm", 1)
                .find("v.asm:4:6: error: undefined symbol 'nowhere' [E12]"),
            std::string::npos);
  run(chips_ + "-D LEVEL=1 -D LEVEL=0AH v.asm", 0);
  const std::string tenth = read("v.OBJ");
  run(chips_ + "-D LEVEL v.asm", 0);
  EXPECT_NE(read("v.OBJ"), tenth);
}

// An output not created or not written in full (zqasm ignores SIGXFSZ, so a write beyond
// the file size limit fails; a full device) is named with the reason and ends the run
// with status 3, never 0, and told in the error file; an image leaves nothing under its
// name or beside it, nor an earlier --hex file, and the error file on a full device is
// not read back.
TEST_F(ZqasmCliTest, OutputsNotWrittenAreReported) {
  write("img.asm", ".CHIP ZQ4460\n ORG 0\n NOP\n");
  std::string comments;
  for (int k = 0; k < 100; ++k) comments += std::string(40, ';') + "\n";
  write("long.asm", ".CHIP ZQ4460\n" + comments);  // a 6 KiB listing
  write("bad.asm", ".CHIP ZQ4460\n JMP x\n");
  const std::string tooLarge = ": cannot create: File too large\n", limit = "ulimit -f 2; ";
  const std::string full = "ln -sf /dev/full img.ERR; ";
  const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
      // arguments, shell setup, output, image that must not be there
      {"img.asm", limit, "zqasm: img.OBJ" + tooLarge, "img.OBJ"},  // 8 KiB of image
      {"--rom-top 0Fh --table-top 0FFFh img.asm", limit, "zqasm: img.TAB" + tooLarge, "img.TAB"},
      // The image is written before the listing fails.
      {"--hex -o l.bin --rom-top 0Fh long.asm", "echo >l.HEX; " + limit, "zqasm: l.LST" + tooLarge,
       "l.HEX"},
      {"-M taken.d img.asm", "mkdir -p taken.d; ",
       "0 Error(s), 0 Warning(s)\nzqasm: taken.d: cannot create: Is a directory\n", ""},
      // The error file cannot tell of its own failure: both styles name it, a run with
      // errors included.
      {"img.asm", full, "zqasm: img.ERR: cannot create: No space left on device\n", ""},
      {"--diagnostics=err img.asm", full,
       "zqasm: img.ERR: cannot create: No space left on device\n", ""},
      {"-q bad.asm", "ln -sf /dev/full bad.ERR; ",
       "bad.asm:2:6: error: undefined symbol 'x' [E12]\n"
       "zqasm: bad.ERR: cannot create: No space left on device\n",
       ""},
      {"--diagnostics=err bad.asm", "ln -sf /dev/full bad.ERR; ",
       "zqasm: bad.ERR: cannot create: No space left on device\n", ""},
      {"img.asm", "rm img.LST img.ERR; mkdir img.LST; ",
       "zqasm: img.LST: cannot create: Is a directory\n", ""},
  };
  for (const auto& [arguments, setup, output, image] : cases) {
    EXPECT_EQ(run(chips_ + arguments, 3, setup), output);
    EXPECT_TRUE(image.empty() || !exists(image)) << image;
    const std::string failed = output.substr(7, output.find(':', 7) - 7);
    if (setup.find(limit) != std::string::npos) {
      EXPECT_EQ(readFile(dir_.file(failed.substr(0, failed.find('.')) + ".ERR")),
                "File \"" + zq::fullPath(dir_.file(failed)) + "\" create failed !\n");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
  }
}

// DEFS.H is only found in the third directory, past the block's first two slots.
TEST_F(ZqasmCliTest, IncludeDirectoriesAreSearchedInOrder) {
  for (const char* sub : {"one", "two", "three", "four"}) {
    mkdirs(sub);
  }
  write("three/DEFS.H", "start: NOP\n");
  write("four/DEFS.H", " FOO\n");
  write("main.asm", ".CHIP ZQ4460\n ORG 0\n#include <defs.h>\n JMP start\n");
  run(chips_ + "-I one --include two -I three -I four main.asm", 0);
}

// -o and --out-dir put every output elsewhere and nothing beside the source.
TEST_F(ZqasmCliTest, OutputsGoWhereTheyAreAsked) {
  mkdirs("src/inc");
  mkdirs("out");
  write("src/inc/defs.inc", "start: NOP\n");
  write("src/prog.asm", ".CHIP ZQ4460\n ORG 0\n#include <defs.inc>\n JMP start\n");
  const std::set<std::string> sources = files("src");
  run(chips_ + "-I src/inc -o out/p.bin --hex src/prog.asm", 0);
  run(chips_ + "-I src/inc --out-dir made/here/ src/prog.asm", 0);
  EXPECT_EQ(files("src"), sources);
  EXPECT_EQ(read("out/p.bin").size(), 6 + 2 * 0x1000u);
  EXPECT_EQ(files("out").count("p.OBJ") + files("out").count("p.LST") + files("out").count("p.HEX"),
            2u);
  EXPECT_TRUE(exists("made/here/prog.OBJ"));
  // The error file read back is the one beside the image; a failed run leaves no image.
  write("src/prog.asm", ".CHIP ZQ4460\n ORG 0\n JMP nowhere\n");
  const std::string errors = run(chips_ + "--diagnostics=err -o out/p.bin src/prog.asm", 1);
  EXPECT_EQ(errors, read("out/p.ERR"));
  EXPECT_FALSE(exists("out/p.bin"));

  // The folders of -o and of the depfile are made as --out-dir's is; the depfile names the
  // image as written.
  write("src/prog.asm", ".CHIP ZQ4460\n ORG 0\n NOP\n");
  EXPECT_EQ(run(chips_ + "-q -o new/a/p.OBJ -M deps/b/p.d src/prog.asm", 0), "");
  EXPECT_TRUE(exists("new/a/p.OBJ") && exists("new/a/p.LST"));
  EXPECT_EQ(read("deps/b/p.d").rfind("new/a/p.OBJ: \\\n  src/prog.asm \\\n", 0), 0u);
  // A file where a folder should be is named, and nothing is assembled.
  EXPECT_EQ(run(chips_ + "-o src/prog.asm/p.OBJ src/prog.asm", 3),
            "zqasm: src/prog.asm: cannot create: Not a directory\n");
  EXPECT_EQ(run(chips_ + "-M src/prog.asm/sub/p.d src/prog.asm", 3),
            "zqasm: src/prog.asm/sub: cannot create: Not a directory\n");
}

// -o and the depfile may name no other file of the run: the image or the depfile would
// replace it at the end of a run that ends with status 0. Names that differ in case only
// are the same file, as names are looked up.
TEST_F(ZqasmCliTest, AnOutputNamedTwiceIsRefused) {
  write("fw.asm", ".CHIP ZQ4460\n ORG 0\n NOP\n");
  const std::pair<std::string, std::string> refused[] = {
      {"--hex -o fw.HEX", "-o names the Intel HEX image of the same run: fw.HEX"},
      {"-o fw.ERR", "-o names the error file of the same run: fw.ERR"},
      {"-o sub/fw.lst", "-o names the listing of the same run: sub/fw.lst"},
      {"-o fw.d -M ./fw.D", "-o and the depfile name the same file: ./fw.D"},
      {"-M fw.OBJ", "the depfile names the program image of the same run: fw.OBJ"},
      {"-M fw.asm", "the depfile names SOURCE itself: fw.asm"},
      {"--out-dir o --hex -M o/fw.TAB.HEX",
       "the depfile names the table ROM's Intel HEX image of the same run: o/fw.TAB.HEX"},
  };
  for (const auto& [options, message] : refused) {
    const std::string output = run(options + " fw.asm", 2);
    EXPECT_EQ(output.substr(0, output.find('\n')), "zqasm: " + message) << options;
  }
  // Nothing was made, not even a folder.
  EXPECT_FALSE(exists("sub") || exists("o") || exists("fw.LST"));
  // Without --hex a .HEX name is the image's own; the same names apart are taken.
  EXPECT_EQ(run(chips_ + "-q -o fw.HEX -M fw.d fw.asm", 0), "");
  EXPECT_EQ(read("fw.HEX").size(), 6 + 2 * 0x1000u);
  EXPECT_EQ(read("fw.d").rfind("fw.HEX: \\\n  fw.asm \\\n", 0), 0u);
}

// zqasm's own warning of outputs named from a dot in a folder says where they go at any
// depth and counts (-Werror fails on it); a fatal stop ends with no totals.
TEST_F(ZqasmCliTest, OwnWarningAndFatalStopsAreCounted) {
  mkdirs("v1.2/deep");
  mkdirs("chips");
  std::filesystem::copy_file(zqtest::chipDir() + "/ZQ44V09.COE", dir_.file("chips/ZQ44V09.COE"));
  write("v1.2/deep/prog", ".CHIP ZQ4460\n ORG 0\n NOP\n");
  write("v9.asm", ".CHIP ZQ44V09\n ORG 0\n #DEFINE X\n #DEFINE X\n NOP\n");
  auto warning = [](const std::string& source, const std::string& folder) {
    return "zqasm: warning: " + source + " has no extension, so its outputs are named after its " +
           "path up to the last dot: v1.OBJ, v1.LST, v1.ERR, ... in " + folder +
           "; give -o or --out-dir to name them [-Wextensionless-source]\n0 Error(s), 1 "
           "Warning(s)\n";
  };
  EXPECT_EQ(run(chips_ + "--hex prog", 0, "cd v1.2/deep && "),
            warning("prog", zq::fullPath(dir_.path())));
  EXPECT_EQ(run(chips_ + "-Werror --hex v1.2/deep/prog", 1),
            warning("v1.2/deep/prog", "the current directory") +
                "zqasm: warnings are treated as errors\n");
  EXPECT_FALSE(exists("v1.OBJ") || exists("v1.HEX"));
  // By its name it goes off, or fails the run alone; -w silences it too.
  EXPECT_EQ(run(chips_ + "-Wno-extensionless-source v1.2/deep/prog", 0),
            "0 Error(s), 0 Warning(s)\n");
  EXPECT_EQ(run(chips_ + "-w v1.2/deep/prog", 0), "0 Error(s), 0 Warning(s)\n");
  EXPECT_TRUE(exists("v1.OBJ"));
  std::string asError = warning("v1.2/deep/prog", "the current directory");
  asError.replace(asError.find("warning:"), 8, "error:");
  asError.replace(asError.find("[-W"), 3, "[-Werror=");
  asError.replace(asError.find("0 Error(s), 1 Warning(s)"), 24, "1 Error(s), 0 Warning(s)");
  EXPECT_EQ(run(chips_ + "-Werror=extensionless-source v1.2/deep/prog", 1), asError);
  EXPECT_FALSE(exists("v1.OBJ"));
  EXPECT_EQ(run("--chip-dir chips v9.asm", 1),
            "v9.asm:4:10: warning: define 'X' redefined, first defined at v9.asm:3 [W0] "
            "[-Wdefine-redefined]\nzqasm: fatal: Assemble ERROR: : Can not "
            "open file chips/ZQ4427.COE !\nzqasm: fatal: Occurred FATAL ERROR !\n"
            "zqasm: assembly stopped by a fatal error after 0 Error(s), 1 Warning(s)\n");
}

// Every warning has a name, shown last and taken by -W, -Wno- and -Werror=, the last
// option for a name winning; -w silences all whatever the order. The trap warnings are off
// unless asked for. A warning turned off leaves the error file; one made an error fails
// the run as an error does (no image), though the error file keeps it a warning.
TEST_F(ZqasmCliTest, WarningsByName) {
  write("w.asm",
        ".CHIP ZQ4460\n ORG 0\n #DEFINE X\n #DEFINE X\n .IF UNDEF == 0\n NOP\n .ENDIF\n"
        "M .MACRO H\n LDA 1H\n .ENDM\n M 5\n");
  const std::string w0 =
      "w.asm:4:10: warning: define 'X' redefined, first defined at w.asm:3 [W0] "
      "[-Wdefine-redefined]\n";
  const std::string w5 =
      "w.asm:5: warning: undefined symbol 'UNDEF' taken as 0 [W5] [-Wundefined-in-condition]\n";
  const std::string w6 =
      "w.asm:9: warning: macro parameter replaced inside the word '1H' (parameter 'H'), giving "
      "'15' [W6] [-Wparameter-in-word]\nw.asm:11: note: in expansion of macro 'M' (defined at "
      "w.asm:8)\n";
  const std::string none = "0 Error(s), 0 Warning(s)\n", one = "0 Error(s), 1 Warning(s)\n";
  const std::string errW0 = "(4) : Warning 0 ->  MACRO REDFINITION\n";
  const struct {
    std::string options;
    int status;
    std::string output;
    bool w0InErrorFile;
  } cases[] = {
      {"", 0, w0 + one, true},
      {"-Wno-define-redefined", 0, none, false},
      {"-Wall", 0, w0 + w5 + w6 + "0 Error(s), 3 Warning(s)\n", true},
      {"-Wundefined-in-condition -Wparameter-in-word", 0,
       w0 + w5 + w6 + "0 Error(s), 3 Warning(s)\n", true},
      {"-Wall -w", 0, none, false},
      {"-w -Wall -Werror=define-redefined", 0, none, false},
      {"-Wno-define-redefined -Wdefine-redefined -Wno-define-redefined -Wdefine-redefined", 0,
       w0 + one, true},
      {"-Wno-undefined-in-condition -Wundefined-in-condition -Wno-undefined-in-condition", 0,
       w0 + one, true},
      {"--hex -Wall -Wno-parameter-in-word -Werror", 1,
       w0 + w5 + "0 Error(s), 2 Warning(s)\nzqasm: warnings are treated as errors\n", true},
      {"--hex -Werror=undefined-in-condition", 1,
       w0 + "w.asm:5: error: undefined symbol 'UNDEF' taken as 0 [W5] "
            "[-Werror=undefined-in-condition]\n1 Error(s), 1 Warning(s)\n",
       true},
  };
  for (const auto& c : cases) {
    const std::string output = run(chips_ + c.options + " w.asm", c.status);
    EXPECT_EQ(output, c.output) << c.options;
    EXPECT_EQ(read("w.ERR").find(errW0) != std::string::npos, c.w0InErrorFile) << c.options;
    EXPECT_EQ(exists("w.OBJ"), c.status == 0) << c.options;
  }
  EXPECT_NE(read("w.ERR").find("(5) : Warning 5 ->  UNDEFINED SYMBOL"), std::string::npos);
  EXPECT_FALSE(exists("w.HEX"));
}

// A diagnostic names its culprit at its column: the operand of OPRAND ERROR with the forms
// the chip allows, an expression that does not reduce, the first definition of a DEFINE
// given again (or that it came from -D), and the nearest known name of one unknown. The
// error file keeps the catalogue texts.
TEST_F(ZqasmCliTest, DiagnosticsNameTheirCulprit) {
  write("n.asm",
        ".CHIP ZQ4460\n ORG 0\n#DEFINE FAST\ncounter: NOP\n LDA 300\n MOV 45h\n"
        " LDA 5+\n LDA 2-5\n LDAX 1\n JMP countr\n .ENDIFF\n #DEFINE FAST 2\n"
        " MOV 45h, 3, 4\n");
  const std::string forms = "; the chip allows: MOV value, @HL | MOV value, value [E6]\n";
  const std::string rest =
      "n.asm:5:6: error: operand 1 of 'LDA' is 12Ch, more than its field holds (at most 0Fh); "
      "the chip allows: LDA value [E6]\n"
      "n.asm:6:2: error: no form of 'MOV' takes the operands '45h'" +
      forms +
      "n.asm:7:6: error: expression '5+' does not reduce to a value [E1]\n"
      "n.asm:8:6: error: expression '2-5' gives a negative value (-3) [E1]\n"
      "n.asm:9:2: error: illegal opcode 'LDAX'; did you mean 'LDA'? [E1]\n"
      "n.asm:10:6: error: undefined symbol 'countr'; did you mean 'counter'? [E12]\n"
      "n.asm:11:2: error: illegal opcode '.ENDIFF'; did you mean '.ENDIF'? [E1]\n";
  const std::string redefined = "redefined, first defined ";
  EXPECT_EQ(run(chips_ + "n.asm", 1),
            rest + "n.asm:12:10: warning: define 'FAST' " + redefined +
                "at n.asm:3 [W0] [-Wdefine-redefined]\n"
                "n.asm:13:2: error: no form of 'MOV' takes the operands '45h, 3, 4'" +
                forms + "8 Error(s), 1 Warning(s)\n");
  EXPECT_EQ(run(chips_ + "-D FAST n.asm", 1),
            "n.asm:3:9: warning: define 'FAST' " + redefined +
                "outside the source [W0] [-Wdefine-redefined]\n" + rest +
                "n.asm:12:10: warning: define 'FAST' " + redefined +
                "outside the source [W0] [-Wdefine-redefined]\n"
                "n.asm:13:2: error: no form of 'MOV' takes the operands '45h, 3, 4'" +
                forms + "8 Error(s), 2 Warning(s)\n");
  const std::string errorFile = read("n.ERR");
  EXPECT_NE(errorFile.find("(5) : Error 6 ->  OPRAND ERROR\n"), std::string::npos);
  EXPECT_NE(errorFile.find("(7) : Error 1 ->  ILLEGAL OPCODE\n"), std::string::npos);
  EXPECT_NE(errorFile.find("(12) : Warning 0 ->  MACRO REDFINITION\n"), std::string::npos);
}

// At most --max-errors diagnostics (50 by default, 0 for all) are shown, in either style,
// then one line for the rest; a macro that calls itself twice per level stops at 100,000
// errors with a few kilobytes on standard error.
TEST_F(ZqasmCliTest, MaxErrorsBoundsWhatIsShown) {
  std::string errors = ".CHIP ZQ4460\n #DEFINE X\n #DEFINE X\n";
  for (int k = 0; k < 60; ++k) errors += " FOO\n";
  write("e.asm", errors);
  auto lines = [](int first, int last, bool errStyle) {
    std::string text;
    for (int k = first; k <= last; ++k)
      text += errStyle ? "e.asm(" + std::to_string(k) + ") : Error 1 ->  ILLEGAL OPCODE\n"
                       : "e.asm:" + std::to_string(k) + ":2: error: illegal opcode 'FOO' [E1]\n";
    return text;
  };
  const std::string warning =
      "e.asm:3:10: warning: define 'X' redefined, first defined at e.asm:2 [W0] "
      "[-Wdefine-redefined]\n";
  EXPECT_EQ(run(chips_ + "e.asm", 1),
            warning + lines(4, 52, false) +
                "zqasm: 11 more errors and 0 warnings not shown; all are in e.ERR\n"
                "60 Error(s), 1 Warning(s)\n");
  EXPECT_EQ(run(chips_ + "--max-errors=0 e.asm", 1),
            warning + lines(4, 63, false) + "60 Error(s), 1 Warning(s)\n");
  EXPECT_EQ(run(chips_ + "--max-errors 1 e.asm", 1),
            warning +
                "zqasm: 60 more errors and 0 warnings not shown; all are in e.ERR\n"
                "60 Error(s), 1 Warning(s)\n");
  // The error file's own lines (with full names), the line for the rest in their place.
  const std::string full = zq::fullPath(dir_.path()) + "/";
  std::string shown = run(chips_ + "--diagnostics=err --max-errors 3 e.asm", 1);
  for (size_t at; (at = shown.find(full)) != std::string::npos;) shown.erase(at, full.size());
  EXPECT_EQ(shown, "e.asm(3) : Warning 0 ->  MACRO REDFINITION\n" + lines(4, 5, true) +
                       "zqasm: 58 more errors and 0 warnings not shown; all are in e.ERR\n"
                       "\n60 Error(s), 1 Warning(s)\n");

  write("r.asm", ".CHIP ZQ4460\nR .MACRO\n R\n R\n .ENDM\n R\n");
  const std::string out = run(chips_ + "r.asm", 1);
  EXPECT_LT(out.size(), size_t{64} << 10);
  size_t shownErrors = 0;
  for (size_t at = out.find(": error: "); at != std::string::npos;
       at = out.find(": error: ", at + 1))
    ++shownErrors;
  EXPECT_EQ(shownErrors, 50u);
  EXPECT_NE(out.find("r.asm:4: fatal: Fatal ERROR : TOO MANY ERRORS (100000)\n"),
            std::string::npos);
  const std::string end =
      "zqasm: 99950 more errors and 0 warnings not shown; all are in r.ERR\n"
      "zqasm: assembly stopped by a fatal error after 100000 Error(s), 0 Warning(s)\n";
  ASSERT_GE(out.size(), end.size());
  EXPECT_EQ(out.substr(out.size() - end.size()), end);
}

// A diagnostic 64 expansions deep shows the 5 innermost and the 5 outermost, and one note
// in place of the 54 between, at the first of them.
TEST_F(ZqasmCliTest, DeepExpansionNotesAreCut) {
  write("r.asm", ".CHIP ZQ4460\nR .MACRO\n R\n .ENDM\n R\n");
  std::string note;
  for (int k = 0; k < 5; ++k)
    note += "r.asm:3: note: in expansion of macro 'R' (defined at r.asm:2)\n";
  EXPECT_EQ(run(chips_ + "r.asm", 1),
            "r.asm:3: error: MACRO CALL NESTING TOO DEPTH [E69]\n" + note +
                "r.asm:3: note: 54 more levels of macro expansion not shown\n" +
                note.substr(0, 4 * note.size() / 5) +
                "r.asm:5: note: in expansion of macro 'R' (defined at r.asm:2)\n"
                "1 Error(s), 0 Warning(s)\n");
}

// The usage summary on a banked ROM: bank 0 holds 3 code words and, in its convert area,
// the jump over the area, the trampoline to 0 and the select of bank 1; bank 1 holds 2
// code words, the jump over, the select of bank 0 and the jump to 1000h; bank 2 the jump
// over and the two selects.
TEST_F(ZqasmCliTest, SizeSummarizesTheImages) {
  write("s.asm",
        ".CHIP ZQ4460\n .DATA\n ORG 60h\nFLAGS DN 1\nBUF DN 4\n .ENDD\n .TABLE\n 0F0h 5\n"
        " 0F1h 6\n .ENDT\n ORG 0\nstart: NOP\n INC 3\n JMP far\n ORG 1000h\nfar: NOP\n"
        " JMP start\n");
  const std::string arguments = chips_ + "-q --rom-top 2FFFh --table-top 0FFh s.asm";
  EXPECT_EQ(run("--size " + arguments, 0),
            "program ROM bank 0: 6 of 4096 words (0.1%)\n"
            "program ROM bank 1: 5 of 4096 words (0.1%)\n"
            "program ROM bank 2: 3 of 4096 words (0.1%)\n"
            "program ROM: 14 of 12288 words (0.1%)\ntable ROM: 2 of 256 cells (0.8%)\n"
            "RAM: 2 names, 5 nibbles\ncode end: 1002h\n");
#ifdef ZQASM_TEST_HAVE_JSON
  std::string json = run("--size=json " + arguments, 0);
  json.erase(std::remove_if(json.begin(), json.end(), ::isspace), json.end());
  EXPECT_EQ(json,
            "{\"programRom\":{\"banks\":[{\"bank\":0,\"used\":6,\"size\":4096},{\"bank\":1,"
            "\"used\":5,\"size\":4096},{\"bank\":2,\"used\":3,\"size\":4096}],\"used\":14,"
            "\"size\":12288},\"tableRom\":{\"used\":2,\"size\":256},\"ram\":{\"names\":2,"
            "\"nibbles\":5},\"codeEnd\":4098}");
#endif
}

// --map-svg on the banked example: well-formed XML (python3's parser reads it) with a strip
// per bank, the words of the run where it placed them (the trampolines as the listing's
// bank convert area has them; a run under a pixel wide after the wider ones), and the map
// drawn also after errors.
TEST_F(ZqasmCliTest, MapSvgDrawsWhatTheRunPlaced) {
  std::filesystem::copy_file(std::string(ZQASM_TEST_EXAMPLES_DIR) + "/banked.asm",
                             dir_.file("banked.asm"));
  EXPECT_EQ(run(chips_ + "-q --rom-top 2FFFh --map-svg map.svg banked.asm", 0), "");
  const std::string svg = read("map.svg");
  // The titles of the SVG elements of class `cls` (rectangles and ORG marks), in order.
  auto svgTitles = [](const std::string& text, const std::string& cls) {
    return zqtest::svgTitles(text, cls, true);
  };
  if (std::system("command -v python3 >/dev/null 2>&1") == 0) {
    EXPECT_EQ(
        commandOutput("cd '" + dir_.path() +
                      "' && python3 -c 'import xml.etree.ElementTree as E; print(len(["
                      "g for g in E.parse(\"map.svg\").iter(\"{http://www.w3.org/2000/svg}g\")"
                      " if g.get(\"class\") == \"bank\"]))' 2>&1"),
        "3\n");
  }
  EXPECT_EQ(svgTitles(svg, "code"),
            (std::vector<std::string>{"0010h-0016h code, 7 words: banked.asm:21-27",
                                      "0000h code, 1 word: banked.asm:19",
                                      "1000h-1006h code, 7 words: banked.asm:31-38",
                                      "2000h-2005h code, 6 words: banked.asm:42-47"}));
  EXPECT_EQ(svgTitles(svg, "trampoline"),
            (std::vector<std::string>{
                "0102h-0105h trampolines, 4 words", "0107h-0108h trampolines, 2 words",
                "1101h-1102h trampolines, 2 words", "1105h-1108h trampolines, 4 words",
                "2101h-2102h trampolines, 2 words", "2104h-2105h trampolines, 2 words",
                "2108h-2109h trampolines, 2 words"}));
  EXPECT_EQ(svgTitles(svg, "nop"),
            std::vector<std::string>{"0FFFh NOP moved to the bank end, 1 word: banked.asm:31"});
  EXPECT_EQ(svgTitles(svg, "org"),
            (std::vector<std::string>{
                "ORG 0000h reset: banked.asm:18", "ORG 0010h main0: banked.asm:20",
                "ORG 0FFFh work1: banked.asm:30", "ORG 2000h work2: banked.asm:41"}));
  EXPECT_NE(svg.find(">Bank 0  0000h-0FFFh  used 15 of 4096 words (0.4%), bank convert area "
                     "0100h-01FFh<"),
            std::string::npos);

  // After an error: no image, yet the words placed and the RAM names defined.
  write("e.asm",
        ".CHIP ZQ4460\n .DATA\nFLAGS DN 3\n .ENDD\n ORG 10h\nfoo: LDA 1\n JMP nowhere\n"
        " .DS 2\n");
  run(chips_ + "-q --map-svg e.svg e.asm", 1);
  const std::string afterError = read("e.svg");
  EXPECT_EQ(svgTitles(afterError, "code"),
            std::vector<std::string>{"0010h-0011h code, 2 words: e.asm:6-7"});
  EXPECT_EQ(svgTitles(afterError, "reserved"),
            std::vector<std::string>{"0012h-0013h reserved by .DS, 2 words: e.asm:8"});
  EXPECT_EQ(svgTitles(afterError, "ram"), std::vector<std::string>{"FLAGS 000h-002h, 3 nibbles: "
                                                                   "e.asm:3"});
  EXPECT_FALSE(exists("e.OBJ"));

  EXPECT_EQ(run(chips_ + "--map-svg= e.asm", 2),
            "zqasm: empty --map-svg file\nTry 'zqasm --help' for more information.\n");
  // A map not written fails the run as an output not made: no image is left.
  EXPECT_EQ(run(chips_ + "-q --rom-top 2FFFh --map-svg nodir/b.svg banked.asm", 3),
            "zqasm: nodir/b.svg: cannot create: No such file or directory\n");
  EXPECT_FALSE(exists("banked.OBJ"));
}

TEST_F(ZqasmCliTest, ListChipsNamesModelsAndFiles) {
  mkdirs("chips/sub.COE");
  for (const char* name : {"chips/ZQ9.COE", "chips/notes.txt"}) write(name, "junk");
  std::filesystem::copy_file(zqtest::chipDir() + "/ZQ4460.COE", dir_.file("chips/ZQ1.coe"));
  EXPECT_EQ(run("--list-chips --chip-dir chips", 0),
            "ZQ1      chips/ZQ1.coe\nZQ9      chips/ZQ9.COE  (unusable: .CHIP cannot load it)\n");
  EXPECT_EQ(run("--list-chips --chip-dir chips/sub.COE", 1),
            "zqasm: no chip files (*.COE) in chips/sub.COE\n");
  run("--list-chips --chip-dir nowhere", 3);
}

// --outputs writes the files it names and leaves the others alone, those of an earlier run
// included; the listing of a banked program is marked as in a full run without its .SYM.
TEST_F(ZqasmCliTest, OutputsNameTheFilesWritten) {
  write("p.asm", ".CHIP ZQ4460\n ORG 0\nMAIN: NOP\n JMP MAIN\n");
  write("p.ERR", "old\n");
  write("p.TAB", "old\n");
  run(chips_ + "--outputs obj,lst p.asm", 0);
  EXPECT_EQ(files(), (std::set<std::string>{"p.asm", "p.ERR", "p.TAB", "p.OBJ", "p.LST"}));
  EXPECT_EQ(read("p.ERR"), "old\n");
  // hex alone: the Intel HEX forms, and no .OBJ or .TAB written or removed.
  run(chips_ + "--table-top 0Fh --outputs hex p.asm", 0);
  EXPECT_EQ(files(), (std::set<std::string>{"p.asm", "p.ERR", "p.TAB", "p.OBJ", "p.LST", "p.HEX",
                                            "p.TAB.HEX"}));
  EXPECT_EQ(read("p.TAB"), "old\n");
  // A failed run removes the images it names only.
  write("p.asm", ".CHIP ZQ4460\n JMP nowhere\n");
  run(chips_ + "--outputs tab,err p.asm", 1);
  EXPECT_FALSE(exists("p.TAB"));
  EXPECT_TRUE(exists("p.OBJ"));
  // Without the error file every diagnostic is shown, past the default bound of 50.
  std::string many = ".CHIP ZQ4460\n";
  for (int i = 0; i < 60; ++i) many += " JMP nowhere\n";
  write("p.asm", many);
  const std::string shown = run(chips_ + "--outputs obj p.asm", 1);
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 61) << shown;

  const std::string banked = zqtest::casesDir() + "/bank_trampolines/main.asm";
  mkdirs("all");
  mkdirs("lst");
  run(chips_ + "--rom-top 2FFFh --out-dir all '" + banked + "'", 0);
  run(chips_ + "--rom-top 2FFFh --out-dir lst --outputs lst '" + banked + "'", 0);
  EXPECT_EQ(files("lst"), std::set<std::string>{"main.LST"});
  EXPECT_EQ(read("lst/main.LST"), read("all/main.LST"));
}

// --bin is the .OBJ less its header, unwritten words filled as there (00h; FFh on the
// 44W05); a run with errors leaves none.
TEST_F(ZqasmCliTest, BinIsTheObjectBody) {
  // The 44W05 fills with FFh: its two words are all that differ from the fill.
  for (const char* chip : {"ZQ4460", "ZQ44W05"}) {
    write("b.asm", std::string(".CHIP ") + chip + "\n ORG 2\n NOP\n NOP\n");
    run(chips_ + "--rom-top 0Fh --bin out.bin b.asm", 0);
    const std::string obj = read("b.OBJ");
    const std::string bin = read("out.bin");
    ASSERT_EQ(bin.size(), 32u) << chip;
    EXPECT_EQ(bin, obj.substr(obj.size() - 32)) << chip;
    const char fill = std::string(chip) == "ZQ44W05" ? '\xFF' : '\0';
    EXPECT_EQ(bin.substr(0, 4), std::string(4, fill)) << chip;
    EXPECT_EQ(bin.substr(8), std::string(24, fill)) << chip;
  }
  // NAME.BIN through --outputs, beside an -o image.
  run(chips_ + "--rom-top 0Fh --outputs bin,obj -o img.OBJ b.asm", 0);
  EXPECT_EQ(read("img.BIN"), read("out.bin"));
  write("b.asm", ".CHIP ZQ4460\n JMP nowhere\n");
  run(chips_ + "--rom-top 0Fh --bin out.bin b.asm", 1);
  EXPECT_FALSE(exists("out.bin"));
}

// -E writes the statements as assembled, with line markers, and no file; with -P the
// text assembles to the same image.
TEST_F(ZqasmCliTest, PreprocessedSourceAssemblesTheSame) {
  mkdirs("inc");
  write("inc/defs.inc", "LIMIT   EQU     5\n");
  write("main.asm",
        "; demo\n"
        "        .CHIP   ZQ4460\n"
        "#include <defs.inc>\n"
        "SETA    .MACRO  V\n"
        "        LDA     V               ; load\n"
        "        .ENDM\n"
        "        .IFDEF  DEBUG\n"
        "        NOP\n"
        "        .ELSE\n"
        "        HALT\n"
        "        .ENDIF\n"
        "        SETA    LIMIT\n"
        "        RET\n");
  const std::set<std::string> before = files();
  const std::string text = run(chips_ + "-I inc -D DEBUG -q -E main.asm", 0);
  EXPECT_EQ(files(), before);
  // The body line stands at its own place with the argument in it; the lines between it
  // and RET are blank lines rather than a marker, as cpp writes a short gap.
  EXPECT_EQ(text,
            "# 1 \"<command line>\"\n"
            "#DEFINE DEBUG\n"
            "# 1 \"main.asm\"\n"
            "; demo\n"
            "        .CHIP   ZQ4460\n"
            "# 1 \"inc/defs.inc\"\n"
            "LIMIT   EQU     5\n"
            "# 8 \"main.asm\"\n"
            "        NOP\n"
            "# 5 \"main.asm\"\n"
            "        LDA     LIMIT; load\n"
            "\n\n\n\n\n\n\n"
            "        RET\n");
  run(chips_ + "-I inc -D DEBUG -E -o main.i main.asm", 0);
  EXPECT_EQ(read("main.i"), text);
  // Without markers (-P) the lines alone, which assemble as a source of their own.
  run(chips_ + "-I inc -D DEBUG -E -P -o main.i main.asm", 0);
  EXPECT_EQ(read("main.i"),
            "#DEFINE DEBUG\n; demo\n        .CHIP   ZQ4460\nLIMIT   EQU     5\n        NOP\n"
            "        LDA     LIMIT; load\n        RET\n");
  run(chips_ + "-I inc -D DEBUG main.asm", 0);
  run(chips_ + "-o again.OBJ main.i", 0);
  EXPECT_EQ(read("again.OBJ"), read("main.OBJ"));
  // A run with errors still writes its text, and fails.
  write("bad.asm", ".CHIP ZQ4460\n JMP nowhere\n");
  EXPECT_EQ(run(chips_ + "-q -E bad.asm", 1),
            "bad.asm:2:6: error: undefined symbol 'nowhere' [E12]\n"
            "# 1 \"bad.asm\"\n.CHIP ZQ4460\n JMP nowhere\n1 Error(s), 0 Warning(s)\n");
}

}  // namespace
