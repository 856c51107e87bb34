// Inputs through the fuzz harnesses' runners: the saved inputs that once crashed or hung
// the assembler, and the worst inputs of up to 1 MB that can be built by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz_input.h"
#include "test_support.h"

namespace {

int run(const char* harness, const std::string& input) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
  return std::string(harness) == "chip" ? zqfuzz::runChipInput(bytes, input.size())
                                        : zqfuzz::runSourceInput(bytes, input.size());
}

TEST(FuzzInputs, SavedInputsReplay) {
  int replayed = 0;
  for (const char* harness : {"source", "chip"}) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::string(ZQASM_TEST_FUZZ_REGRESSIONS_DIR) + "/" + harness, ignored)) {
      EXPECT_GE(run(harness, zqtest::readFile(entry.path().string())), -1) << entry.path();
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

// `count` times `text`, each "@" replaced by the line's number.
std::string repeat(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::string line = text;
    for (size_t at; (at = line.find('@')) != std::string::npos;)
      line.replace(at, 1, std::to_string(i));
    out += line;
  }
  return out;
}

// Each run must end with a result; no more is asserted (the full label and constant
// tables are whole runs of the driver test). Control byte 11h puts
// ".CHIP ZQ4460" first; 13h also splits main source and INC.ASM at the NUL.
TEST(FuzzInputs, WorstInputsEnd) {
  const std::string fanOut = repeat("#include <INC.ASM>\n", 10);
  const std::pair<const char*, std::string> inputs[] = {
      {"include fan-out",
       "\x13X EQU 0\n" + fanOut + '\0' + fanOut + repeat(" LDA X" + repeat("+X", 505) + "\n", 900)},
      {"long lines of operators",
       "\x11" + repeat(" LDA " + repeat("0+0*0-0/1%1&0|0^0<<0+", 48) + "0\n", 1000)},
      {"deepest parentheses",
       "\x11" + repeat(" LDA " + std::string(500, '(') + "1" + std::string(500, ')') + "\n", 1000)},
      {"location counter at its end", "\x11" + repeat(".DS 65535\n", 32768) + ".DS 32767\n NOP\n"},
      {"NUL bytes", "\x11" + std::string(1 << 20, '\0')},
      {"endless include", "\x11#include /dev/zero\n NOP\n"},
      {"errors on every line",
       "\x91 .TABLE\n" + repeat(" DB " + repeat("256,", 250) + "0\n", 1000)},
      {"macro body expanded many times", "\x11X EQU 0\nM .MACRO A\n" +
                                             repeat(" LDA A" + repeat("+X", 125) + "\n", 20) +
                                             " .ENDM\n" + repeat(" M X\n", 100000)},
      {"macro calling itself twice", "\x11R .MACRO\n R\n R\n .ENDM\n R\n"},
  };
  for (const auto& [name, input] : inputs) EXPECT_EQ(run("source", input), 1) << name;
}

}  // namespace
