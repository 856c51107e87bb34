#include "chip/decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/chip_text.h"
#include "services/run.h"
#include "test_support.h"

namespace zq {
namespace {

using Result = DecodeResult;

// A word at an address and what it reads back as (for kNoText the nearest statement).
struct Case {
  uint16_t word;
  uint32_t address;
  Result result;
  const char* text;
};

// Reads words with the instruction set of a chip file: the bundled ZQ4460 unless a test
// loads another.
class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { load(zqtest::chipDir(), "ZQ4460"); }
  void load(const std::string& directory, const char* model) {
    params = zqtest::makeParams("main.asm");
    std::snprintf(params->chipDirectory, sizeof params->chipDirectory, "%s", directory.c_str());
    run = std::make_unique<AssemblerRun>();
    run->params = params.get();
    ASSERT_EQ(loadChipFile(*run, model), 1) << model;
  }
  void check(const std::vector<Case>& cases, int32_t romTop = 0xFFF) {
    run->source.programRomTop = romTop;
    run->source.bankedRom = romTop > 4096;
    for (const Case& c : cases) {
      DecodedInstruction out;
      EXPECT_EQ(decodeWord(*run, c.word, c.address, out), c.result) << std::hex << c.word;
      if (c.result != Result::kNoRecord) {
        EXPECT_EQ(out.text(), c.text) << std::hex << c.word;
      }
    }
  }
  std::unique_ptr<AssemblerParams> params;
  std::unique_ptr<AssemblerRun> run;
};

TEST_F(DecoderTest, EveryFormReadsBack) {
  const Result ok = Result::kReassembles, none = Result::kNoText;
  check({
      {0x0000, 0, ok, "NOP"},
      {0xEF00, 0, ok, "CPHL"},
      {0x0010, 0, ok, "INC @HL"},  // the "@HL" record, not INC with a value
      {0x0027, 0, ok, "INC 07h"},
      {0x1050, 0, ok, "LDA 05h"},  // kind 5: the field shifted down
      {0x2450, 0, ok, "MOV 45h, @HL"},
      {0x2053, 0, ok, "MOV 45h, 03h"},  // RAM operand: 40h on the field
      {0x3005, 0, ok, "ST @HL, 05h"},
      {0x3455, 0, ok, "ST 05h, 45h"},
      {0x4512, 0, ok, "MOVR 75h, 12h"},    // working register: 70h on the field
      {0x4545, 0, none, "MOVR 75h, 45h"},  // operand 2 may not be 40h-6Fh
      {0x5123, 0, ok, "MOVW 12h, 73h"},
      {0x5453, 0, none, "MOVW 45h, 73h"},
      {0x6305, 0, ok, "SETB 305h"},  // kind 11: the bits in place
      {0x7012, 0, ok, "ADC 01h, 02h"},
      {0xC123, 0, ok, "CALL 0123h"},
      {0xA013, 0x0005, ok, "JNZ 0013h"},
      {0xA013, 0x0850, ok, "JNZ 0813h"},  // an offset in the upper half page
      {0xFE50, 0, ok, "SF2 50h"},
      {0x0005, 0, Result::kNoRecord, ""},
      {0x60F0, 0, Result::kNoRecord, ""},  // SETB bits outside its mask
  });
  // Banked: CALL, JMP and the conditional jumps stay in the bank of the instruction.
  check({{0xD123, 0x1050, Result::kReassembles, "JMP 1123h"},
         {0xB003, 0x2804, Result::kReassembles, "JZ 2803h"}},
        0x2FFF);
}

// Forms the bundled chips lack: a kind-5 value and a kind-1 value (no jump) reach bits
// outside a split mask, as the encoder lets them (only their size is checked); two fields
// that overlap; a field wider than 12 bits once shifted down.
TEST_F(DecoderTest, ValuesBeyondTheirMasks) {
  zq::ChipDescription chip;
  zq::ChipTextError error;
  ASSERT_TRUE(zq::parseChipText(
      "chip ZQ9001\nNOP 00 0 0000 0000 0000\nSPL 00 5 2000 0F0F 0000\n"
      "BR 00 1 8000 0FF0 0000\nBRR 10 1 9000 00F0 0000\nMSK 00 11 4000 0F0F 0000\n"
      "OVL 00 2 6000 00FF 0FF0\nWID 00 3 7000 1001 0002\n",
      chip, error));
  zqtest::TempDir dir;
  const std::vector<uint8_t> image = zq::encodeChipImage(chip);
  zqtest::writeFile(dir.file("ZQ9001.COE"), std::string(image.begin(), image.end()));
  load(dir.path(), "ZQ9001");
  const Result ok = Result::kReassembles;
  check({
      {0x239F, 0, ok, "SPL 39Fh"},         // 39Fh is no subset of 0F0Fh
      {0x2F10, 0, Result::kNoRecord, ""},  // above the limit 0F0Fh
      {0x8005, 0, ok, "BR 05h"},
      {0x8FF0, 0, ok, "BR 0FF0h"},
      {0x9005, 0, ok, "BRR 45h"},  // RAM operand: 40h on the value
      {0x4F0F, 0, ok, "MSK 0F0Fh"},
      {0x40F0, 0, Result::kNoRecord, ""},  // kind 11 keeps to its mask
      {0x6FFF, 0, ok, "OVL 0Fh, 0FFh"},    // 0Fh + 0FF0h: the smallest first value
      {0x8003, 0, ok, "WID 1001h, 01h"},   // 1001h passes the check of the wide field
      {0x7003, 0, ok, "OVL 13h, 0FFh"},    // not WID: 13h + 0FF0h carries into bit 12
  });
}

TEST_F(DecoderTest, ModelRules) {
  load(zqtest::chipDir(), "ZQ3915");
  // SBR with bit 6 sets bit 5 too on this model: ED40h has no statement.
  check({{0xED60, 0, Result::kReassembles, "SBR 60h"}, {0xED40, 0, Result::kNoText, "SBR 40h"}});
  load(zqtest::chipDir(), "ZQ4410");
  check({{0x4512, 0, Result::kReassembles, "MOVR 1Dh, 12h"}});  // registers from 18h
}

// Of the records a word fits, the one with the most fixed bits; among equals the first.
TEST_F(DecoderTest, MostSpecificRecordWins) {
  zq::ChipDescription chip;
  zq::ChipTextError error;
  ASSERT_TRUE(zq::parseChipText(
      "chip ZQ9000\nNOP 00 0 0000 0000 0000\nLDB 00 5 0100 00FF 0000\nCLR 00 0 0100 0000 0000\n"
      "LDC 00 5 0100 00FF 0000\n",
      chip, error));
  zqtest::TempDir dir;
  const std::vector<uint8_t> image = zq::encodeChipImage(chip);
  zqtest::writeFile(dir.file("ZQ9000.COE"), std::string(image.begin(), image.end()));
  load(dir.path(), "ZQ9000");
  check({{0x0100, 0, Result::kReassembles, "CLR"}, {0x0105, 0, Result::kReassembles, "LDB 05h"}});
}

}  // namespace
}  // namespace zq
