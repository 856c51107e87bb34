// Inputs run through the fuzz harnesses' runners: the saved inputs that once crashed or
// hung the assembler, and the worst inputs of up to 1 MB that can be built by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz_input.h"
#include "test_support.h"

namespace {

int runSource(const std::string& input) {
  return zqfuzz::runSourceInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// Every file of tests/fuzz-regressions/source and .../chip goes to its harness.
TEST(FuzzInputs, SavedInputsReplay) {
  namespace fs = std::filesystem;
  int replayed = 0;
  for (const char* harness : {"source", "chip"}) {
    fs::path dir = fs::path(ZQASM_TEST_FUZZ_REGRESSIONS_DIR) / harness;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) {
      SCOPED_TRACE(entry.path().string());
      std::string data = zqtest::readFile(entry.path().string());
      const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
      int result = harness == std::string("source") ? zqfuzz::runSourceInput(bytes, data.size())
                                                    : zqfuzz::runChipInput(bytes, data.size());
      EXPECT_GE(result, -1);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

std::string repeat(const std::string& text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

// `count` lines: `before`, a number, `middle`, the same number, a line end.
std::string numbered(const std::string& before, const std::string& middle, int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += before + std::to_string(i) + middle + std::to_string(i) + "\n";
  return out;
}

// Each run must end with a result; no more is asserted. Control byte 11h puts
// ".CHIP ZQ4460" first; 13h also splits main source and INC.ASM at the NUL.
TEST(FuzzInputs, WorstInputsEnd) {
  const std::string operators = " LDA " + repeat("0+0*0-0/1%1&0|0^0<<0+", 48) + "0\n";
  const std::string symbols = " LDA " + repeat("X+", 505) + "X\n";
  const std::string nested = " LDA " + repeat("(", 500) + "1" + repeat(")", 500) + "\n";
  const std::string selfInclude = repeat("#include <INC.ASM>\n", 10);
  const std::pair<const char*, std::string> inputs[] = {
      {"include fan-out",
       "\x13X EQU 0\n" + selfInclude + '\0' + selfInclude + repeat(symbols, 900)},
      {"long lines of operators", "\x11" + repeat(operators, 1000)},
      {"deepest parentheses", "\x11" + repeat(nested, 1000)},
      {"labels beyond the table", "\x11" + numbered("L", ": NOP ; ", 9000)},
      {"constants beyond the table", "\x11" + numbered("C", " EQU ", 5000)},
      {"location counter at its end", "\x11" + repeat(".DS 65535\n", 32768) + ".DS 32767\n NOP\n"},
      {"NUL bytes", "\x11" + std::string(1 << 20, '\0')},
      {"endless include", "\x11#include /dev/zero\n NOP\n"},
      {"table data", "\x91 .TABLE\n" + repeat(" DB " + repeat("255,", 250) + "0\n", 1000)},
      {"errors on every line", "\x11" + repeat(" NOP\n", 200000)},
  };
  for (const auto& [name, input] : inputs) {
    SCOPED_TRACE(name);
    ASSERT_LE(input.size(), size_t{1} << 20 | 64);
    EXPECT_EQ(runSource(input), 1);
  }
}

}  // namespace
