// Macro heads and parameter substitution on a bare run object.
#include "directives/macro.h"

#include <gtest/gtest.h>

#include <vector>

#include "services/run.h"
#include "test_support.h"
#include "zqasm/assembler.h"

namespace zq {
namespace {

// The parameter slots up to the last filled one, joined with "|".
std::string names(const MacroRecord& record) {
  std::string out;
  size_t last = 0;
  for (size_t k = 0; k < record.parameterNames.size(); ++k)
    if (!record.parameterNames[k].empty()) last = k + 1;
  for (size_t k = 0; k < last; ++k) out += (k ? "|" : "") + record.parameterNames[k];
  return out;
}

std::string numbered(int count, const char* separator) {
  std::string out;
  for (int k = 1; k <= count; ++k) out += (k > 1 ? separator : "") + ("P" + std::to_string(k));
  return out;
}

TEST(MacroHead, ParameterScan) {
  const std::string sixteen = numbered(16, "|");
  const struct {
    std::string text;
    int result;
    std::string names;
    bool longName = false;  // a name was cut
  } cases[] = {
      {" A, B\n", 0, "A|B"},
      {" A, ,B", 0, "A||B"},  // only A is reachable
      {" ,A", 0, "|A"},
      {" A,B, ; comment, C", 0, "A|B"},
      {" L O N G,X", 0, "LONG|X"},
      {" " + numbered(16, ","), 0, sixteen},
      {" " + numbered(17, ","), -1, sixteen},
      {" " + numbered(40, ", "), -1, sixteen},  // also when names follow the 17th
      {" " + std::string(100, 'N'), 0, std::string(kMaxParameterName, 'N'), true},
      {" A," + std::string(kMaxParameterName, 'M'), 0, "A|" + std::string(kMaxParameterName, 'M')},
  };
  for (const auto& c : cases) {
    MacroRecord record;
    EXPECT_EQ(parseMacroParameters(record, c.text, 7), c.result) << c.text;
    EXPECT_EQ(names(record), c.names) << c.text;
    EXPECT_EQ(record.tooManyParameters, c.result < 0 ? 1 : 0);
    EXPECT_EQ(record.longParameterName, c.longName ? 1 : 0);
    EXPECT_EQ(record.definitionLine, 7);
  }
}

TEST(MacroExpansion, SubstituteParameters) {
  const struct {
    std::vector<std::string> parameters;
    std::vector<std::string> arguments;
    std::string line;
    int result;
    std::string after;  // empty: unchanged
    int warning;
  } cases[] = {
      {{"REG", "VAL"}, {"R1", "5"}, " ST REG,VAL ; c\n", 0, " ST R1,5; c  ; ST REG,VAL ; c\n", 0},
      // A name may end a longer word; it must be followed by an end of name.
      {{"A"}, {"7"}, "LDA A,B\n", 0, "LD7 7,B  ; LDA A,B\n", 0},
      {{"X"}, {"7"}, "ADD X)\n", 0, "", 0},
      {{"X"}, {"7"}, "ADD X*X+X~X=X-X|X\n", 0, "ADD 7*7+7~7=7-7|7  ; ADD X*X+X~X=X-X|X\n", 0},
      {{"VAL"}, {"VAL+1"}, "LDA VAL\n", 0, "LDA VAL+1  ; LDA VAL\n", 0},  // inserted once
      {{"A", "B"}, {"", "2"}, "INC A\n", 0, "INC 0 ; *** Parameter 1 IS BLANK ***  ; INC A\n", 1},
      {{"A", "B"}, {"1"}, "INC B\n", 30, "INC 1  ; INC B\n", 0},  // missing: "1"
      {{"A"}, {"1", "2"}, "NOP\n", 43, "", 0},
      {{"A"}, {}, "LDA A\n", 0, "", 0},  // no arguments: nothing is checked
      {{"A"}, {"1", "2"}, ".IFBLANK A\n", 0, "", 0},
      // LD + 600 characters, then the second A would pass 1,024: the line is refused.
      {{"A"}, {std::string(600, '1')}, "LDA A,A\n", 67, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    AssemblerRun run;
    MacroRecord record;
    std::copy(c.parameters.begin(), c.parameters.end(), record.parameterNames.begin());
    std::copy(c.arguments.begin(), c.arguments.end(), record.arguments.begin());
    record.argumentCount = static_cast<int16_t>(c.arguments.size());
    run.macros.macroTable.push_back(record);
    std::string line = c.line;
    EXPECT_EQ(substituteParameters(run, line, 0, 2), c.result);
    EXPECT_EQ(line, c.after.empty() ? c.line : c.after);
    EXPECT_EQ(run.diagnostics.lineWarnings, c.warning ? std::vector<int>{2} : std::vector<int>{});
  }
}

// Warning 6 (when asked for, in pass 2): a parameter replaced where a word character
// stands before it, so that it was the end of a longer word. The expander raises it from
// what substitution leaves: the parameter, the word, and what the word became.
TEST(MacroExpansion, ParameterInsideAWord) {
  const struct {
    std::string parameter;
    std::string line;
    std::string word;  // empty: no warning
    std::string became;
  } cases[] = {
      {"H", " LDA 1H\n", "1H", "15"},
      {"A", " LDA A,B\n", "LDA", "LD5"},  // the first of the line: the mnemonic
      {"N", " LDA X_N+1\n", "X_N", "X_5"},
      {"N", " LDA ?N\n", "?N", "?5"},
      {"N", " LDA A\\N\n", "A\\N", "A\\5"},
      {"P", " LDA P\n", "", ""},
      {"P", " LDA P+1\n", "", ""},
      {"P", " MOV 45h,P\n", "", ""},
      {"P", " LDA 1+P*2\n", "", ""},
      {"P", " LDA @P\n", "", ""},
      {"P", " LDA $P\n", "", ""},
      {"P", " LDA P1\n", "", ""},  // not replaced at all
  };
  for (int on = 0; on <= 1; ++on) {
    ASSERT_EQ(ZqasmSetWarnings(on ? "parameter-in-word" : ""), 0);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.line);
      AssemblerRun run;
      MacroRecord record;
      record.parameterNames[0] = c.parameter;
      record.arguments[0] = "5";
      record.argumentCount = 1;
      run.macros.macroTable.push_back(record);
      for (int pass = 1; pass <= 2; ++pass) {
        std::string line = c.line;
        EXPECT_EQ(substituteParameters(run, line, 0, pass), 0);
        const bool warns = on && pass == 2 && !c.word.empty();
        EXPECT_EQ(run.macros.wordParameter, warns ? c.parameter : "");
        if (warns) {
          EXPECT_EQ(run.macros.parameterWord, c.word);
          EXPECT_EQ(run.macros.parameterWordResult, c.became);
        }
      }
    }
  }
  ZqasmSetWarnings("");
}

}  // namespace
}  // namespace zq
