#include "common/rom_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/svg_titles.h"

namespace {

using zqcli::MapRegion;
using zqcli::RomMapFacts;
using zqcli::WordKind;

size_t countOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The titles of the rectangles of class `cls`, in the order drawn.
std::vector<std::string> titles(const std::string& svg, const std::string& cls) {
  return zqtest::svgTitles(svg, cls, false);
}

MapRegion region(WordKind kind, uint32_t first, uint32_t count, unsigned line,
                 unsigned lastLine = 0) {
  const uint32_t file = line == 0 ? zqcli::kNoFile : 0;
  return MapRegion{kind, first, count, file, line, file, lastLine ? lastLine : line};
}

// One strip: each kind apart, a later region over an earlier one, the words used, the
// ORG blocks with their labels.
TEST(RomMapTest, OneBankTellsTheKindsApart) {
  RomMapFacts facts;
  facts.source = "a.asm";
  facts.files = {"a.asm"};
  facts.program = {region(WordKind::kCode, 0, 10, 3, 12), region(WordKind::kReserved, 10, 32, 13),
                   region(WordKind::kCode, 42, 1, 14), region(WordKind::kCode, 0x300, 2, 16, 17),
                   region(WordKind::kCode, 20, 1, 20)};
  facts.blocks = {{0, "start", 0, 2}, {0x300, "late", 0, 15}, {0x400, "", 0, 18}};
  const std::string svg = zqcli::drawRomMap(facts);
  EXPECT_EQ(countOf(svg, "<g class=\"bank\">"), 1u);
  EXPECT_NE(svg.find(">Program ROM  0000h-0FFFh  used 45 of 4096 words (1.1%)<"),
            std::string::npos);
  EXPECT_EQ(titles(svg, "code"),
            (std::vector<std::string>{
                "0000h-0009h code, 10 words: a.asm:3-12", "0014h code, 1 word: a.asm:20",
                "002Ah code, 1 word: a.asm:14", "0300h-0301h code, 2 words: a.asm:16-17"}));
  EXPECT_EQ(titles(svg, "reserved"),
            (std::vector<std::string>{"000Ah-0013h reserved by .DS, 10 words: a.asm:13",
                                      "0015h-0029h reserved by .DS, 21 words: a.asm:13"}));
  EXPECT_EQ(titles(svg, "free"),
            (std::vector<std::string>{"002Bh-02FFh free, 725 words", "0302h-0FFFh free, 3326 words",
                                      "000h-00Fh free, 16 nibbles"}));
  EXPECT_EQ(countOf(svg, "<rect class=\"area\""), 0u);
  EXPECT_NE(svg.find("<title>ORG 0000h start: a.asm:2</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>ORG 0300h late: a.asm:15</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>ORG 0400h: a.asm:18</title>"), std::string::npos);
  EXPECT_NE(svg.find(">late</text>"), std::string::npos);
}

// Three banks: the area at the same offsets of each, trampolines marked within it, the
// NOP at a bank end, each bank's use. Runs too narrow for a pixel are drawn last.
TEST(RomMapTest, ThreeBanksWithTheirAreasAndTrampolines) {
  RomMapFacts facts;
  facts.romTop = 0x2FFF;
  facts.areaStart = 0x100;
  facts.areaSize = 0x100;
  facts.files = {"b.asm"};
  facts.program = {region(WordKind::kCode, 0, 3, 2, 4), region(WordKind::kTrampoline, 0x102, 2, 0),
                   region(WordKind::kBankEndNop, 0xFFF, 1, 9),
                   region(WordKind::kCode, 0x1000, 1, 9),
                   region(WordKind::kTrampoline, 0x1101, 4, 0)};
  const std::string svg = zqcli::drawRomMap(facts);
  EXPECT_EQ(countOf(svg, "<g class=\"bank\">"), 3u);
  EXPECT_NE(svg.find(">Bank 0  0000h-0FFFh  used 6 of 4096 words (0.1%), bank convert area "
                     "0100h-01FFh<"),
            std::string::npos);
  EXPECT_NE(svg.find(">Bank 1  1000h-1FFFh  used 5 of 4096 words (0.1%), bank convert area "
                     "1100h-11FFh<"),
            std::string::npos);
  EXPECT_NE(svg.find(">Bank 2  2000h-2FFFh  used 0 of 4096 words (0.0%)"), std::string::npos);
  EXPECT_EQ(
      titles(svg, "area"),
      (std::vector<std::string>{
          "0104h-01FFh bank convert area, 252 words", "0100h-0101h bank convert area, 2 words",
          "1105h-11FFh bank convert area, 251 words", "1100h bank convert area, 1 word",
          "2100h-21FFh bank convert area, 256 words"}));
  EXPECT_EQ(titles(svg, "trampoline"),
            (std::vector<std::string>{"0102h-0103h trampolines, 2 words",
                                      "1101h-1104h trampolines, 4 words"}));
  EXPECT_EQ(titles(svg, "nop"),
            std::vector<std::string>{"0FFFh NOP moved to the bank end, 1 word: b.asm:9"});
  EXPECT_EQ(titles(svg, "free").size(), 6u + 1u);  // two per bank, and the RAM
}

// The RAM below: each name by address and size (its text where it fits), what is free up
// to the first power of two that holds them; the table ROM strip.
TEST(RomMapTest, RamNamesAndTableCells) {
  RomMapFacts facts;
  facts.tableTop = 0xFF;
  facts.files = {"r.asm"};
  facts.ram = {{"FLAGS", 0x10, 1, 0, 4}, {"BUF", 0x11, 8, 0, 5}, {"BIG", 0x20, 0x30, 0, 6}};
  facts.table = {region(WordKind::kData, 0x20, 6, 10)};
  const std::string svg = zqcli::drawRomMap(facts);
  EXPECT_NE(svg.find(">RAM  000h-07Fh  3 names, 57 nibbles, 71 free<"), std::string::npos);
  EXPECT_EQ(titles(svg, "ram"), (std::vector<std::string>{"FLAGS 010h, 1 nibble: r.asm:4",
                                                          "BUF 011h-018h, 8 nibbles: r.asm:5",
                                                          "BIG 020h-04Fh, 48 nibbles: r.asm:6"}));
  const std::vector<std::string> free = titles(svg, "free");
  ASSERT_EQ(free.size(), 6u);  // the program ROM, two in the table ROM, three in RAM
  EXPECT_EQ(free[1], "000h-01Fh free, 32 cells");
  EXPECT_EQ(free[3], "000h-00Fh free, 16 nibbles");
  EXPECT_EQ(free[4], "019h-01Fh free, 7 nibbles");
  EXPECT_EQ(free[5], "050h-07Fh free, 48 nibbles");
  // Only a name wide enough carries its text; every one is listed.
  EXPECT_NE(svg.find("fill=\"#ffffff\">BIG</text>"), std::string::npos);
  EXPECT_EQ(svg.find("fill=\"#ffffff\">FLAGS</text>"), std::string::npos);
  EXPECT_NE(svg.find(">FLAGS  010h  1</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Table ROM  000h-0FFh  used 6 of 256 cells (2.3%)<"), std::string::npos);
  EXPECT_EQ(titles(svg, "data"), std::vector<std::string>{"020h-025h data, 6 cells: r.asm:10"});
}

// Names are 8-bit text from the source: markup characters are escaped, Latin-1 bytes
// become UTF-8 and control characters, which XML forbids, "?". A size no RAM has is cut.
TEST(RomMapTest, TextsAreEscapedAndSizesBounded) {
  RomMapFacts facts;
  facts.source = "a&b<c>\".asm";
  facts.files = {"x\x01y.asm"};
  facts.ram = {{"CAF\xC9", 0, 2, 0, 1}, {"HUGE", 0x800, INT64_MAX, zqcli::kNoFile, 0}};
  const std::string svg = zqcli::drawRomMap(facts);
  EXPECT_NE(svg.find("<title>ROM map of a&amp;b&lt;c&gt;&quot;.asm</title>"), std::string::npos);
  EXPECT_NE(svg.find("CAF\xC3\x89 000h-001h, 2 nibbles: x?y.asm:1"), std::string::npos);
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
  EXPECT_NE(svg.find(">RAM  000h-FFFh  2 names, 4098 nibbles, 2046 free<"), std::string::npos);
}

// A full 64K-word ROM stays far under 1 MB, as one rectangle per run of like words; and
// one whose words change kind at every address is drawn in mixed rectangles instead of
// one per word.
TEST(RomMapTest, FullRomStaysSmall) {
  RomMapFacts full;
  full.romTop = 0xFFFF;
  full.areaStart = 0x100;
  full.areaSize = 0x100;
  full.files = {"big.asm"};
  unsigned line = 1;
  for (uint32_t a = 0; a < 0x10000; ++a, ++line)
    if ((a & 0xF00) != 0x100) full.program.push_back(region(WordKind::kCode, a, 1, line));
  const std::string svg = zqcli::drawRomMap(full);
  EXPECT_EQ(countOf(svg, "<g class=\"bank\">"), 16u);
  EXPECT_EQ(countOf(svg, "<rect class=\"code\""), 32u);
  EXPECT_EQ(titles(svg, "code")[3], "1200h-1FFFh code, 3584 words: big.asm:4609-8192");
  EXPECT_LT(svg.size(), 100000u);

  RomMapFacts mixed = full;
  mixed.program.clear();
  for (uint32_t a = 0; a < 0x10000; ++a)
    mixed.program.push_back(region(a % 2 ? WordKind::kCode : WordKind::kReserved, a, 1, a + 1));
  const std::string worst = zqcli::drawRomMap(mixed);
  EXPECT_GT(countOf(worst, "<rect class=\"mixed\""), 16u);
  EXPECT_LT(worst.size(), 1000000u);
}

}  // namespace
