// Directive recognition and the simple directives, run through processDirective on a bare
// run object.
#include "directives/directive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "chip/object_file.h"
#include "services/persistent_settings.h"
#include "services/run.h"

namespace zq {
namespace {

using Errors = std::vector<int>;
constexpr int kNo = resultNotDirective;

class DirectiveTest : public ::testing::Test {
 protected:
  // The bank convert bounds outlive a run: put the loaded ones back.
  void TearDown() override { setBank(0x100, 0x1FF); }
  static void setBank(unsigned start, unsigned end) {
    persistentSettings().bankConvertStart = static_cast<uint16_t>(start);
    persistentSettings().bankConvertEnd = static_cast<uint16_t>(end);
  }
  int directive(const std::string& line, int pass = 2, size_t position = 0) {
    return processDirective(*run, line, position, pass, 1);
  }
  const Errors& errors() const { return run->diagnostics.lineErrors; }

  // A fresh run set up from words: off (file lines skipped), macro (a line of an
  // expansion), macroOff, if / macroIf (one open level), and the words of state().
  void arrange(const std::string& words) {
    run = std::make_unique<AssemblerRun>();
    setBank(0x100, 0x1FF);
    SourceState& s = run->source;
    DirectiveState& d = run->directives;
    std::istringstream in(words);
    for (std::string w; in >> w;) {
      unsigned a = 0, b = 0;
      if (w == "off") s.assemblingOn = 0;
      if (w == "macro") s.macroContext = 0;
      if (w == "macroOff") s.macroAssemblingOn = 0;
      if (w == "if") run->conditions.sourceConditions.depth = 1;
      if (w == "macroIf") run->conditions.macroConditions.depth = 1;
      if (w == "def") s.macroDefinitionOpen = 1;
      if (w == "data") s.dataSegmentOpen = 1;
      if (w == "table") s.tableSegmentOpen = 1;
      if (w == "overlap") d.dnOverlapAllowed = 1;
      if (w == "sort=DDD") d.labelSortOrder = d.constantSortOrder = d.ramSortOrder = 'D';
      if (std::sscanf(w.c_str(), "lc=%x", &a) == 1) s.locationCounter = static_cast<int32_t>(a);
      if (std::sscanf(w.c_str(), "bank=%x-%x", &a, &b) == 2) setBank(a, b);
    }
  }
  // What the simple directives change, as words; a sort order of 0 shows as "-".
  std::string state() const {
    const SourceState& s = run->source;
    const DirectiveState& d = run->directives;
    const PersistentSettings& p = persistentSettings();
    std::string out;
    auto add = [&out](bool on, const std::string& word) {
      if (on) out += (out.empty() ? "" : " ") + word;
    };
    auto order = [](char c) { return c ? c : '-'; };
    char text[32];
    add(s.macroDefinitionOpen, "def");
    add(s.dataSegmentOpen, "data");
    add(s.tableSegmentOpen, "table");
    add(d.dnOverlapAllowed, "overlap");
    add(!run->substitutions.defines.empty(), "defines");
    add(d.labelSortOrder || d.constantSortOrder || d.ramSortOrder,
        std::string("sort=") + order(d.labelSortOrder) + order(d.constantSortOrder) +
            order(d.ramSortOrder));
    std::snprintf(text, sizeof text, "lc=%X", static_cast<unsigned>(s.locationCounter));
    add(s.locationCounter != 0, text);
    std::snprintf(text, sizeof text, "bank=%04X-%04X", p.bankConvertStart, p.bankConvertEnd);
    add(p.bankConvertStart != 0x100 || p.bankConvertEnd != 0x1FF, text);
    return out;
  }
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

// Each line in pass 1 and pass 2: same result and state, diagnostics in pass 2 only.
TEST_F(DirectiveTest, LinesAndTheStateTheyLeave) {
  const struct {
    const char* line;
    const char* before;
    int result;
    const char* after;
    Errors errors;
  } cases[] = {
      // Recognition.
      {".DnOverlap\tOn\n", "", 0, "overlap", {}},
      {" \t .DNOVERLAP 1", "", 0, "overlap", {}},
      {"DNOVERLAP ON", "", kNo, "", {}},
      {"#DATA", "", kNo, "", {}},
      {"#IFSAME A,B", "", kNo, "", {}},
      {".ENDIF;x", "", kNo, "", {}},
      {".SORTLABELFILEXYZ A", "", kNo, "", {}},  // 17 characters
      {".", "", kNo, "", {}},
      {"#endif", "", 0, "", {28}},  // no open level
      // An open macro definition takes every directive; only ENDM, of any prefix, acts.
      {".IF X", "def", 0, "def", {}},
      {".END", "def", 0, "def", {}},
      {".DNOVERLAP ON", "def", 0, "def", {}},
      {".NOSUCH", "def", kNo, "def", {}},
      {"ENDM", "def", kNo, "def", {}},
      {".ENDM", "def", 0, "", {}},
      {"#ENDMAC", "def", 0, "", {}},
      // END, EXITMAC and DS follow the flag of the line's origin; DS goes to the evaluator.
      {".END", "off", resultEndOfSource, "", {}},
      {".EXITMAC", "macro", resultExitMacro, "", {}},
      {".EXITMACRO", "macro macroOff", 0, "", {}},
      {".DS 3", "off", 0, "", {}},
      {".DS 3 ; three words", "lc=10", resultReserved, "lc=13", {}},
      {".DS 0FFFFh", "lc=7FFFFFF0", resultReserved, "lc=7FFFFFFF", {}},  // stops, no overflow
      {".DS  ; none", "", 0, "", {33}},
      {".CHIP ZQ4410", "", 0, "", {}},
      {"#DEFINE DEBUG", "off", 0, "", {}},  // taken, and enters nothing
      // Segments, also in skipped regions.
      {".DATA", "off", 0, "data", {}},
      {".TABLE", "off", 0, "table", {}},
      {".DATA", "off table", 0, "table", {7}},
      {".TABLE", "off data", 0, "data", {7}},
      {".DATA", "off data", 0, "data", {7}},
      {".ENDD", "off data", 0, "", {}},
      {".ENDTABLE", "off table", 0, "", {}},
      {".ENDDATA", "off", 0, "", {7}},
      {".ENDD", "off table", 0, "table", {7}},
      {".ENDD", "off data table", 0, "data table", {7}},
      // Settings, also in skipped regions.
      {".DNOVERLAP oFF", "off overlap", 0, "", {}},
      {".DNOVERLAP", "off overlap", 0, "overlap", {}},
      {".DNOVERLAP YES", "off overlap", 0, "overlap", {57}},
      {".SORTLABELFILE a", "off sort=DDD", 0, "sort=ADD", {}},
      {".SORTLABELFILE X", "off sort=DDD", 0, "sort=-DD", {}},
      {".SORTLABELFILE", "off sort=DDD", 0, "sort=DDD", {}},
      {".SORTEQUFILE A", "off sort=DDD", 0, "sort=DAD", {}},
      {".SORTRAMFILE ASC", "off sort=DDD", 0, "sort=DD-", {}},
      // Bank convert area: 59 outside 30h-7FFh, 60 under 8 words, 61 over 512, 33 without
      // an end. Only bounds that pass are kept.
      {".BANKCONVERTAREA 01FFh 0100h", "off", 0, "", {}},
      {".BANKCONVERTAREA 0x30 \t22F", "off", 0, "bank=0030-022F", {}},
      {".BANKCONVERTAREA 100 107", "off", 0, "bank=0100-0107", {}},
      {".BANKCONVERTAREA 0100h 0104h", "off bank=200-2FF", 0, "bank=0200-02FF", {60}},
      {".BANKCONVERTAREA 0020h 0300h", "off", 0, "", {59, 61}},
      {".BANKCONVERTAREA 30h 230h", "off", 0, "", {61}},
      {".BANKCONVERTAREA 0700h 0800h", "off", 0, "", {59}},
      {".BANKCONVERTAREA 0 0FFFFh", "off", 0, "", {59, 60}},  // size wraps to 0
      {".BANKCONVERTAREA 0300h", "off bank=200-2FF", 0, "bank=0200-02FF", {33}},
      {".BANKCONVERTAREA ", "off bank=1FF-100", 0, "", {}},  // stored bounds ordered
  };
  for (const auto& c : cases) {
    for (int pass = 1; pass <= 2; ++pass) {
      SCOPED_TRACE(std::string(c.line) + " [" + c.before + "] pass " + std::to_string(pass));
      arrange(c.before);
      EXPECT_EQ(directive(c.line, pass), c.result);
      EXPECT_EQ(state(), c.after);
      EXPECT_EQ(errors(), pass == 2 ? c.errors : Errors{});
    }
  }
}

// The quoted pieces are joined; 32 for a missing quote, 53 for an empty text.
TEST_F(DirectiveTest, UserError) {
  const struct {
    const char* line;
    const char* text;
    Errors errors;
  } cases[] = {
      {".ERROR \"Stack\" \"overflow\"", "Stackoverflow", {}},
      {".ERROR \"Stack\" junk \"overflow\" ; \"more\"\n", "Stackoverflow", {}},
      {".ERROR \"a;b\"", "a;b", {}},
      {".ERROR \"\"", "", {53}},
      {".ERROR \"unterminated\n", "unterminated", {32}},
      {".ERROR no quotes", "", {32, 53}},
  };
  for (const auto& c : cases) {
    arrange("");
    run->diagnostics.userErrorText = "old";
    EXPECT_EQ(directive(c.line), 0) << c.line;
    EXPECT_EQ(run->diagnostics.userErrorText, c.text) << c.line;
    EXPECT_EQ(errors(), c.errors) << c.line;
  }
}

// In pass 2 DS holds the words it reserves (those within the ROM) as code holds its own:
// reserving a held word is error 13, and ORG and code see the reserved words as used.
TEST_F(DirectiveTest, DsHoldsItsWords) {
  arrange("");
  run->source.programRomTop = 0xFFF;
  ASSERT_TRUE(recordInstruction(*run, 2, 0x21));
  // Pass 1 holds nothing; 11h is reserved, 21h holds code, the ROM ends at 0FFFh.
  const struct {
    int pass, at;
    const char* line;
    Errors errors;
  } steps[] = {{1, 0x12, ".DS 4", {}},   {2, 0x10, ".DS 2", {}},  {2, 0x11, ".DS 1", {13}},
               {2, 0x20, ".DS 2", {13}}, {2, 0xFFE, ".DS 9", {}}, {2, 0x1000, ".DS 1", {}}};
  for (const auto& step : steps) {
    run->diagnostics.lineErrors.clear();
    run->source.locationCounter = step.at;
    EXPECT_EQ(directive(step.line, step.pass), resultReserved);
    EXPECT_EQ(errors(), step.errors) << step.line << " at " << step.at;
  }
  std::string held;
  for (int32_t address : {0x0F, 0x10, 0x11, 0x12, 0x20, 0x21, 0xFFF, 0}) {
    run->source.locationCounter = address;
    held += std::to_string(orgAddressUsed(*run));
  }
  EXPECT_EQ(held, "01101110");
}

}  // namespace
}  // namespace zq
