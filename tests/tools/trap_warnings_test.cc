// The lists of trap warnings that -W options and zqasm.json write.
#include "common/trap_warnings.h"

#include <gtest/gtest.h>

#include <string>

#include "services/diagnostics.h"
#include "zqasm/assembler.h"

namespace {

TEST(TrapWarningsTest, NamesAndLists) {
  const struct {
    const char* text;
    bool ok;
    uint32_t bits;
    const char* unknown;
  } cases[] = {
      {"all", true, zqcli::kAllTrapWarnings, ""},
      {" none ", true, 0, ""},
      {"mixed-operators, undefined-in-condition", true, 0x11, ""},
      {"truncation,", false, 0, ""},  // an empty name is none
      {"all,truncation", false, 0, "all"},
      {"truncation,nosuch", false, 0, "nosuch"},
  };
  for (const auto& c : cases) {
    uint32_t bits = 0x40;
    std::string unknown;
    EXPECT_EQ(zqcli::parseTrapWarnings(c.text, bits, unknown), c.ok) << c.text;
    EXPECT_EQ(bits, c.ok ? c.bits : 0x40) << c.text;
    EXPECT_EQ(unknown, c.unknown) << c.text;
  }
  // What the list gives is what the library takes, every set of names.
  for (uint32_t bits = 0; bits <= zqcli::kAllTrapWarnings; ++bits) {
    ASSERT_EQ(ZqasmSetWarnings(zqcli::trapWarningList(bits).c_str()), 0) << bits;
    for (size_t k = 0; k < zqcli::kTrapWarningCount; ++k)
      EXPECT_EQ(zq::trapWarningOn(zq::kFirstTrapWarning + static_cast<int>(k)),
                (bits >> k & 1) != 0);
  }
  ZqasmSetWarnings("");
}

}  // namespace
