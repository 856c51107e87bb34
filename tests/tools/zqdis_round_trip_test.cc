// The round trip over the examples and over generated programs of every bundled chip,
// banked and not: read back by zqdis, assembled again, the same image word for word. The
// end-to-end cases make the same round trip of every image they write (host/).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "round_trip.h"
#include "test_support.h"

namespace {

TEST(ZqdisRoundTrip, Examples) {
  struct Example {
    const char* source;
    int romTop, tableTop;
  };
  for (const Example& e : {Example{"demo.asm", 0xFFF, 0xFF}, Example{"banked.asm", 0x2FFF, -1}}) {
    SCOPED_TRACE(e.source);
    zqtest::TempDir dir;
    const std::string examples = ZQASM_TEST_EXAMPLES_DIR;
    auto params = zqtest::makeParams(examples + "/" + e.source, e.romTop, e.tableTop);
    std::snprintf(params->includeDir1, sizeof params->includeDir1, "%s", examples.c_str());
    // The outputs go to the temporary directory, named after the example.
    const std::string stem = dir.file(std::filesystem::path(e.source).stem().string());
    ZqasmSetOutputStem(stem.c_str());
    const zqtest::Assembly first = zqtest::assemble(*params, stem + ".OBJ");
    ZqasmSetOutputStem(nullptr);
    ASSERT_EQ(first.errors, 0) << first.messages;
    EXPECT_EQ(zqtest::roundTrip(dir.path(), first), "");
  }
}

std::vector<std::string> bundledChips() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(ZQASM_TEST_CHIP_SOURCES_DIR))
    if (entry.path().extension() == ".txt" && entry.path().stem() != "CMakeLists")
      names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ZqdisRoundTripOfChip : public ::testing::TestWithParam<std::string> {};

// Twenty plain and twenty banked programs of each bundled chip (280 in all), with fixed
// seeds; zqdis_round_trip does the same with new seeds for as long as it is given.
TEST_P(ZqdisRoundTripOfChip, GeneratedPrograms) {
  zqtest::TempDir dir;
  const std::string chip =
      zqtest::readFile(std::string(ZQASM_TEST_CHIP_SOURCES_DIR) + "/" + GetParam() + ".txt");
  ASSERT_FALSE(chip.empty());
  std::mt19937 random(0x5eed);
  for (int i = 0; i < 40; ++i) {
    const std::string failure = zqtest::roundTripGenerated(dir.path(), random, chip, i % 2 == 1);
    ASSERT_EQ(failure, "") << "program " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Chips, ZqdisRoundTripOfChip, ::testing::ValuesIn(bundledChips()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
