// Expression evaluator: whole operands, number forms, symbol classes and working limits.
#include "symbols/expression.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "services/run.h"
#include "symbols/constant_table.h"
#include "symbols/substitution.h"
#include "zqasm/assembler.h"
#include "zqasm/observer.h"

namespace zq {
namespace {

constexpr int kAddress = 0x123;

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override { run.source.statementAddress = kAddress; }
  // Evaluates in pass 2; `expect` is the value, or minus the one error raised.
  void check(const std::string& text, int expect, int symbolClass = kClassValue) {
    run.diagnostics.lineErrors.clear();
    const int value = evaluateOperand(run, text, 2, symbolClass);
    const std::vector<int> errors = expect < 0 ? std::vector<int>{-expect} : std::vector<int>{};
    EXPECT_EQ(run.diagnostics.lineErrors, errors) << text.substr(0, 24);
    EXPECT_EQ(value < 0 ? -1 : value, expect < 0 ? -1 : expect) << text.substr(0, 24);
  }
  int find(const std::string& name) { return lookupSymbol(run, name, kClassValue); }
  AssemblerRun run;
};

// Operands with their values, or minus the one error each raises.
std::vector<std::pair<std::string, int>> operandCases() {
  const std::string ones12(12, '1');
  // Precedence, 8-bit re-reading of intermediates, number forms, $/*, 32-bit wrap-around.
  // clang-format off
  const std::vector<std::pair<std::string, int>> cases = {
      {"3+4*2", 11}, {"8/2*2", 2}, {"4+4&3", 4}, {"6|1^3", 4}, {"10-2+3", 11}, {"(1+2)*3", 9},
      {"7%3", 1}, {"1<<4", 16}, {"256>>4", 16}, {"3<<32", 3}, {"5~3", 253}, {"1<4", -20},
      {"1>>>2", -20}, {"(1+2", -19}, {"1+2)", -18}, {"2(3)+1", -20}, {"1)+(2", -20},
      {"1+2#", -20}, {"((2))", -6}, {"-1", 255}, {"~0", 65535}, {"(~0)", 255}, {"(-1)", 255},
      {"+5", 5}, {"1-5", -1}, {"1-5+8", 260}, {"-3*2", 506}, {"(2147483648>>28)+0", 248},
      {"0FFH+1", 256}, {"0ffh+1", 256}, {"1010B", 10}, {"12D", 12}, {"$FF", 255}, {"$1F+1", -1}, {"$FF+1", -12},
      {"FFH", 255}, {"1+FFH", 256}, {"12AB", -6}, {ones12 + "B", 4095}, {ones12 + "1B", -6},
      {"5/0", -1}, {"5%0", -1}, {"5+", -1}, {"()+1", -1}, {"65535", 65535}, {"65536", -25},
      {"256*256", -25}, {"$", kAddress}, {"*", kAddress}, {"$+2", kAddress + 2},
      {"*-1", kAddress - 1}, {"$-400H", -6}, {"$+", -6}, {"65536*65536+7", 7},
      {"2147483648%4294967295", 0}, {"2147483648/4294967295", -1}, {"4294967296+5", 5},
      {"1<<4294967295", -1}};
  // clang-format on
  return cases;
}

TEST_F(ExpressionTest, OperandValuesAndFailures) {
  for (const auto& c : operandCases()) check(c.first, c.second);
}

TEST_F(ExpressionTest, ExpressionCodesAndLimits) {
  auto nested = [](size_t n) { return std::string(n, '(') + "1+0" + std::string(n, ')'); };
  std::string sum127 = "1";  // 253 characters
  for (int i = 0; i < 126; ++i) sum127 += "+1";
  check(sum127, 127);
  // Codes of the evaluator called directly, including look-alikes of plain numbers.
  // clang-format off
  const std::vector<std::pair<std::string, int>> cases = {
      {"((2))", 2}, {"2(3)", -20}, {"(()+(2))", -1}, {"+++5", 5}, {"$+1", -1}, {"", -1},
      {nested(250), 1}, {nested(3000), -20}, {std::string(511, 'A'), -12},
      {std::string(512, 'A'), -20}, {"1+" + std::string(600, '0'), -20}};
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(evaluateExpression(run, c.first, kClassValue), c.second) << c.first.substr(0, 20);
}

TEST_F(ExpressionTest, LetterHexAndCharacterConstants) {
  // clang-format off
  const std::vector<std::pair<std::string, int>> letterHex = {
      {"FFH", 255}, {"ffh", 255}, {"H", 0}, {"FF", -1}, {"FGH", -1}, {"$FFH", -1}, {"", -1}};
  const std::vector<std::pair<std::string, std::string>> chars = {
      {"'A'", "65"}, {"'AB'+1", "65+1"}, {"''", "0"}, {"'A", "65"}, {"'", "0"},
      {"x'1'y'2'", "x49y50"}, {"'\xff'", "255"}, {"'''", "00"}};
  // clang-format on
  for (const auto& h : letterHex) EXPECT_EQ(parseLetterHex(h.first), h.second) << h.first;
  for (const auto& c : chars) {
    std::string text = c.first;
    replaceCharConstants(text);
    EXPECT_EQ(text, c.second) << c.first;
  }
}

TEST_F(ExpressionTest, SymbolClassesOrderAndCase) {
  // First match wins: constants, then DEFINE names, then RAM names.
  run.constants.records.resize(kMaxConstants + 1);
  run.segments.ramNames = {{}, {3, 1, "X"}, {0x20, 1, "Buf"}};
  run.segments.ramNameCount = 2;
  EXPECT_EQ(find("X"), 3);
  defineSymbol(run, "#DEFINE X 2\n", 1, 1);
  defineSymbol(run, "#DEFINE Dv 9\n", 1, 2);
  EXPECT_EQ(find("X"), 2);
  for (const char* line : {"K EQU 5\n", "X EQU 1\n", "FFH EQU 7\n", "Kx EQU 4\n"})
    defineConstant(run, line, 1, 3, "EQU");
  EXPECT_EQ(find("X"), 1);
  EXPECT_EQ(find("FFH"), 7);
  run.labels.nodes.push_back({"L", 0, 0, 0x40});
  run.labels.count = 1;
  run.labels.firstByName.insert("L", 0);
  for (int sensitive = 0; sensitive <= 1; ++sensitive) {
    run.source.labelCaseSensitive = sensitive;
    EXPECT_EQ(find("KX"), sensitive ? -1 : 4);
    EXPECT_EQ(find("BUF"), sensitive ? -1 : 0x20);
    EXPECT_EQ(find("Buf"), 0x20);
    EXPECT_EQ(find("DV"), -1);  // DEFINE names always compare with case
    EXPECT_EQ(find("Dv"), 9);
  }
  // Names that fold alike only by bit 5 of a character other than a letter stay apart.
  defineConstant(run, "P\\ EQU 8\n", 1, 4, "EQU");
  defineConstant(run, "P| EQU 9\n", 1, 5, "EQU");
  for (int sensitive = 0; sensitive <= 1; ++sensitive) {
    run.source.labelCaseSensitive = sensitive;
    EXPECT_EQ(find("P\\"), 8);
    EXPECT_EQ(find("P|"), 9);
  }
  check("K+1", 6);
  check("L", -12);
  check("K", -12, kClassBranch);
  check("K+1", -12, kClassCallJump);
  check("L+1", 0x41, kClassBranch);
  EXPECT_EQ(find("none"), -1);
}

// Sums of symbols and numbers are worked out without the text rewrite: every chain of
// these operands gives what the rewrite gives, value, failure and unresolved name alike.
TEST_F(ExpressionTest, SumsAsTheRewriteGivesThem) {
  for (const char* line : {"Z EQU 0\n", "A EQU 5\n", "B EQU 255\n", "W EQU 70000\n"})
    defineConstant(run, line, 1, 1, "EQU");
  const std::vector<std::string> operands = {"A",   "B",  "W",    "Z",          "NOPE",
                                             "FFH", "12", "0FFH", "0ffh",       "1010B",
                                             "12D", "1F", "9AB",  "4294967295", "2147483648"};
  auto same = [&](const std::string& text) {
    run.diagnostics.unresolvedName.clear();
    const int fast = evaluateExpression(run, text, kClassValue);
    const std::string fastName = run.diagnostics.unresolvedName;
    EXPECT_EQ(fast, evaluateExpressionText(run, text, kClassValue)) << text;
    EXPECT_EQ(fastName, run.diagnostics.unresolvedName) << text;
    // The checked evaluation, which always takes the rewrite, gives the same too.
    OperandFindings findings;
    EXPECT_EQ(fast, evaluateExpressionChecked(run, text, kClassValue, findings)) << text;
  };
  for (const std::string& a : operands)
    for (const std::string& b : operands)
      for (const char* ops : {"++", "+-", "-+", "--"}) {
        same(a + ops[0] + b);
        for (const std::string& c : {std::string("B"), std::string("7"), std::string("Q")})
          same("+" + a + ops[0] + b + ops[1] + c);
      }
}

TEST_F(ExpressionTest, FailuresRaiseOneErrorInPassTwoOnly) {
  for (int pass = 0; pass <= 1; ++pass) {
    for (const char* text : {"1-5", "UNKNOWN", "1<4", "(1", "1)", "12AB", "65536", "$-400H"}) {
      EXPECT_LT(evaluateOperand(run, text, pass, kClassValue), 0) << text;
    }
  }
  EXPECT_TRUE(run.diagnostics.lineErrors.empty());
  // clang-format off
  for (const char* text : {")(", "((", "()", "(()+1)", "<<", ">>", "~", "-", "+", "'", "~~~~",
                           "1~", "$$", "--5", "5--", "1<<<<2", "H", "B", "0B", "1B+", "()$5-9",
                           "\x80\xff", "*5", "**", "1~2~3", "-(1)", "~~5", "(+5-2)*2",
                           "0-2147483648", "2147483648>>31"}) {
    // clang-format on
    run.diagnostics.lineErrors.clear();
    const int value = evaluateOperand(run, text, 2, kClassValue);
    EXPECT_EQ(run.diagnostics.lineErrors.size(), value >= 0 ? 0u : 1u) << text;
  }
}

// The trap warnings 7 (truncation), 8 (negative-unsigned) and 9 (mixed-operators) of
// operands, with the notes an observer gets, and the look-alikes that raise none.
class OperandChecksTest : public ExpressionTest {
 protected:
  void SetUp() override {
    ExpressionTest::SetUp();
    ASSERT_EQ(ZqasmSetWarnings("all"), 0);
    run.source.operandChecks = true;
    ZqasmRunObserver observer{};
    observer.diagnostic = [](void*, const ZqasmDiagnostic*) {};
    ZqasmSetRunObserver(&observer);
    for (const char* line : {"A EQU 4\n", "B EQU 20h\n"}) defineConstant(run, line, 1, 1, "EQU");
  }
  void TearDown() override {
    ZqasmSetRunObserver(nullptr);
    ZqasmSetWarnings("");
  }
  // "value Wn note; ..." for an operand evaluated in `pass`: raised by evaluateOperand
  // itself (a value stored wider than a byte), or by its caller for a byte.
  std::string warned(const std::string& text, int pass = 2, bool byteStore = false) {
    DiagnosticsState& d = run.diagnostics;
    d.lineWarnings.clear();
    d.lineNotes.clear();
    int value;
    if (byteStore) {
      OperandFindings findings;
      value = evaluateOperand(run, text, pass, kClassValue, &findings);
      raiseOperandFindings(run, findings, true);
    } else {
      value = evaluateOperand(run, text, pass, kClassValue);
    }
    std::string out = std::to_string(value);
    for (int n : d.lineWarnings) {
      out += " W" + std::to_string(n);
      for (const CulpritNote& note : d.lineNotes)
        if (note.warning && note.number == n) out += " " + note.message + ";";
    }
    return out;
  }
};

TEST_F(OperandChecksTest, WarningsNameTheirCulprits) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> cases = {
      // 7: beyond the evaluator's 32 bits, or beyond the 8 bits a negative number is read in.
      {"65536*65536+3", "3 W7 65536*65536 is 4294967296, cut to 32 bits: 0;"},
      {"100000003H&0FFH", "3 W7 100000003H does not fit 32 bits: read as 3;"},
      {"1<<40", "256 W7 1<<40 shifts by 40, taken as 8;"},
      {"-200", "56 W7 -200 is cut to 8 bits: 56 (38h);"},
      {"-A*3", "756 W8 -A is read back unsigned as 252;"},
      {"(-1)", "255 W7 -1 is read as 8 bits: 255 (0FFh);"},
      {"-128", "128 W7 -128 is read as 8 bits: 128 (80h);"},
      // 8: a negative intermediate read back as 8 bits, in the sum form and the rewrite alike.
      {"10h-20h+30h", "288 W8 16-32 gives -16, read back unsigned as 240;"},
      {"(10h-B)+30h", "288 W8 16-32 gives -16, read back unsigned as 240;"},
      {"5+3-10", "254 W8 8-10 gives -2, read back unsigned as 254;"},
      // 9: both readings named.
      {"4+4&3", "4 W9 4+4&3 is 4 here; with the usual precedence ((4+4)&3) it would be 0;"},
      {"8/2*2", "2 W9 8/2*2 is 2 here; with the usual precedence ((8/2)*2) it would be 8;"},
      {"A+A&3", "4 W9 A+A&3 is 4 here; with the usual precedence ((A+A)&3) it would be 0;"},
      {"1+2<<3", "17 W9 1+2<<3 is 17 here; with the usual precedence ((1+2)<<3) it would be 24;"},
      // Look-alikes that are fine.
      {"4+4+3", "11"}, {"(4+4)&3", "0"}, {"8*2/2", "8"}, {"4&3+4", "4"}, {"3+4*2", "11"},
      {"30h-20h", "16"}, {"255", "255"}, {"65535", "65535"}, {"2147483647-2147483647", "0"},
      {"~0", "65535"}, {"$+2", "293"}, {"1-5+8&15", "260 W8 1-5 gives -4, read back unsigned "
      "as 252;"}};
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(warned(c.first), c.second) << c.first;
  // A byte holds a negative number down to -128 whole.
  EXPECT_EQ(warned("-1", 2, true), "255");
  EXPECT_EQ(warned("(-128)", 2, true), "128");
  EXPECT_EQ(warned("-129", 2, true), "127 W7 -129 is cut to 8 bits: 127 (7Fh);");
  // Passes 0 and 1 check nothing; a failing operand gets its error and no warning.
  EXPECT_EQ(warned("4+4&3", 1), "4");
  EXPECT_EQ(warned("4|4&3-8"), "-1");
  // Asked for one by one.
  ASSERT_EQ(ZqasmSetWarnings("negative-unsigned"), 0);
  EXPECT_EQ(warned("65536*65536+3-4+4&3"), "255 W8 3-4 gives -1, read back unsigned as 255;");
}

// Checking an operand never changes what it gives: values and errors are the same with
// every warning on.
TEST_F(OperandChecksTest, ChecksLeaveValuesAlone) {
  for (const auto& c : operandCases()) check(c.first, c.second);
}

}  // namespace
}  // namespace zq
