#include "target/chip_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"
#include "test_support.h"

namespace zq {
namespace {

using Bytes = std::vector<uint8_t>;

// A 20-byte record: mnemonic, form, kind, opcode, mask 1, mask 2 (reserved words zero).
Bytes record(const char* mnemonic, uint8_t form, uint8_t kind, uint16_t opcode, uint16_t mask1 = 0,
             uint16_t mask2 = 0) {
  Bytes out(20, 0);
  std::memcpy(out.data(), mnemonic, std::min<size_t>(std::strlen(mnemonic), 6));
  out[6] = form;
  out[7] = kind;
  out[8] = opcode & 0xFF;
  out[9] = opcode >> 8;
  out[12] = mask1 & 0xFF;
  out[13] = mask1 >> 8;
  out[16] = mask2 & 0xFF;
  out[17] = mask2 >> 8;
  return out;
}

// Name bytes as given, then the count, then `filler` zero bytes, then the records.
Bytes chipImage(const std::string& name, uint16_t count, size_t filler,
                const std::vector<Bytes>& records) {
  Bytes out(name.begin(), name.end());
  out.push_back(count & 0xFF);
  out.push_back(count >> 8);
  out.insert(out.end(), filler, 0);
  for (const Bytes& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

std::string asText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(ChipFileTest, DecodeFindsNameCountAndRecords) {
  const Bytes nop = record("NOP", 0, 0, 0x0000);
  const Bytes lowerNop = record("nop", 0, 0, 0x0000);
  const Bytes halt = record("HALT", 0, 0, 0x0002);
  // Without a "." the count is read at 10 even inside a longer name: here "KL".
  const std::string longName("ABCDEFGHIJKL\0", 13);
  struct Case {
    const char* what;
    Bytes image;
    size_t p;
    int count;
    size_t q;
    std::string name;
  } cases[] = {
      {"dot fixes p", chipImage("ABCDEF.1", 3, 2, {nop, halt, halt}), 8, 3, 12, "ABCDEF.1"},
      {"records right after the count", chipImage("ABCDEF.1", 1, 0, {nop}), 8, 1, 10, "ABCDEF.1"},
      {"no dot: count at 10", chipImage(std::string("ZQ4460\0\0\0\0", 10), 2, 0, {nop, halt}), 10,
       2, 12, "ZQ4460"},
      {"long name without dot", Bytes(longName.begin(), longName.end()), 10, 'K' | ('L' << 8), 23,
       "ABCDEFGHIJ"},
      {"lower-case nop", chipImage("AB.C", 1, 3, {lowerNop}), 4, 1, 9, "AB.C"},
      {"no NOP within twelve", chipImage("AB.C", 1, 12, {halt}), 4, 1, 17, "AB.C"},
      {"file begins with NUL", chipImage(std::string("\0AB.C\0\0\0\0\0", 10), 1, 0, {nop}), 10, 1,
       12, ""},
      {"count 0", chipImage("AB.C", 0, 0, {nop}), 4, 0, 6, "AB.C"},
      {"count 8000h", chipImage("AB.C", 0x8000, 0, {nop}), 4, -32768, 6, "AB.C"},
      {"empty file", Bytes(), 10, 0, 23, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChipImage image = decodeChipFile(c.image);
    EXPECT_EQ(image.nameLength, c.p);
    EXPECT_EQ(image.count, c.count);
    EXPECT_EQ(image.recordOffset, c.q);
    EXPECT_EQ(image.name, c.name);
    EXPECT_EQ(image.records.size(), c.count > 0 ? static_cast<size_t>(c.count) : 0u);
  }
}

TEST(ChipFileTest, DecodeShortFileLeavesMissingRecordsZero) {
  Bytes image = chipImage("AB.C", 3, 0, {record("NOP", 0, 0, 0), record("JMP", 0, 1, 0xD000)});
  image.resize(image.size() - 10);  // the JMP record loses its masks
  ChipImage decoded = decodeChipFile(image);
  ASSERT_EQ(decoded.records.size(), 3u);
  EXPECT_STREQ(decoded.records[1].mnemonic, "JMP");
  EXPECT_EQ(decoded.records[1].opcode, 0xD000);
  EXPECT_EQ(decoded.records[1].mask1, 0);
  EXPECT_EQ(decoded.records[2].mnemonic[0], '\0');
}

class ChipLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    params = zqtest::makeParams(dir.file("main.asm"));
    std::snprintf(params->chipDirectory, sizeof params->chipDirectory, "%s", dir.path().c_str());
    run.params = params.get();
  }
  void writeChip(const std::string& fileName, const Bytes& image) {
    zqtest::writeFile(dir.file(fileName), asText(image));
  }
  void setMaskOptions(const std::string& text) {
    zqtest::writeFile(dir.file("mask.opt"), text);
    std::snprintf(params->maskOptionPath, sizeof params->maskOptionPath, "%s",
                  dir.file("mask.opt").c_str());
  }

  zqtest::TempDir dir;
  std::unique_ptr<AssemblerParams> params;
  AssemblerRun run;
};

TEST_F(ChipLoadTest, LoadFillsTableAndChipName) {
  writeChip("ZQTEST.COE", chipImage(std::string("ZQ9999\0\0\0\0", 10), 2, 0,
                                    {record("NOP", 0, 0, 0), record("JMP", 0, 1, 0xD000, 0xFFF)}));
  std::snprintf(params->chipName, sizeof params->chipName, "%s", "OLD NAME THAT IS LONG");
  run.chip.stopForbidden = 1;
  // The name is written as in the source; the file is found without regard to case.
  ASSERT_EQ(loadChipFile(run, "zqtest"), 1);
  EXPECT_STREQ(params->chipName, "ZQ9999");
  EXPECT_EQ(std::string(params->chipName, sizeof params->chipName),
            std::string("ZQ9999") + std::string(26, '\0'));
  EXPECT_EQ(run.chip.instructionCount, 2);
  ASSERT_EQ(run.chip.opcodes.size(), 3u);
  EXPECT_EQ(run.chip.opcodes[1].mask1, 0xFFF);
  EXPECT_EQ(run.chip.opcodes[2].mnemonic[0], '\0');
  EXPECT_EQ(run.chip.stopForbidden, 0);
  EXPECT_EQ(chipModel(run), "9999");

  releaseOpcodeTable(run);
  EXPECT_TRUE(run.chip.opcodes.empty());
  EXPECT_FALSE(isMnemonic(run, "NOP"));
}

TEST_F(ChipLoadTest, UnusableFilesAreRefused) {
  EXPECT_EQ(loadChipFile(run, "MISSING"), -1);
  // A name text of 32 characters or more cannot fit the block's 32-byte slot.
  std::string longName = std::string(40, 'Z') + ".1";
  writeChip("LONG.COE", chipImage(longName, 1, 0, {record("NOP", 0, 0, 0)}));
  std::snprintf(params->chipName, sizeof params->chipName, "%s", "KEPT");
  EXPECT_EQ(loadChipFile(run, "LONG"), -1);
  EXPECT_STREQ(params->chipName, "KEPT");
  // An empty or count-0 file loads, with no mnemonic known.
  writeChip("EMPTY.COE", Bytes());
  EXPECT_EQ(loadChipFile(run, "EMPTY"), 1);
  EXPECT_FALSE(isMnemonic(run, "NOP"));
  writeChip("ZERO.COE", chipImage("AB.C", 0, 0, {record("NOP", 0, 0, 0)}));
  EXPECT_EQ(loadChipFile(run, "ZERO"), 1);
  EXPECT_FALSE(isMnemonic(run, "NOP"));
  writeChip("NEG.COE", chipImage("AB.C", 0x8000, 0, {record("NOP", 0, 0, 0)}));
  EXPECT_EQ(loadChipFile(run, "NEG"), 1);
  EXPECT_FALSE(isMnemonic(run, "NOP"));
}

TEST_F(ChipLoadTest, MaskOptionsOfModel3947) {
  const Bytes chip = chipImage(std::string("ZQ3947\0\0\0\0", 10), 1, 0, {record("NOP", 0, 0, 0)});
  writeChip("ZQ3947.COE", chip);
  struct Case {
    const char* text;
    int stopForbidden;
  } cases[] = {
      {"MODEL\n1.POWER SOURCE : 3.0V\n", 1},
      {"POWER SOURCE : 1.5V\n", 0},
      {"X:Y POWER SOURCE : 3V\n", 1},               // first digit after the first ":"
      {"x:1 power source : 4.5V\r\n", 0},           // upper-cased; the 1 comes first
      {"POWER SOURCE : C\nPOWER SOURCE : 4\n", 0},  // only the first such line counts
      {"NO SUCH LINE : 9\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    setMaskOptions(c.text);
    run.chip.stopForbidden = 1;
    EXPECT_EQ(loadChipFile(run, "ZQ3947"), 1);
    EXPECT_EQ(run.chip.stopForbidden, c.stopForbidden);
  }
  setMaskOptions("POWER SOURCE : 3\n");
  EXPECT_EQ(readMaskOptions(run), 1);
  setMaskOptions("nothing\n");
  EXPECT_EQ(readMaskOptions(run), 0);

  std::snprintf(params->maskOptionPath, sizeof params->maskOptionPath, "%s",
                dir.file("absent.opt").c_str());
  EXPECT_EQ(loadChipFile(run, "ZQ3947"), -2);
}

TEST_F(ChipLoadTest, OtherModelsNeverReadMaskOptions) {
  writeChip("ZQ4460.COE",
            chipImage(std::string("ZQ4460\0\0\0\0", 10), 1, 0, {record("NOP", 0, 0, 0)}));
  params->maskOptionPath[0] = '\0';
  EXPECT_EQ(loadChipFile(run, "ZQ4460"), 1);
  EXPECT_EQ(readMaskOptions(run), 0);
  EXPECT_EQ(run.chip.stopForbidden, 0);
}

TEST_F(ChipLoadTest, MnemonicMatching) {
  writeChip("T.COE", chipImage("T.1", 3, 0,
                               {record("NOP", 0, 0, 0), record("ldx", 0, 0, 5),
                                record("MOV", 0, 2, 0x2000)}));
  ASSERT_EQ(loadChipFile(run, "T"), 1);
  struct Case {
    const char* word;
    bool known;
  } cases[] = {{"NOP", true},
               {"nop", true},
               {"mOv", true},
               {"NOPX", false},
               {"NO", false},
               // A record stored with a lower-case first letter never matches.
               {"ldx", false},
               {"LDX", false},
               {"", false}};
  for (const Case& c : cases) EXPECT_EQ(isMnemonic(run, c.word), c.known) << c.word;
  EXPECT_EQ(findMnemonic(run, "MOV", 0), 2);
  EXPECT_EQ(findMnemonic(run, "MOV", 3), -1);
}

}  // namespace
}  // namespace zq
