// Images read through the disassembler's C interface: what each word is taken for, on
// plain and banked chips, from whole images and from images that say which words they hold.
#include "zqasm/disassembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "tools/round_trip.h"

namespace {

class DisassemblerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int status = -1;
    chip_ = ZqasmDisassemblerCreate(zqtest::chipDir().c_str(), "zq4460", &status);
    ASSERT_NE(chip_, nullptr);
    EXPECT_EQ(status, ZQASM_DIS_OK);
  }
  void TearDown() override { ZqasmDisassemblerDestroy(chip_); }
  ZqasmWordReading at(uint32_t address) {
    ZqasmWordReading reading;
    EXPECT_EQ(ZqasmDisassemblerWord(chip_, address, &reading), 0) << address;
    return reading;
  }
  // Roles of the first words, one letter each: E empty, I instruction, A area, U unwritable.
  std::string roles(size_t count) {
    std::string text;
    for (uint32_t a = 0; a < count; ++a) text += "EIAU"[at(a).role];
    return text;
  }
  ZqasmDisassembler* chip_ = nullptr;
};

// A whole image takes four fill words in a row, or a fill word no statement gives, as a
// gap; an image that flags its words takes exactly those. More than 10000h are refused.
TEST_F(DisassemblerTest, GapsOfWholeAndFlaggedImages) {
  EXPECT_STREQ(ZqasmDisassemblerNameText(chip_), "ZQ4460");
  const std::vector<uint16_t> tooMany(0x10001, 0);
  EXPECT_EQ(ZqasmDisassemblerRead(chip_, tooMany.data(), nullptr, tooMany.size(), 0xFFFF), -1);
  const std::vector<uint16_t> words = {0xD002, 0x0005, 0x0000, 0x0000, 0x1050,
                                       0x0000, 0x0000, 0x0000, 0x0000, 0x0003};
  ASSERT_EQ(ZqasmDisassemblerRead(chip_, words.data(), nullptr, words.size(), 0xFFF), 0);
  EXPECT_EQ(roles(words.size()), "IUIIIEEEEI");
  EXPECT_EQ(at(1).reason, ZQASM_REASON_NO_RECORD);
  EXPECT_STREQ(at(0).text, "JMP 0002h");
  const std::vector<uint8_t> written = {1, 0, 1, 0, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(ZqasmDisassemblerRead(chip_, words.data(), written.data(), words.size(), 0xFFF), 0);
  EXPECT_EQ(roles(words.size()), "IEIEIIIIII");
  ZqasmImageFacts facts;
  ZqasmDisassemblerFacts(chip_, &facts);
  EXPECT_EQ(facts.unreproduced, 0u);
  EXPECT_FALSE(facts.banked);
}

// A CALL written with a number that points into its own bank's area, at an SF2, looks
// routed; only taken as written do the areas come out as the image has them.
TEST_F(DisassemblerTest, BankedImageTrampolines) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("b.asm"),
                    ".CHIP ZQ4460\n.BANKCONVERTAREA 0100h 013Fh\n ORG 10h\n CALL 0103h\n"
                    " ORG 20h\n CALL 1005h\n ORG 50h\n JMP 1001h\n ORG 1001h\n NOP\n"
                    " ORG 1005h\n NOP\n");
  auto params = zqtest::makeParams(dir.file("b.asm"), 0x2FFF);
  const zqtest::Assembly first = zqtest::assemble(*params, dir.file("b.OBJ"));
  ASSERT_EQ(first.errors, 0) << first.messages;
  EXPECT_EQ(zqtest::roundTrip(dir.path(), first), "");
  std::vector<uint16_t> words(first.program.size() / 2);
  for (size_t w = 0; w < words.size(); ++w)
    words[w] = static_cast<uint16_t>(first.program[2 * w] | first.program[2 * w + 1] << 8);
  words[0x1FFF] = 0xD000;  // only 0000h stands at the end of bank 1
  words[0x0FFE] = 0xEF00;  // CPHL may not stand at 0FFEh
  ASSERT_EQ(ZqasmDisassemblerRead(chip_, words.data(), nullptr, words.size(), 0x2FFF), 0);
  ZqasmImageFacts facts;
  ZqasmDisassemblerFacts(chip_, &facts);
  EXPECT_TRUE(facts.banked && facts.areaFound && facts.areaRebuilt);
  EXPECT_EQ(facts.areaEnd, 0x13F);
  EXPECT_EQ(facts.unreproduced, 2u);
  EXPECT_EQ(at(0x1FFF).reason, ZQASM_REASON_BANK_END);
  EXPECT_EQ(at(0x0FFE).reason, ZQASM_REASON_CPHL_PLACE);
  struct Call {
    uint32_t address, target;
    int32_t via;
  };
  for (const Call& c :
       {Call{0x10, 0x0103, -1}, Call{0x20, 0x1005, 0x102}, Call{0x50, 0x1001, 0x103}}) {
    EXPECT_EQ(at(c.address).target, c.target) << c.address;
    EXPECT_EQ(at(c.address).via, c.via) << c.address;
  }
  EXPECT_EQ(at(0x100).area, ZQASM_AREA_JUMP_OVER);
  EXPECT_EQ(at(0x102).area, ZQASM_AREA_SELECT);
  EXPECT_EQ(at(0x102).farTarget, 0x1005);
  EXPECT_EQ(at(0x1104).area, ZQASM_AREA_JUMP_ON);
  EXPECT_EQ(at(0x1104).farTarget, 0x1001);
  EXPECT_EQ(at(0x2110).area, ZQASM_AREA_UNUSED);
}

// The CALL at 20h, written with a number, lands on the trampoline that the CALL at 1020h
// places later. Taking the far JMP at 10h as written would lower the count of differing
// words on the way, yet only the order of the trampolines gives the image back.
TEST_F(DisassemblerTest, CallIntoAreaBeforeTheCallerOfItsTrampoline) {
  zqtest::TempDir dir;
  zqtest::writeFile(dir.file("b.asm"),
                    ".CHIP ZQ4460\n.BANKCONVERTAREA 0100h 013Fh\n ORG 10h\n JMP 2008h\n"
                    " ORG 20h\n CALL 0106h\n JMP 2768h\n ORG 1010h\n CALL 2761h\n"
                    " ORG 1020h\n CALL 252Bh\n");
  auto params = zqtest::makeParams(dir.file("b.asm"), 0x2FFF);
  const zqtest::Assembly first = zqtest::assemble(*params, dir.file("b.OBJ"));
  ASSERT_EQ(first.errors, 0) << first.messages;
  EXPECT_EQ(zqtest::roundTrip(dir.path(), first), "");
}

}  // namespace
