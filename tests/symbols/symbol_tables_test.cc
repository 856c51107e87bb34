// Constants, DEFINE/DEFSTRING names and the symbol listings: the definition keyword
// scan, pass-1 entry and pass-2 checks, the table limit, and the sort orders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/run.h"
#include "symbols/constant_table.h"
#include "symbols/substitution.h"
#include "symbols/symbol_listing.h"
#include "test_support.h"

namespace zq {
namespace {

class SymbolTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { run.constants.records.resize(kMaxConstants + 1); }
  int define(const std::string& line, int pass, uint32_t lineNumber = 1) {
    return defineConstant(run, line + "\n", pass, lineNumber, "EQU");
  }
  std::vector<int> errors() { return run.diagnostics.lineErrors; }
  AssemblerRun run;
};

TEST_F(SymbolTablesTest, DefinitionKeywordScan) {
  for (const char* line : {"X EQU 5", "X .equ 5", "X: EQUAL 5", "X\tEqu\t5", "  EQU 5"})
    EXPECT_TRUE(hasDefinitionKeyword(std::string(line) + "\n", "EQU", "EQUAL")) << line;
  for (const char* line : {"EQU 5", "X EQU5", "X ; EQU 5", "X.EQU 5", "X EQUALS 5", "X EQU"})
    EXPECT_FALSE(hasDefinitionKeyword(std::string(line) + "\n", "EQU", "EQUAL")) << line;
  EXPECT_TRUE(hasDefinitionKeyword("S DEFSTRING A, B\n", "DEFSTR", "DEFSTRING"));
}

TEST_F(SymbolTablesTest, ConstantsEnterInPassOneAndCheckInPassTwo) {
  EXPECT_EQ(define("CH EQU 'A'", 1, 1), resultConstantDefined);
  EXPECT_EQ(define("K EQU CH+1", 1, 2), resultConstantDefined);
  EXPECT_EQ(define("k EQU 9", 1, 3), resultConstantDefined);  // not a duplicate: case counts
  EXPECT_EQ(define("K EQU 7", 1, 4), resultConstantDefined);
  EXPECT_EQ(define("A EQU B+1", 1, 5), resultConstantDefined);  // B unknown: nothing entered
  EXPECT_EQ(define("X EQU 1 + 2", 1, 6), resultConstantDefined);
  EXPECT_EQ(run.constants.count, 4);
  EXPECT_EQ(findConstant(run, "K"), 66);  // the first of a name wins, any case
  EXPECT_EQ(findConstant(run, "A"), -1);
  const std::string longName(70, 'L');  // stored cut to 64, so never found
  define(longName + " EQU 3", 1, 8);
  EXPECT_EQ(run.constants.records[5].name, longName.substr(0, 64));
  EXPECT_EQ(findConstant(run, longName), -1);
  // Pass 2: the duplicate, the value for the listing, the wrong field count.
  define("K EQU 7", 2, 4);
  EXPECT_EQ(errors(), std::vector<int>{11});
  run.diagnostics.lineErrors.clear();
  define("k EQU 9", 2, 3);
  EXPECT_EQ(run.source.lastConstantValue, 9);
  define("X EQU 1 + 2", 2, 6);
  define("Y EQU $+1", 2, 7);
  EXPECT_EQ(errors(), (std::vector<int>{20, 1}));
}

// Flags, redefinitions and DEFSTRING texts are covered end to end; these are the edges.
TEST_F(SymbolTablesTest, DefinesAndStrings) {
  EXPECT_EQ(defineSymbol(run, "#DEFINE Flag\n", 2, 1), 1);
  EXPECT_EQ(findDefine(run, "FLAG", -1), -1);  // always compared with case
  EXPECT_EQ(defineSymbol(run, "#DEFINE ?X 1\n", 2, 2), -1);
  EXPECT_EQ(defineSymbol(run, "#DEFINE\n", 2, 3), 0);
  EXPECT_EQ(errors(), (std::vector<int>{0, 20}));

  EXPECT_EQ(defineString(run, "S DEFSTR 1, 2 ; two\n", 1, 1, "DEFSTR"), resultStringDefined);
  EXPECT_EQ(defineString(run, "S DEFSTR X\n", 1, 2, "DEFSTR"), resultStringDefined);
  std::string text;
  EXPECT_EQ(findString(run, "S", text), 0);
  EXPECT_EQ(text, "1, 2 ");
}

TEST_F(SymbolTablesTest, SortOrders) {
  // The usual orders are in the end-to-end listings; a prefix first, bytes unsigned.
  EXPECT_LT(compareExact("AB", "ABC"), 0);
  EXPECT_GT(compareExact("\xE9", "z"), 0);  // bytes compare unsigned

  auto labels = [&](int caseSensitive, char order, std::vector<std::string> names) {
    run.labels.nodes.clear();
    uint16_t line = 0;
    for (const std::string& name : names) run.labels.nodes.push_back({name, ++line});
    run.source.labelCaseSensitive = caseSensitive;
    run.directives.labelSortOrder = order;
    sortLabels(run);
    std::string result;
    for (const LabelNode& node : run.labels.nodes)
      result += node.name + std::to_string(node.lineNumber) + " ";
    return result;
  };
  // Equal names end in the order of the exchange sort itself, which is not a stable one:
  // random tables of few distinct names against that sort, run as written.
  auto exchangeSorted = [&](int caseSensitive, char order, std::vector<std::string> names) {
    const int sign = order == 'A' ? 1 : -1;
    std::vector<std::pair<std::string, int>> table;
    for (const std::string& name : names)
      table.push_back({name, static_cast<int>(table.size()) + 1});
    for (size_t i = 0; i + 1 < table.size(); ++i)
      for (size_t j = i + 1; j < table.size(); ++j) {
        const std::string& a = table[j].first;
        const std::string& b = table[i].first;
        if (sign * (caseSensitive ? compareExact(a, b) : compareFolded(a, b)) < 0)
          std::swap(table[i], table[j]);
      }
    std::string result;
    for (const auto& [name, line] : table) result += name + std::to_string(line) + " ";
    return result;
  };
  uint32_t seed = 12345;
  auto random = [&](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  for (int round = 0; round < 400; ++round) {
    const uint32_t kinds = 1 + random(round % 3 == 0 ? 3 : 12);
    std::vector<std::string> names(1 + random(60));
    for (std::string& name : names)
      name = std::string(1, "aBAbc_"[random(6)]) + std::to_string(random(kinds));
    const int caseSensitive = round % 2;
    const char order = round % 4 < 2 ? 'A' : 'D';
    EXPECT_EQ(labels(caseSensitive, order, names), exchangeSorted(caseSensitive, order, names));
  }
}

// The name columns: a constant name longer than 32 widens its line, a label name is cut.
TEST_F(SymbolTablesTest, SymbolFileColumns) {
  zqtest::TempDir dir;
  run.files.equName = dir.file("p.EQU");
  run.files.lblName = dir.file("p.LBL");
  define(std::string(40, 'C') + " EQU 5", 1, 3);
  run.labels.nodes = {{std::string(40, 'N'), 1}};
  writeConstantFile(run);
  EXPECT_EQ(zqtest::readFile(run.files.equName),
            "Line   Constant Name                     Value  Dup  Deep\n"
            "=====  ================================  =====  ===  ====\n"
            "    3  " +
                std::string(40, 'C') + "  0005h  0    0\n");
  EXPECT_EQ(zqtest::readFile(run.files.lblName),
            "Label Name" + std::string(22, ' ') + " Addr Line  Dup\n" + std::string(32, '=') +
                " ==== ===== ===\n" + std::string(32, 'N') + " 0000     1 0\n" +
                std::string(47, '=') + "\n");
}

}  // namespace
}  // namespace zq
