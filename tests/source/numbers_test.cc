// Numbers as the source writes them, and the shape of an operand.
#include "source/numbers.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zq {
namespace {

// The sign reads 8 bits ('-') or 16 ('~'), the digits wrap at 32 bits; the radix suffix
// is looked at before the digits, so a letter without a suffix is malformed.
TEST(Numbers, NumberFormsAndOperandShapes) {
  const int bad = kMalformedNumber;
  // clang-format off
  const std::vector<std::pair<std::string, int>> numbers = {
      {"", -1}, {"-1", 255}, {"-256", 0}, {"~0", 65535}, {"$1F", 31}, {"$", 0}, {"0ffh", 255},
      {"1F", bad}, {"FFH", bad}, {"1012B", bad}, {"-$1F", bad}, {"-11111111111B", 1},
      {"4294967297", 1}, {"100000001H", 1}, {std::string(600, '0') + "7", 7},
      {"1" + std::string(300, '0') + "H", 0}};
  const std::vector<std::pair<std::string, int>> kinds = {
      {"", -1}, {"abc", 2}, {"_x", 2}, {"?x", 2}, {".x", 2}, {"1_2", 2}, {"(FFH)", 2},
      {"1+2", 1}, {"-5H", 1}, {"-5", -1}, {"~0", -1}, {"$FF", -1}, {"0FFH", -1}, {"(5)", -1},
      {"12AB", -1}, {"12AX", -100}};
  // clang-format on
  for (const auto& n : numbers)
    EXPECT_EQ(parseNumber(n.first, static_cast<int>(n.first.size()) - 1), n.second) << n.first;
  EXPECT_EQ(parseNumber("12+3", 1), 12);
  for (const auto& k : kinds) EXPECT_EQ(classifyOperand(k.first), k.second) << k.first;
  // Every operator character, and nothing else, is one; parentheses end a symbol too.
  std::string operators;
  for (int c = 0; c < 256; ++c)
    if (isOperatorChar(static_cast<char>(c))) operators += static_cast<char>(c);
  EXPECT_EQ(operators, "%&*+-/<>^|~");
  EXPECT_TRUE(kOperatorTable.endsSymbol[static_cast<unsigned char>('(')]);
  EXPECT_FALSE(kOperatorTable.endsSymbol[static_cast<unsigned char>('_')]);
}

}  // namespace
}  // namespace zq
