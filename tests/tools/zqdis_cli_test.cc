// The zqdis program: its command line, its messages and statuses for images that are not
// images, and whole outputs compared with texts worked out from the words by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using zqtest::writeFile;

// What a listing of an Intel HEX image says of the ROM top it takes.
const std::string kHexTop =
    "; Intel HEX does not hold the ROM top: this is the end of the bank of the last word\n"
    "; (0FFFh, 1FFFh or 2FFFh; 0FFFFh beyond).\n";

class ZqdisCliTest : public ::testing::Test {
 protected:
  // Runs `program` (zqdis unless told) with `arguments` in the test directory; expects
  // `status`; returns standard output, then standard error.
  std::string run(const std::string& arguments, int status,
                  const char* program = ZQASM_TEST_ZQDIS) {
    // A tool that blocks (on a pipe, say) fails instead of hanging the test.
    const std::string command = "cd '" + dir_.path() + "' && timeout 60 '" + program + "' " +
                                arguments + " 2>errors; s=$?; cat errors; exit $s";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;) output.push_back(char(c));
    const int result = pipe != nullptr ? pclose(pipe) : -1;
    EXPECT_EQ(WIFEXITED(result) ? WEXITSTATUS(result) : -1, status) << arguments << "\n" << output;
    return output;
  }
  // An Intel HEX file of `words` at addresses 0..; 0xFFFFFFFF for a word not written.
  void writeHex(const std::string& name, const std::vector<uint32_t>& words) {
    std::vector<uint8_t> bytes, written;
    for (uint32_t word : words) {
      bytes.push_back(static_cast<uint8_t>(word & 0xFF));
      bytes.push_back(static_cast<uint8_t>(word >> 8 & 0xFF));
      written.push_back(word <= 0xFFFF);
    }
    ASSERT_TRUE(zqtest::writeIntelHexFile(dir_.file(name), bytes, written, 2));
  }
  std::string read(const std::string& name) { return zqtest::readFile(dir_.file(name)); }
  zqtest::TempDir dir_;
  const std::string chips_ = "--chip-dir '" + zqtest::chipDir() + "' ";
};

TEST_F(ZqdisCliTest, CommandLineAndBadImages) {
  writeFile(dir_.file("p.HEX"), ":00000001FF\n");
  const std::pair<std::string, std::string> usage[] = {
      {"", "zqdis: missing IMAGE\n"},
      {"--bogus a.OBJ", "zqdis: unknown option --bogus\n"},
      {"a.OBJ b.OBJ", "zqdis: more than one IMAGE: b.OBJ\n"},
      {"--chip", "zqdis: option --chip needs a value\n"},
      {"--listing=1 a.OBJ", "zqdis: option --listing takes no value\n"},
      {"p.HEX", "zqdis: p.HEX: an Intel HEX file does not name its chip: give --chip\n"},
      {"--chip ZQ4460 --start 8 --stop 7 f.HEX", "zqdis: --start above --stop\n"},
      {"p.OBJ --rom-top 0x10000", "zqdis: --rom-top above 0FFFFh: 0x10000\n"},
      {"--symbols-for-operands p.OBJ", "zqdis: --symbols-for-operands needs --symbols\n"},
  };
  for (const auto& [arguments, message] : usage)
    EXPECT_EQ(run(chips_ + arguments, 2), message + "Try 'zqdis --help' for more information.\n");
  EXPECT_EQ(run("missing.OBJ", 3), "zqdis: missing.OBJ: No such file or directory\n");

  const std::string header = "ZQ4460";
  const std::pair<std::string, std::string> images[] = {
      // file contents, message after "zqdis: NAME: "
      {"", "the file is empty"},
      {std::string("XY12\0\0", 6), "its header \"XY12\" names no chip of " + zqtest::chipDir()},
      {header, "no program words after the header: the image is empty"},
      {header + "abc", "cut short: 3 bytes after the header end in half a word"},
      {header + std::string(2 * 0x10001, '\0'),
       "65537 words, more than the largest program ROM (10000h words)"},
      {":0200000000D02F\n:00000001FF\n",
       "line 1: bad checksum 2Fh (the record's bytes call for 2Eh)"},
      {":0200000000D02E\n\n:00000006FA\n", "line 3: unsupported record type 06h with 0 data bytes"},
      {":0200000000D02E\n", "no end record (the file may be cut short)"},
      {":0100000000FF\n:00000001FF\n", "word 0000h is given only its low byte"},
      {":00000001FF\n", "no data records: the image is empty"},
      {":zz\n", "line 1: not an Intel HEX record"},
  };
  int n = 0;
  for (const auto& [contents, message] : images) {
    const std::string name = "bad" + std::to_string(n++);
    writeFile(dir_.file(name), contents);
    EXPECT_EQ(run(chips_ + "--chip ZQ4460 " + name, 1), "zqdis: " + name + ": " + message + "\n");
  }
  writeFile(dir_.file("ok.HEX"), ":0200000000D02E\n:00000001FF\n");
  EXPECT_EQ(run(chips_ + "--chip ZQ9999 ok.HEX", 1),
            "zqdis: no chip description ZQ9999.COE in " + zqtest::chipDir() + "\n");
}

// Every tool takes only a regular file of its stated size as input: a directory, a device
// such as /dev/zero (read without end) or a pipe without a writer (blocks for good) is
// refused without being read, and so is a file that is too large, each with its status.
TEST_F(ZqdisCliTest, ToolsRefuseDevicesPipesAndHugeFiles) {
  ASSERT_EQ(mkfifo(dir_.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir_.file("folder"));
  writeFile(dir_.file("huge"), "");
  std::filesystem::resize_file(dir_.file("huge"), (16u << 20) + 1);  // sparse
  writeFile(dir_.file("image"), "");
  std::filesystem::resize_file(dir_.file("image"), (8u << 20) + 1);
  struct Case {
    const char* program;
    std::string arguments;
    int status;
    std::string output;
  };
  const Case cases[] = {
      {ZQASM_TEST_ZQDIS, "fifo", 3, "zqdis: fifo: not a regular file\n"},
      {ZQASM_TEST_ZQDIS, "/dev/zero", 3, "zqdis: /dev/zero: not a regular file\n"},
      {ZQASM_TEST_ZQDIS, "folder", 3, "zqdis: folder: not a regular file\n"},
      {ZQASM_TEST_ZQDIS, "image", 1, "zqdis: image: larger than 8 MiB, too large to be an image\n"},
      {ZQASM_TEST_ZQCOE, "dump /dev/zero", 1, "zqcoe: /dev/zero: not a regular file\n"},
      {ZQASM_TEST_ZQCOE, "compile /dev/zero x.COE", 1, "zqcoe: /dev/zero: not a regular file\n"},
      {ZQASM_TEST_ZQCOE, "dump fifo", 1, "zqcoe: fifo: not a regular file\n"},
      {ZQASM_TEST_ZQCOE, "compile huge x.COE", 1, "zqcoe: huge: larger than 16 MiB\n"},
      {ZQASM_TEST_ZQCOE, "dump missing", 1,
       "zqcoe: cannot read missing: No such file or directory\n"},
      {ZQASM_TEST_CLI, chips_ + "fifo", 3, "zqasm: fifo: not a regular file\n"},
      {ZQASM_TEST_CLI, chips_ + "/dev/zero", 3, "zqasm: /dev/zero: not a regular file\n"},
      {ZQASM_TEST_CLI, chips_ + "huge", 3, "zqasm: huge: larger than 16 MiB\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.arguments, c.status, c.program), c.output);
  EXPECT_FALSE(zqtest::fileExists(dir_.file("x.COE")));
  // The sizes are stated where the tools are described.
  EXPECT_NE(run("--help", 0).find("at most 8 MiB"), std::string::npos);
  EXPECT_NE(run("--help", 0, ZQASM_TEST_ZQCOE).find("at most 16 MiB"), std::string::npos);
  EXPECT_NE(run("--help", 0, ZQASM_TEST_CLI).find("at most 16 MiB"), std::string::npos);
}

// The source of a small program: labels where jumps and calls land, an ORG after the gap.
TEST_F(ZqdisCliTest, SourceOfAnObjectFile) {
  writeFile(dir_.file("p.asm"),
            ".CHIP ZQ4460\n ORG 0\nstart: JMP main\n ORG 10h\nmain: MOV 45h, 3\nloop: INC @HL\n"
            " JNZ loop\n CALL sub\n JMP start\nsub: RET\n");
  run(chips_ + "-q p.asm", 0, ZQASM_TEST_CLI);
  EXPECT_EQ(run(chips_ + "p.OBJ", 0),
            "; p.OBJ read back by zqdis: chip ZQ4460, program ROM top 0FFFh.\n"
            "; Assemble with: zqasm --rom-top 0FFFh FILE\n"
            "        .CHIP   ZQ4460\n"
            "L0000:  JMP     L0010           ; 0000 D010\n"
            "        ORG     0010h\n"
            "L0010:  MOV     45h, 03h        ; 0010 2053\n"
            "L0011:  INC     @HL             ; 0011 0010\n"
            "        JNZ     L0011           ; 0012 A011\n"
            "        CALL    L0015           ; 0013 C015\n"
            "        JMP     L0000           ; 0014 D000\n"
            "L0015:  RET                     ; 0015 0003\n");
}

// An Intel HEX listing: the words it holds, a written NOP kept, a word no instruction
// gives marked and counted on standard error.
TEST_F(ZqdisCliTest, IntelHexListing) {
  writeHex("w.HEX", {0xD002, 0x0005, 0x0000, 0xFFFFFFFF, 0xA002});
  EXPECT_EQ(run(chips_ + "--listing --chip ZQ4460 w.HEX", 0),
            "; w.HEX read back by zqdis: chip ZQ4460, program ROM top 0FFFh.\n" + kHexTop +
                "; 1 word(s) cannot be written as source: marked \"cannot be written\" or\n"
                "; \"not built again\" below; the image assembled from this text differs there.\n"
                "ADDR WORD  STATEMENT\n"
                "0000 D002          JMP     L0002\n"
                "\n"
                "0001 0005          ; cannot be written: no instruction of ZQ4460 gives this word\n"
                "0002 0000  L0002:  NOP\n"
                "....\n"
                "0004 A002          JNZ     L0002\n"
                "zqdis: w.HEX: 1 word(s) cannot be written as source (marked in the output)\n");
}

// The label file's names for labels (and, when asked, for values), the table ROM written
// back as a TABLE region, and the source still assembles to the same images.
TEST_F(ZqdisCliTest, NamesAndTableBack) {
  writeFile(dir_.file("p.asm"),
            ".CHIP ZQ4460\n .TABLE\n DN 1, 41h\n DN 3, 0\n DN 4, 0FFh\n .ENDT\n ORG 0\n"
            "start: JMP main\n ORG 10h\nmain: LDA 0\nloop: INC 0Fh\n JNZ loop\n"
            " INC 0\n JMP start\n");
  run(chips_ + "-q --table-top 0Fh --hex p.asm", 0, ZQASM_TEST_CLI);
  const std::string source = run(chips_ + "--symbols p.LBL --table p.TAB p.OBJ", 0);
  EXPECT_EQ(source,
            "; p.OBJ read back by zqdis: chip ZQ4460, program ROM top 0FFFh.\n"
            "; Assemble with: zqasm --rom-top 0FFFh --table-top 0Fh FILE\n"
            "        .CHIP   ZQ4460\n"
            "        .TABLE\n"
            "        DN      0001h, 41h\n"
            "        DN      0004h, 0FFh\n"
            "        .ENDT\n"
            "start:  JMP     main            ; 0000 D010\n"
            "        ORG     0010h\n"
            "main:   LDA     00h             ; 0010 1000\n"
            "loop:   INC     0Fh             ; 0011 002F\n"
            "        JNZ     loop            ; 0012 A011\n"
            "        INC     00h             ; 0013 0020\n"
            "        JMP     start           ; 0014 D000\n");
  // Values equal to a named address (00h is start, 10h main) by name, as constants.
  const std::string operands =
      run(chips_ + "--symbols p.LBL --symbols-for-operands --table p.TAB.HEX p.OBJ", 0);
  EXPECT_NE(operands.find("; Assemble with: zqasm --rom-top 0FFFh --table-top 0FFh FILE\n"
                          "        .CHIP   ZQ4460\n"
                          "        .TABLE\n"
                          "        DN      0001h, 41h\n"
                          "        DN      0003h, 00h\n"
                          "        DN      0004h, 0FFh\n"
                          "        .ENDT\n"
                          "start   EQU     0000h\n"
                          "start:  JMP     main            ; 0000 D010\n"),
            std::string::npos)
      << operands;
  EXPECT_NE(operands.find("main:   LDA     start           ; 0010 1000\n"), std::string::npos);
  EXPECT_NE(operands.find("        INC     start           ; 0013 0020\n"), std::string::npos);
  EXPECT_NE(operands.find("loop:   INC     0Fh"), std::string::npos);
  // Both sources give the same program and table again.
  writeFile(dir_.file("q.asm"), source);
  run(chips_ + "-q --table-top 0Fh q.asm", 0, ZQASM_TEST_CLI);
  EXPECT_EQ(read("q.OBJ"), read("p.OBJ"));
  EXPECT_EQ(read("q.TAB"), read("p.TAB"));
  writeFile(dir_.file("r.asm"), operands);
  run(chips_ + "-q --hex --table-top 0FFh r.asm", 0, ZQASM_TEST_CLI);
  EXPECT_EQ(read("r.OBJ"), read("p.OBJ"));
  EXPECT_EQ(read("r.TAB.HEX"), read("p.TAB.HEX"));
  // A table image given as the program is refused for what it is.
  EXPECT_EQ(run(chips_ + "p.TAB", 1),
            "zqdis: p.TAB: a table ROM image (.TAB), not a program image: give it with --table\n");
}

// The reader's options: the ROM top of an Intel HEX image, fill words as gaps, a range of
// addresses, standard input, a warning for a record that gives bytes again.
TEST_F(ZqdisCliTest, ReaderOptions) {
  // 0000 JMP 0002, 0001-0005 fill (0000h), 0006 JNZ 0000h, 0007 RET, 0008 NOP.
  writeHex("f.HEX", {0xD002, 0, 0, 0, 0, 0, 0xA000, 0x0003, 0x0000});
  EXPECT_EQ(run(chips_ + "--chip ZQ4460 --rom-top 07FFh --gaps --listing f.HEX", 0),
            "; f.HEX read back by zqdis: chip ZQ4460, program ROM top 07FFh.\n"
            "ADDR WORD  STATEMENT\n"
            "0000 D002  L0000:  JMP     0002h\n"
            "\n"
            "....\n"
            "0006 A000          JNZ     L0000\n"
            "0007 0003          RET\n"
            "\n"
            "0008 0000          NOP\n");
  EXPECT_EQ(run(chips_ + "--chip ZQ4460 --rom-top 0007h f.HEX", 1),
            "zqdis: f.HEX: words up to 0008h, beyond --rom-top 0007h\n");
  // From standard input, only 0006h-0007h.
  EXPECT_EQ(run(chips_ + "--chip ZQ4460 --start 6 --stop 0x7 - <f.HEX", 0),
            "; standard input read back by zqdis: chip ZQ4460, program ROM top 0FFFh.\n" + kHexTop +
                "; Assemble with: zqasm --rom-top 0FFFh --hex FILE\n"
                "        .CHIP   ZQ4460\n"
                "        ORG     0006h\n"
                "        JNZ     0000h           ; 0006 A000\n"
                "        RET                     ; 0007 0003\n");
  writeFile(dir_.file("o.HEX"), ":0400000003000300F6\n:0200020010D01C\n:00000001FF\n");
  EXPECT_EQ(run(chips_ + "--chip ZQ4460 --listing o.HEX", 0),
            "; o.HEX read back by zqdis: chip ZQ4460, program ROM top 0FFFh.\n" + kHexTop +
                "ADDR WORD  STATEMENT\n"
                "0000 0003          RET\n"
                "\n"
                "0001 D010          JMP     0010h\n"
                "\n"
                "zqdis: warning: o.HEX: line 2: gives again bytes 0002h-0003h given before\n");
}

}  // namespace
