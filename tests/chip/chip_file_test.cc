#include "chip/chip_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "services/run.h"
#include "test_support.h"

namespace zq {
namespace {

using Bytes = std::vector<uint8_t>;

// A 20-byte record of form 0: mnemonic, kind (7), opcode (8) and mask 1 (12), the rest zero.
Bytes record(const char* mnemonic, uint8_t kind = 0, uint16_t opcode = 0, uint16_t mask1 = 0) {
  Bytes out(20, 0);
  std::memcpy(out.data(), mnemonic, std::strlen(mnemonic));
  out[7] = kind;
  out[8] = opcode & 0xFF;
  out[9] = opcode >> 8;
  out[12] = mask1 & 0xFF;
  out[13] = mask1 >> 8;
  return out;
}

// Name bytes as given, the count, `filler` zero bytes, then the records.
Bytes chipImage(const std::string& name, uint16_t count, size_t filler,
                const std::vector<Bytes>& records = {record("NOP")}) {
  Bytes out(name.begin(), name.end());
  out.push_back(count & 0xFF);
  out.push_back(count >> 8);
  out.insert(out.end(), filler, 0);
  for (const Bytes& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

// A name without a ".", padded with NULs to the 10 bytes before the count.
std::string padded(const char* name) {
  std::string out(name);
  out.resize(10, '\0');
  return out;
}

TEST(ChipFileTest, DecodeFindsNameCountAndRecords) {
  const Bytes nop = record("NOP"), halt = record("HALT", 0, 2);
  const std::string longName("ABCDEFGHIJKL\0", 13);  // no ".": the count is "KL"
  const struct {
    const char* what;
    Bytes image;
    size_t p;
    int count;
    size_t q;
    std::string name;
  } cases[] = {
      {"dot fixes p", chipImage("ABCDEF.1", 3, 2, {nop, halt, halt}), 8, 3, 12, "ABCDEF.1"},
      {"records after the count", chipImage("ABCDEF.1", 1, 0), 8, 1, 10, "ABCDEF.1"},
      {"no dot", chipImage(padded("ZQ4460"), 2, 0, {nop, halt}), 10, 2, 12, "ZQ4460"},
      {"long name, no dot", Bytes(longName.begin(), longName.end()), 10, 'K' | ('L' << 8), 23,
       "ABCDEFGHIJ"},
      {"lower-case nop", chipImage("AB.C", 1, 3, {record("nop")}), 4, 1, 9, "AB.C"},
      {"no NOP within twelve", chipImage("AB.C", 1, 12, {halt}), 4, 1, 17, "AB.C"},
      {"leading NUL", chipImage(std::string("\0AB.C\0\0\0\0\0", 10), 1, 0), 10, 1, 12, ""},
      {"empty file", Bytes(), 10, 0, 23, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ChipImage image = decodeChipFile(c.image);
    EXPECT_EQ(image.nameLength, c.p);
    EXPECT_EQ(image.count, c.count);
    EXPECT_EQ(image.recordOffset, c.q);
    EXPECT_EQ(image.name, c.name);
    EXPECT_EQ(image.records.size(), c.count > 0 ? static_cast<size_t>(c.count) : 0u);
  }

  // A short file leaves the missing records, and parts of records, zero.
  Bytes shortImage = chipImage("AB.C", 3, 0, {nop, record("JMP", 1, 0xD000, 0xFFF)});
  shortImage.resize(shortImage.size() - 10);
  const ChipImage decoded = decodeChipFile(shortImage);
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
    setText(params->chipDirectory, dir.path());
    run.params = params.get();
  }
  template <size_t N>
  static void setText(char (&field)[N], const std::string& text) {
    std::snprintf(field, N, "%s", text.c_str());
  }
  void writeChip(const std::string& name, const Bytes& image) {
    zqtest::writeFile(dir.file(name + ".COE"), std::string(image.begin(), image.end()));
  }
  void setMaskOptions(const std::string& text) {
    zqtest::writeFile(dir.file("mask.opt"), text);
    setText(params->maskOptionPath, dir.file("mask.opt"));
  }
  zqtest::TempDir dir;
  std::unique_ptr<AssemblerParams> params;
  AssemblerRun run;
};

TEST_F(ChipLoadTest, UnusableFiles) {
  EXPECT_EQ(loadChipFile(run, "MISSING"), -1);
  // A name of 32 characters or more does not fit the block's slot: refused, name kept.
  writeChip("LONG", chipImage(std::string(40, 'Z') + ".1", 1, 0));
  setText(params->chipName, "KEPT NAME");
  EXPECT_EQ(loadChipFile(run, "LONG"), -3);
  EXPECT_STREQ(params->chipName, "KEPT NAME");
  // An empty file or an unusable count loads, with no mnemonic known; the name of the
  // last replaces the whole slot.
  writeChip("EMPTY", Bytes());
  writeChip("ZERO", chipImage("AB.C", 0, 0));
  writeChip("NEG", chipImage("AB.C", 0x8000, 0));
  for (const char* name : {"EMPTY", "ZERO", "NEG"}) {
    EXPECT_EQ(loadChipFile(run, name), 1) << name;
    EXPECT_FALSE(isMnemonic(run, "NOP")) << name;
  }
  EXPECT_STREQ(params->chipName, "AB.C");
}

TEST_F(ChipLoadTest, MaskOptionsOfModel3947Only) {
  writeChip("ZQ3947", chipImage(padded("ZQ3947"), 1, 0));
  const struct {
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
  for (const auto& c : cases) {
    setMaskOptions(c.text);
    run.chip.stopForbidden = 1;
    EXPECT_EQ(loadChipFile(run, "ZQ3947"), 1) << c.text;
    EXPECT_EQ(run.chip.stopForbidden, c.stopForbidden) << c.text;
  }
  setMaskOptions("POWER SOURCE : 3\n");
  EXPECT_EQ(readMaskOptions(run), 1);
  setMaskOptions("nothing\n");
  EXPECT_EQ(readMaskOptions(run), 0);
  setText(params->maskOptionPath, dir.file("absent.opt"));
  EXPECT_EQ(loadChipFile(run, "ZQ3947"), -2);

  // Any other model never opens the file, even with no path.
  writeChip("ZQ4460", chipImage(padded("ZQ4460"), 1, 0));
  params->maskOptionPath[0] = '\0';
  EXPECT_EQ(loadChipFile(run, "ZQ4460"), 1);
  EXPECT_EQ(readMaskOptions(run), 0);
  EXPECT_EQ(run.chip.stopForbidden, 0);
}

// The first letter compares exactly after upper-casing the word, the rest without case.
TEST_F(ChipLoadTest, MnemonicMatching) {
  writeChip("T",
            chipImage("T.1", 3, 0, {record("NOP"), record("ldx", 0, 5), record("MOV", 2, 0x2000)}));
  ASSERT_EQ(loadChipFile(run, "T"), 1);
  for (const char* word : {"NOP", "nop", "mOv"}) EXPECT_TRUE(isMnemonic(run, word)) << word;
  for (const char* word : {"NOPX", "NO", "ldx", "LDX", ""}) {
    EXPECT_FALSE(isMnemonic(run, word)) << word;
  }
}

}  // namespace
}  // namespace zq
