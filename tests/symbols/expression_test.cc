// Expression evaluator: values and failures of whole operands, the symbol classes and
// the case option, and texts at and beyond the working limits.
#include "symbols/expression.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/run.h"

namespace zq {
namespace {

constexpr int kAddress = 0x123;

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run = std::make_unique<AssemblerRun>();
    run->source.statementAddress = kAddress;
  }
  // Both tables leave entry 0 unused.
  void addConstant(const std::string& name, int value) {
    if (run->constants.records.empty()) run->constants.records.resize(1);
    run->constants.records.push_back({name, value, 0, 0, 0});
    run->constants.count++;
  }
  void addRamName(const std::string& name, int first) {
    if (run->segments.ramNames.empty()) run->segments.ramNames.resize(1);
    run->segments.ramNames.push_back({first, 1, name});
    run->segments.ramNameCount++;
  }
  // Evaluates in pass 2 and returns the errors raised.
  std::vector<int> errorsOf(const std::string& text, int& value, int symbolClass = kClassValue) {
    run->diagnostics.lineErrors.clear();
    value = evaluateOperand(*run, text, 2, symbolClass);
    return run->diagnostics.lineErrors;
  }
  std::unique_ptr<AssemblerRun> run;
};

struct OperandCase {
  std::string text;
  int value;  // expected value; -1 for a failure
  int error;  // expected error number; 0 for none
};

TEST_F(ExpressionTest, OperandValuesAndFailures) {
  const std::string ones12(12, '1');
  // clang-format off
  const std::vector<OperandCase> cases = {
      // Operator order is the whole precedence; every level is left-associative.
      {"3+4*2", 11, 0}, {"8/2*2", 2, 0}, {"16/4/2", 2, 0}, {"4+4&3", 4, 0}, {"6|1^3", 4, 0},
      {"10-2+3", 11, 0}, {"(1+2)*3", 9, 0}, {"7%3", 1, 0}, {"1<<4", 16, 0}, {"256>>4", 16, 0},
      {"3<<32", 3, 0}, {"5~3", 253, 0},
      {"1<4", -1, 20}, {"1>>>2", -1, 20}, {"(1+2", -1, 19}, {"1+2)", -1, 18},
      {"2(3)+1", -1, 20}, {"1)+(2", -1, 20}, {"1+2#", -1, 20},
      // Signs and complements: 8 bits for '-', 16 bits for '~' as a whole operand.
      {"-1", 255, 0}, {"~0", 65535, 0}, {"(~0)", 255, 0}, {"(-1)", 255, 0}, {"+5", 5, 0},
      // Intermediate results are re-read as 8-bit values; a negative end fails.
      {"1-5", -1, 1}, {"1-5+8", 260, 0}, {"-3*2", 506, 0}, {"(2147483648>>28)+0", 248, 0},
      {"0FFH+1", 256, 0}, {"1010B", 10, 0}, {"12D", 12, 0}, {"$FF", 255, 0},
      {"$1F+1", -1, 1}, {"$FF+1", -1, 12}, {"FFH", 255, 0}, {"1+FFH", 256, 0},
      {"12AB", -1, 6}, {ones12 + "B", 4095, 0}, {ones12 + "1B", -1, 6},
      {"5/0", -1, 1}, {"0/0", -1, 1}, {"5%0", -1, 1}, {"5+", -1, 1}, {"()+1", -1, 1},
      {"65535", 65535, 0}, {"65536", -1, 25}, {"256*256", -1, 25},
      // The location counter forms.
      {"$", kAddress, 0}, {"*", kAddress, 0}, {"$+2", kAddress + 2, 0},
      {"*-1", kAddress - 1, 0}, {"$-400H", -1, 6}, {"$+", -1, 6},
      // Wrap-around at 32 bits, and the one quotient that does not fit.
      {"65536*65536+7", 7, 0}, {"2147483648%4294967295", 0, 0},
      {"2147483648/4294967295", -1, 1}, {"4294967296+5", 5, 0}, {"1<<4294967295", -1, 1},
  };
  // clang-format on
  for (const OperandCase& c : cases) {
    int value = 0;
    std::vector<int> errors = errorsOf(c.text, value);
    std::vector<int> expected;
    if (c.error != 0) expected.push_back(c.error);
    EXPECT_EQ(errors, expected) << c.text;
    if (c.value >= 0) {
      EXPECT_EQ(value, c.value) << c.text;
    } else {
      EXPECT_LT(value, 0) << c.text;
    }
  }
}

TEST_F(ExpressionTest, ExpressionCodes) {
  // Plain-number look-alikes reach the expression evaluator only when called directly.
  EXPECT_EQ(evaluateExpression(*run, "((2))", kClassValue), 2);
  EXPECT_EQ(evaluateExpression(*run, "2(3)", kClassValue), -20);
  EXPECT_EQ(evaluateExpression(*run, "(()+(2))", kClassValue), -1);
  EXPECT_EQ(evaluateExpression(*run, "+++5", kClassValue), 5);
  EXPECT_EQ(evaluateExpression(*run, "$+1", kClassValue), -1);
  EXPECT_EQ(evaluateExpression(*run, "", kClassValue), -1);
  int value = 0;
  EXPECT_EQ(errorsOf("((2))", value), std::vector<int>{6});
}

TEST_F(ExpressionTest, NumbersAndClassification) {
  // clang-format off
  const std::vector<std::pair<std::string, int>> numbers = {
      {"", -1}, {"-1", 255}, {"-256", 0}, {"~0", 65535}, {"$1F", 31}, {"$", 0}, {"0ffh", 255},
      {"1F", kMalformedNumber}, {"FFH", kMalformedNumber}, {"1012B", kMalformedNumber},
      {"-$1F", kMalformedNumber}, {"-11111111111B", 1}, {"4294967297", 1}, {"100000001H", 1},
      {std::string(600, '0') + "7", 7}, {"1" + std::string(300, '0') + "H", 0},
  };
  // clang-format on
  for (const auto& n : numbers)
    EXPECT_EQ(parseNumber(n.first, static_cast<int>(n.first.size()) - 1), n.second) << n.first;
  EXPECT_EQ(parseNumber("12+3", 1), 12);

  // clang-format off
  const std::vector<std::pair<std::string, int>> kinds = {
      {"", -1}, {"abc", 2}, {"_x", 2}, {"?x", 2}, {".x", 2}, {"1_2", 2}, {"(FFH)", 2},
      {"1+2", 1}, {"-5H", 1}, {"-5", -1}, {"~0", -1}, {"$FF", -1}, {"0FFH", -1}, {"(5)", -1},
      {"12AB", -1}, {"12AX", -100},
  };
  // clang-format on
  for (const auto& k : kinds) EXPECT_EQ(classifyOperand(k.first), k.second) << k.first;

  const std::vector<std::pair<std::string, int>> letterHex = {
      {"FFH", 255}, {"ffh", 255}, {"H", 0}, {"FF", -1}, {"FGH", -1}, {"$FFH", -1}, {"", -1}};
  for (const auto& h : letterHex) EXPECT_EQ(parseLetterHex(h.first), h.second) << h.first;
}

TEST_F(ExpressionTest, CharacterConstants) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"'A'", "65"}, {"'AB'+1", "65+1"},     {"''", "0"},       {"'A", "65"},
      {"'", "0"},    {"x'1'y'2'", "x49y50"}, {"'\xff'", "255"}, {"'''", "00"}};
  for (const auto& c : cases) {
    std::string text = c.first;
    replaceCharConstants(text);
    EXPECT_EQ(text, c.second) << c.first;
  }
}

TEST_F(ExpressionTest, SymbolClassesAndOrder) {
  addConstant("K", 5);
  LabelNode label;
  label.name = "L";
  label.address = 0x40;
  run->labels.nodes.push_back(label);
  run->labels.count = 1;
  run->labels.firstByName["L"] = 0;
  run->source.labelCaseSensitive = 1;

  int value = 0;
  EXPECT_TRUE(errorsOf("K+1", value).empty());
  EXPECT_EQ(value, 6);
  EXPECT_EQ(errorsOf("L", value), std::vector<int>{12});
  EXPECT_EQ(errorsOf("K", value, kClassBranch), std::vector<int>{12});
  EXPECT_EQ(errorsOf("K+1", value, kClassCallJump), std::vector<int>{12});
  EXPECT_TRUE(errorsOf("L+1", value, kClassBranch).empty());
  EXPECT_EQ(value, 0x41);

  // First match wins: constants, then DEFINE names, then RAM names.
  addConstant("X", 1);
  run->substitutions.defines.push_back({"X", 2});
  addRamName("X", 3);
  addConstant("FFH", 7);
  EXPECT_EQ(lookupSymbol(*run, "X", kClassValue), 1);
  EXPECT_EQ(lookupSymbol(*run, "FFH", kClassValue), 7);
  run->constants.count = 1;
  EXPECT_EQ(lookupSymbol(*run, "X", kClassValue), 2);
  run->substitutions.defines.clear();
  EXPECT_EQ(lookupSymbol(*run, "X", kClassValue), 3);
  // Counts beyond the filled entries are never read.
  run->constants.count = 50;
  run->segments.ramNameCount = 50;
  EXPECT_EQ(lookupSymbol(*run, "none", kClassValue), -1);
}

TEST_F(ExpressionTest, CaseOption) {
  addConstant("Kx", 4);
  addRamName("Buf", 0x20);
  run->substitutions.defines.push_back({"Dv", 9});
  for (int sensitive = 0; sensitive <= 1; ++sensitive) {
    run->source.labelCaseSensitive = sensitive;
    const int expectK = sensitive ? -1 : 4;
    const int expectBuf = sensitive ? -1 : 0x20;
    EXPECT_EQ(lookupSymbol(*run, "KX", kClassValue), expectK);
    EXPECT_EQ(lookupSymbol(*run, "BUF", kClassValue), expectBuf);
    EXPECT_EQ(lookupSymbol(*run, "Buf", kClassValue), 0x20);
    // DEFINE names always compare with case.
    EXPECT_EQ(lookupSymbol(*run, "DV", kClassValue), -1);
    EXPECT_EQ(lookupSymbol(*run, "Dv", kClassValue), 9);
  }
}

TEST_F(ExpressionTest, NoDiagnosticsBeforePassTwo) {
  for (int pass = 0; pass <= 1; ++pass) {
    for (const char* text : {"1-5", "UNKNOWN", "1<4", "(1", "1)", "12AB", "65536", "$-400H"}) {
      EXPECT_LT(evaluateOperand(*run, text, pass, kClassValue), 0) << text;
      EXPECT_TRUE(run->diagnostics.lineErrors.empty()) << text;
    }
  }
}

TEST_F(ExpressionTest, WorkingLimits) {
  // A 253-character sum of 127 ones.
  std::string sum = "1";
  for (int i = 0; i < 126; ++i) sum += "+1";
  int value = 0;
  EXPECT_TRUE(errorsOf(sum, value).empty());
  EXPECT_EQ(value, 127);

  auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '(') + "1+0" +
           std::string(static_cast<size_t>(depth), ')');
  };
  EXPECT_EQ(evaluateExpression(*run, nested(250), kClassValue), 1);
  EXPECT_EQ(evaluateExpression(*run, nested(3000), kClassValue), -20);
  EXPECT_EQ(errorsOf(nested(3000), value), std::vector<int>{20});

  EXPECT_EQ(evaluateExpression(*run, std::string(511, 'A'), kClassValue), -12);
  EXPECT_EQ(evaluateExpression(*run, std::string(512, 'A'), kClassValue), -20);
  EXPECT_EQ(evaluateExpression(*run, "1+" + std::string(600, '0'), kClassValue), -20);
}

TEST_F(ExpressionTest, MalformedTextsFailWithOneError) {
  // Whatever the text, an operand either has a value or fails with exactly one error.
  // clang-format off
  for (const char* text : {")(", "((", "()", "(()+1)", "<<", ">>", "~", "-", "+", "'", "~~~~",
                           "1~", "$$", "--5", "5--", "1<<<<2", "H", "B", "0B", "1B+", "()$5-9",
                           "\x80\xff", "*5", "**", "1~2~3", "-(1)", "~~5", "(+5-2)*2",
                           "0-2147483648", "2147483648>>31"}) {
    // clang-format on
    int value = 0;
    std::vector<int> errors = errorsOf(text, value);
    if (value >= 0) {
      EXPECT_TRUE(errors.empty()) << text;
    } else {
      EXPECT_EQ(errors.size(), 1u) << text;
    }
  }
}

}  // namespace
}  // namespace zq
