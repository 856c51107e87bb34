#include "common/chip_text.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace zq {
namespace {

ChipDescription parse(const std::string& text) {
  ChipDescription chip;
  ChipTextError error;
  EXPECT_TRUE(parseChipText(text, chip, error)) << error.line << ": " << error.message;
  return chip;
}

std::vector<uint8_t> compile(const std::string& text) { return encodeChipImage(parse(text)); }

TEST(ChipTextTest, CanonicalTextSurvivesCompileAndDump) {
  const std::string header =
      "# mnemonic form kind opcode mask1 mask2   (form, opcode, masks in hex; kind decimal)\n";
  // The bundled chips go the same way in the zqcoe test; this one has a filler.
  const std::string text = "chip ABCDEF.1\nfiller 3\n" + header +
                           "NOP   00  0 0000 0000 0000\nST    20  3 3400 000F 03F0\n";
  ChipDescription decoded;
  ChipTextError error;
  EXPECT_TRUE(decodeChipImage(compile(text), decoded, error)) << error.message;
  EXPECT_EQ(formatChipText(decoded), text);
  // Lower case, CRLF and trailing comments are read too.
  ChipDescription chip = parse("chip ZQ1\r\nNOP 0 0 0 0 0 # first\r\nJMP 00 1 D000 fff 0\r\n");
  ASSERT_EQ(chip.records.size(), 2u);
  EXPECT_EQ(chip.records[1].opcode, 0xD000);
  EXPECT_EQ(chip.records[1].mask1, 0x0FFF);
}

// The bundled chips show the plain layout through every end-to-end case. With a "." the
// name ends one character after it: p = d + 2 = 8; the filler follows the count.
TEST(ChipTextTest, DottedNameAndFillerLayout) {
  std::vector<uint8_t> dotted = compile("chip ABCDEF.1\nfiller 2\nNOP 00 0 0 0 0\n");
  ASSERT_EQ(dotted.size(), 8u + 2 + 2 + 20);
  EXPECT_EQ(std::string(dotted.begin(), dotted.begin() + 8), "ABCDEF.1");
  EXPECT_EQ(dotted[8], 1);
  EXPECT_EQ(dotted[9], 0);
  EXPECT_EQ(std::string(dotted.begin() + 12, dotted.begin() + 15), "NOP");
}

TEST(ChipTextTest, MalformedTextNamesTheLine) {
  const std::string nop = "NOP 00 0 0000 0000 0000\n";
  // Text, line named, part of the message.
  const std::tuple<std::string, int, const char*> cases[] = {
      {"", 1, "no \"chip NAME\" statement"},
      {"# only a comment\n" + nop, 2, "the first statement must be \"chip NAME\""},
      {"chip ZQ4460\n", 1, "no records"},
      {"chip ZQ4460\nSTOP 00 0 0001 0000 0000\n", 2, "the first record must be NOP"},
      {"chip ZQ4460\n\n# x\nNOP 00 0 0000 0000\n", 4, "expected MNEMONIC FORM KIND"},
      {"chip ZQ4460\n" + nop + "INC G0 0 0010 0 0\n", 3, "form \"G0\""},
      {"chip ZQ4460\n" + nop + "INC 0F 4 0010 0 0\n", 3, "kind 4 is not an operand kind"},
      {"chip ZQ4460\n" + nop + "INC 0F 0 10000 0 0\n", 3, "opcode \"10000\""},
      {"chip ZQ4460\n" + nop + "INCRE 0F 0 0 0 0\nINCREM 0F 0 0 0 0\n", 4, "longer than 5"},
      {"chip ZQ4460\n" + nop + "inc 0F 0 0 0 0\n", 3, "upper-case letter"},
      {"chip ZQ44601234\n" + nop, 1, "longer than 9 characters"},
      {"chip AB.12\n" + nop, 1, "must end one character after"},
      {"chip " + std::string(30, 'A') + ".1\n" + nop, 1, "longer than 31"},
      {"chip ZQ1\nfiller 11\n" + nop, 2, "expected \"filler N\""},
      {"chip ZQ1\n" + nop + "filler 1\n", 3, "before the records"},
      {"chip ZQ1\n" + nop + "chip ZQ2\n", 3, "a second \"chip\""},
  };
  for (const auto& [text, line, message] : cases) {
    ChipDescription chip;
    ChipTextError error;
    EXPECT_FALSE(parseChipText(text, chip, error)) << text;
    EXPECT_EQ(error.line, line) << text;
    EXPECT_NE(error.message.find(message), std::string::npos) << text << error.message;
  }
}

// Images the text cannot show: a lower-case "nop" where the loader reads the first
// record, no NOP within twelve bytes after the name, no bytes at all.
TEST(ChipTextTest, DumpRefusesWhatTextCannotSay) {
  std::vector<uint8_t> lower = compile("chip ZQ1\nfiller 2\nNOP 00 0 0 0 0\n");
  lower[14] = 'n';
  std::vector<uint8_t> shifted = compile("chip ZQ1\nfiller 10\nNOP 00 0 0 0 0\n");
  shifted.insert(shifted.begin() + 12, 0);
  ChipDescription chip;
  ChipTextError error;
  EXPECT_FALSE(decodeChipImage(lower, chip, error));
  EXPECT_FALSE(decodeChipImage(shifted, chip, error));
  EXPECT_NE(error.message.find("no \"NOP\""), std::string::npos);
  EXPECT_FALSE(decodeChipImage({}, chip, error));
}

// zqcoe dumps the build's ZQ4460.COE back to its source text, and names the file and
// line of a malformed description (exit 1, no output file).
TEST(ZqcoeToolTest, DumpsTheBundledChipAndNamesABadLine) {
  auto run = [](const std::string& arguments, int status) {
    std::string output;
    FILE* pipe = popen((ZQASM_TEST_ZQCOE " " + arguments + " 2>&1").c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;) output.push_back(char(c));
    EXPECT_EQ(pipe != nullptr ? WEXITSTATUS(pclose(pipe)) : -1, status) << arguments;
    return output;
  };
  std::string bundled = zqtest::readFile(zqtest::casesDir() + "/../../chips/ZQ4460.txt");
  ASSERT_FALSE(bundled.empty());
  EXPECT_EQ(run("dump " + zqtest::chipDir() + "/ZQ4460.COE", 0), bundled);
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("bad.txt"), "chip ZQ1\nNOP 00 0 0 0 0\nJMP 00 1 D000\n");
  EXPECT_EQ(
      run("compile " + dir.file("bad.txt") + " " + dir.file("bad.COE"), 1),
      dir.file("bad.txt") + ":3: expected MNEMONIC FORM KIND OPCODE MASK1 MASK2, found 4 fields\n");
  EXPECT_FALSE(zqtest::fileExists(dir.file("bad.COE")));
}

}  // namespace
}  // namespace zq
