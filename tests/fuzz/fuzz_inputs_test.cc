// Inputs through the fuzz harnesses' runners: the saved inputs that once crashed or hung
// the assembler or the disassembler, and the worst inputs of up to 1 MB that can be built
// by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz_input.h"
#include "test_support.h"

namespace {

int run(const char* harness, const std::string& input) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
  const std::string name = harness;
  if (name == "chip") return zqfuzz::runChipInput(bytes, input.size());
  if (name == "image") return zqfuzz::runImageInput(bytes, input.size());
  return zqfuzz::runSourceInput(bytes, input.size());
}

TEST(FuzzInputs, SavedInputsReplay) {
  int replayed = 0;
  for (const char* harness : {"source", "chip", "image"}) {
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

// The largest images: Intel HEX whose one word is the last of the largest ROM, and 10000h
// words of jumps and of noise for ROM top 0FFFFh. Control byte 04h reads Intel HEX for
// the ZQ4460; 74h takes a ROM top and raw words with written flags.
TEST(FuzzInputs, LargestImagesEnd) {
  std::string jumps = std::string("\x74\xFF\xFF\0\0", 5), noise = jumps;
  uint32_t state = 1;
  for (uint32_t i = 0; i < 0x10000; ++i) {
    jumps += {'\0', static_cast<char>(0xD0 | (i & 0x0F)), '\1'};  // JMP 000h..F00h
    state = state * 1103515245 + 12345;
    noise += {static_cast<char>(state >> 16), static_cast<char>(state >> 24), '\1'};
  }
  const std::string lastWordOnly = "\x04:020000040001F9\n:02FFFE0000D031\n:00000001FF\n";
  for (const std::string& input : {lastWordOnly, jumps, noise}) EXPECT_EQ(run("image", input), 0);
}

}  // namespace
