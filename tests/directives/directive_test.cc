// Directive recognition and the simple directives, driven through processDirective on a
// bare run object.
#include "directives/directive.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "driver/persistent_settings.h"
#include "driver/run.h"

namespace zq {
namespace {

using Errors = std::vector<int>;

class DirectiveTest : public ::testing::Test {
 protected:
  // The bank convert bounds are process-wide: every test leaves them as loaded.
  void TearDown() override {
    persistentSettings().bankConvertStart = 0x100;
    persistentSettings().bankConvertEnd = 0x1FF;
  }
  int directive(const std::string& line, int pass = 2, size_t position = 0) {
    return processDirective(*run, line, position, pass, 1);
  }
  void reset() { run = std::make_unique<AssemblerRun>(); }
  std::unique_ptr<AssemblerRun> run = std::make_unique<AssemblerRun>();
};

TEST_F(DirectiveTest, TableHoldsEveryKeywordAndTheHashRule) {
  std::string keywords;
  std::vector<int> codes;
  std::set<int> hashCodes;
  for (const DirectiveEntry& entry : directiveTable) {
    keywords += std::string(entry.keyword) + " ";
    codes.push_back(entry.directiveCode);
    if (entry.hashAllowed) hashCodes.insert(entry.directiveCode);
    EXPECT_EQ(findDirective(entry.keyword), &entry) << entry.keyword;
  }
  EXPECT_EQ(keywords,
            "BYTE DEFINE DB DW DS DSU ELSE ELSEIF END ENDIF ENDM ENDMAC ENDMACRO EXITMAC "
            "EXITMACRO IF IFDEF IFDIFF IFNDEF IFSAME MAC MACRO WORD CHIP CHIPNAME DATA ENDD "
            "ENDDATA TABLE ENDT ENDTAB ENDTABLE CODE ENDC HEAD ENDH LOCALLABEL ERROR IFBLANK "
            "IFNBLANK DNOVERLAP BANKCONVERTAREA SORTLABELFILE SORTEQUFILE SORTRAMFILE ");
  EXPECT_EQ(codes, (std::vector<int>{1,  2,  1,  19, 3,  4,  6,  7,  8,  9,  10, 10, 10, 11, 11,
                                     12, 13, 14, 15, 17, 18, 18, 19, 20, 20, 21, 22, 22, 23, 24,
                                     24, 24, 25, 26, 27, 30, 28, 29, 31, 32, 33, 34, 35, 36, 37}));
  EXPECT_EQ(hashCodes, (std::set<int>{2, 6, 7, 9, 12, 13, 15, 31, 32}));
  EXPECT_EQ(findDirective("if"), nullptr);  // callers upper-case first
}

TEST_F(DirectiveTest, Recognition) {
  // DNOVERLAP and the unbalanced ELSE/ENDIF act without any other module, so they show
  // whether a line was recognised.
  const struct {
    const char* line;
    size_t position;
    int result;
    int overlap;  // dnOverlapAllowed afterwards (starts at 0)
    Errors errors;
  } cases[] = {
      {".dnoverlap on", 0, 0, 1, {}},
      {".DnOverlap\tOn\n", 0, 0, 1, {}},
      {" \t .DNOVERLAP 1", 0, 0, 1, {}},
      {"LOOP .DNOVERLAP ON", 4, 0, 1, {}},
      {"DNOVERLAP ON", 0, resultNotDirective, 0, {}},
      {"#DNOVERLAP ON", 0, resultNotDirective, 0, {}},
      {".DNOVERLAP;ON", 0, resultNotDirective, 0, {}},
      {"; .DNOVERLAP ON", 0, resultNotDirective, 0, {}},
      {"#ELSE", 0, 0, 0, {28}},
      {"#endif", 0, 0, 0, {28}},
      {".ENDIF", 0, 0, 0, {28}},
      {".ENDIF;x", 0, resultNotDirective, 0, {}},
      {"#IFSAME A,B", 0, resultNotDirective, 0, {}},
      {".SORTLABELFILEXYZ A", 0, resultNotDirective, 0, {}},  // 17 characters
      {".", 0, resultNotDirective, 0, {}},
      {"", 0, resultNotDirective, 0, {}},
      {".END", 7, resultNotDirective, 0, {}},  // position beyond the text
  };
  for (const auto& c : cases) {
    reset();
    EXPECT_EQ(directive(c.line, 2, c.position), c.result) << c.line;
    EXPECT_EQ(run->directives.dnOverlapAllowed, c.overlap) << c.line;
    EXPECT_EQ(run->diagnostics.lineErrors, c.errors) << c.line;
  }
  EXPECT_EQ(directive(std::string(2000, '.')), resultNotDirective);
  EXPECT_EQ(directive("#DATA"), resultNotDirective);
  EXPECT_EQ(run->source.dataSegmentOpen, 0);
}

TEST_F(DirectiveTest, UnbalancedConditionIsReportedInPassTwoOnly) {
  EXPECT_EQ(directive(".ENDIF", 1), 0);
  EXPECT_TRUE(run->diagnostics.lineErrors.empty());
  EXPECT_EQ(directive(".ENDIF", 2), 0);
  EXPECT_EQ(directive(".ELSE", 2), 0);
  EXPECT_EQ(run->diagnostics.lineErrors, Errors{28});

  // The stack is the one of the line's origin.
  reset();
  run->conditions.sourceConditions.depth = 1;
  run->source.macroContext = 0;
  directive(".ENDIF");
  EXPECT_EQ(run->diagnostics.lineErrors, Errors{28});
  reset();
  run->conditions.macroConditions.depth = 1;
  run->source.macroContext = 0;
  directive(".ENDIF");
  EXPECT_TRUE(run->diagnostics.lineErrors.empty());
}

TEST_F(DirectiveTest, OpenMacroDefinitionTakesEveryDirective) {
  const struct {
    const char* line;
    int result;
    int stillOpen;
  } cases[] = {{".IF X", 0, 1},
               {"#IFSAME A,B", 0, 1},
               {".END", 0, 1},
               {".DNOVERLAP ON", 0, 1},
               {".NOSUCH", resultNotDirective, 1},
               {"ENDM", resultNotDirective, 1},
               {".ENDM", 0, 0},
               {"#ENDMAC", 0, 0}};
  for (const auto& c : cases) {
    reset();
    run->source.macroDefinitionOpen = 1;
    EXPECT_EQ(directive(c.line), c.result) << c.line;
    EXPECT_EQ(run->source.macroDefinitionOpen, c.stillOpen) << c.line;
    EXPECT_EQ(run->directives.dnOverlapAllowed, 0) << c.line;
    EXPECT_TRUE(run->diagnostics.lineErrors.empty()) << c.line;
  }
}

TEST_F(DirectiveTest, ResultsThatDependOnAssembling) {
  const struct {
    const char* line;
    int32_t assemblingOn, macroContext, macroAssemblingOn;
    int result;
  } cases[] = {{".END", 0, -1, 1, resultEndOfSource},
               {".EXITMAC", 1, 0, 1, resultExitMacro},
               {".EXITMACRO", 1, 0, 0, 0},
               {".EXITMAC", 0, -1, 1, 0},
               {".DS 3", 0, -1, 1, 0},
               {".CHIP ZQ4410", 1, -1, 1, 0}};
  for (const auto& c : cases) {
    reset();
    run->source.assemblingOn = c.assemblingOn;
    run->source.macroContext = c.macroContext;
    run->source.macroAssemblingOn = c.macroAssemblingOn;
    EXPECT_EQ(directive(c.line), c.result) << c.line;
    EXPECT_EQ(run->source.locationCounter, 0) << c.line;
  }
  reset();
  EXPECT_EQ(directive(".DS", 1), 0);
  EXPECT_TRUE(run->diagnostics.lineErrors.empty());
  EXPECT_EQ(directive(".DS  ; none", 2), 0);
  EXPECT_EQ(run->diagnostics.lineErrors, Errors{33});
}

TEST_F(DirectiveTest, Segments) {
  const struct {
    int32_t data, table;
    const char* line;
    int32_t dataAfter, tableAfter;
    bool error7;
  } cases[] = {{0, 0, ".DATA", 1, 0, false},     {0, 0, ".TABLE", 0, 1, false},
               {0, 1, ".DATA", 0, 1, true},      {1, 0, ".TABLE", 1, 0, true},
               {1, 0, ".DATA", 1, 0, true},      {1, 0, ".ENDD", 0, 0, false},
               {0, 1, ".ENDTABLE", 0, 0, false}, {0, 0, ".ENDDATA", 0, 0, true},
               {0, 1, ".ENDD", 0, 1, true},      {1, 0, ".ENDT", 1, 0, true},
               {1, 1, ".ENDD", 1, 1, true},      {1, 1, ".ENDTAB", 1, 1, true}};
  for (int pass = 1; pass <= 2; ++pass) {
    for (const auto& c : cases) {
      reset();
      run->source.assemblingOn = 0;  // segments open and close in skipped regions too
      run->source.dataSegmentOpen = c.data;
      run->source.tableSegmentOpen = c.table;
      EXPECT_EQ(directive(c.line, pass), 0) << c.line;
      EXPECT_EQ(run->source.dataSegmentOpen, c.dataAfter) << c.line;
      EXPECT_EQ(run->source.tableSegmentOpen, c.tableAfter) << c.line;
      EXPECT_EQ(run->diagnostics.lineErrors, (c.error7 && pass == 2) ? Errors{7} : Errors{})
          << c.line << " pass " << pass;
    }
  }
}

TEST_F(DirectiveTest, UserError) {
  const struct {
    const char* line;
    const char* text;
    Errors errors;
  } cases[] = {{".ERROR \"Stack\" \"overflow\"", "Stackoverflow", {}},
               {".ERROR \"Stack\" junk \"overflow\" ; \"more\"\n", "Stackoverflow", {}},
               {".ERROR \"a;b\"", "a;b", {}},
               {".ERROR \"\"", "", {53}},
               {".ERROR \"unterminated\n", "unterminated", {32}},
               {".ERROR", "", {32, 53}},
               {".ERROR no quotes", "", {32, 53}}};
  for (const auto& c : cases) {
    reset();
    run->diagnostics.userErrorText = "old";
    EXPECT_EQ(directive(c.line), 0) << c.line;
    EXPECT_EQ(run->diagnostics.userErrorText, c.text) << c.line;
    EXPECT_EQ(run->diagnostics.lineErrors, c.errors) << c.line;
  }
  // Pass 1 and skipped file lines do nothing; a macro line follows the file-line flag.
  reset();
  directive(".ERROR \"x\"", 1);
  run->source.assemblingOn = 0;
  directive(".ERROR \"y\"", 2);
  EXPECT_EQ(run->diagnostics.userErrorText, "");
  run->source.assemblingOn = 1;
  run->source.macroContext = 0;
  run->source.macroAssemblingOn = 0;
  directive(".ERROR \"z\"", 2);
  EXPECT_EQ(run->diagnostics.userErrorText, "z");
}

TEST_F(DirectiveTest, DnOverlapAndSortSettings) {
  const struct {
    const char* line;
    int32_t overlapBefore, overlapAfter;
    Errors errors;
  } overlap[] = {{".DNOVERLAP On", 0, 1, {}},
                 {".DNOVERLAP 1", 0, 1, {}},
                 {".DNOVERLAP oFF", 1, 0, {}},
                 {".DNOVERLAP", 1, 1, {}},
                 {".DNOVERLAP YES", 1, 1, {57}}};
  for (const auto& c : overlap) {
    reset();
    run->source.assemblingOn = 0;
    run->directives.dnOverlapAllowed = c.overlapBefore;
    EXPECT_EQ(directive(c.line), 0) << c.line;
    EXPECT_EQ(run->directives.dnOverlapAllowed, c.overlapAfter) << c.line;
    EXPECT_EQ(run->diagnostics.lineErrors, c.errors) << c.line;
  }
  reset();
  directive(".DNOVERLAP YES", 1);
  EXPECT_TRUE(run->diagnostics.lineErrors.empty());

  const struct {
    const char* line;
    char label, constant, ram;  // each starts at 'D'
  } sorts[] = {{".SORTLABELFILE a", 'A', 'D', 'D'}, {".SORTLABELFILE X", 0, 'D', 'D'},
               {".SORTLABELFILE", 'D', 'D', 'D'},   {".SORTEQUFILE A", 'D', 'A', 'D'},
               {".SORTRAMFILE ASC", 'D', 'D', 0},   {".SORTRAMFILE A", 'D', 'D', 'A'}};
  for (const auto& c : sorts) {
    reset();
    run->source.assemblingOn = 0;
    run->directives.labelSortOrder = run->directives.constantSortOrder =
        run->directives.ramSortOrder = 'D';
    EXPECT_EQ(directive(c.line), 0) << c.line;
    EXPECT_EQ(run->directives.labelSortOrder, c.label) << c.line;
    EXPECT_EQ(run->directives.constantSortOrder, c.constant) << c.line;
    EXPECT_EQ(run->directives.ramSortOrder, c.ram) << c.line;
    EXPECT_TRUE(run->diagnostics.lineErrors.empty()) << c.line;
  }
}

TEST_F(DirectiveTest, BankConvertArea) {
  const struct {
    uint16_t start, end;  // bounds before the line
    const char* words;
    uint16_t startAfter, endAfter;
    Errors errors;
  } cases[] = {
      {0x100, 0x1FF, "01FFh 0100h", 0x100, 0x1FF, {}},
      {0x100, 0x1FF, "0100h 0104h", 0x100, 0x104, {60}},  // 5 words
      {0x100, 0x1FF, "0020h 0300h", 0x020, 0x300, {59, 61}},
      {0x100, 0x1FF, "0x30 22F", 0x030, 0x22F, {}},    // 512 words
      {0x100, 0x1FF, "30h 230h", 0x030, 0x230, {61}},  // 513 words
      {0x100, 0x1FF, "100 107", 0x100, 0x107, {}},     // 8 words
      {0x100, 0x1FF, "0700h 0800h", 0x700, 0x800, {59}},
      {0x100, 0x1FF, "0180h", 0x180, 0x1FF, {}},     // the end bound is kept
      {0x100, 0x1FF, "0300h", 0x1FF, 0x300, {}},     // kept, then exchanged
      {0x1FF, 0x100, "", 0x100, 0x1FF, {}},          // no words: stored bounds ordered
      {0x000, 0xFFFF, "", 0x000, 0xFFFF, {59, 60}},  // the 16-bit size wraps to 0
  };
  for (const auto& c : cases) {
    reset();
    run->source.assemblingOn = 0;
    persistentSettings().bankConvertStart = c.start;
    persistentSettings().bankConvertEnd = c.end;
    EXPECT_EQ(directive(std::string(".BANKCONVERTAREA ") + c.words), 0) << c.words;
    EXPECT_EQ(persistentSettings().bankConvertStart, c.startAfter) << c.words;
    EXPECT_EQ(persistentSettings().bankConvertEnd, c.endAfter) << c.words;
    EXPECT_EQ(run->diagnostics.lineErrors, c.errors) << c.words;
  }
  reset();
  directive(".BANKCONVERTAREA 0020h 0300h", 1);
  EXPECT_TRUE(run->diagnostics.lineErrors.empty());
}

TEST_F(DirectiveTest, NextDirectiveWord) {
  // A line feed ends the words; the position never passes the end of the text.
  run->directives.directiveLine = ".X  a\tbc \n";
  run->directives.directiveArgPos = 2;
  std::vector<std::string> words;
  while (nextDirectiveWord(*run)) words.push_back(run->directives.directiveWord);
  EXPECT_EQ(words, (std::vector<std::string>{"a", "bc"}));
  EXPECT_FALSE(nextDirectiveWord(*run));
  EXPECT_EQ(run->directives.directiveArgPos, run->directives.directiveLine.size());

  // A keyword that ends the text leaves no words.
  directive(".SORTLABELFILE");
  EXPECT_EQ(run->directives.directiveArgPos, run->directives.directiveLine.size());
  EXPECT_FALSE(nextDirectiveWord(*run));
}

// DS goes through the statement splitter and the evaluator, DEFINE through its handler.
TEST_F(DirectiveTest, HandsOverToOtherModules) {
  run->source.locationCounter = 0x10;
  EXPECT_EQ(directive(".DS 3 ; three words"), resultReserved);
  EXPECT_EQ(run->source.locationCounter, 0x13);
  EXPECT_TRUE(run->diagnostics.lineErrors.empty());

  // DEFINE is taken whether or not its handler enters anything.
  reset();
  EXPECT_EQ(directive("#DEFINE DEBUG", 1), 0);
  reset();
  run->source.assemblingOn = 0;
  EXPECT_EQ(directive("#DEFINE DEBUG", 1), 0);
  EXPECT_TRUE(run->substitutions.defines.empty());
}

}  // namespace
}  // namespace zq
