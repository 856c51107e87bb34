// Formatting: the columns of odd lines, the lines that must stay, and the proof that
// matters: sources formatted with several option sets assemble to the same outputs
// (every file but the listing) and format to themselves again. Both requests are also
// made through the protocol on a project with an include file and a macro.
#include "formatting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "server_session.h"
#include "test_support.h"
#include "zqasm/assembler.h"

namespace zqlsp {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string formatted(const std::string& text, FormattingOptions options = {}) {
  return applyFormatEdits(text, formatEdits(text, options));
}

// Columns 8, 16 and 32; a field that reaches its column is pushed by one blank; a run
// the assembler reads (the conditionals' text, the text of a DEFSTRING, the quoted texts
// of .ERROR) is copied.
TEST(LspFormattingTest, PutsFieldsIntoColumns) {
  const std::string pad18(18, ' ');
  const std::pair<std::string, std::string> cases[] = {
      {"start: JMP loop ; go", "start:  JMP     loop            ; go"},
      {"\tLDA\t5\t; x", "        LDA     5               ; x"},
      {"L1 NOP", "L1      NOP"},
      {"  L1: NOP", "L1:     NOP"},
      {"VERYLONGLABEL    LDA   5", "VERYLONGLABEL LDA 5"},
      {"#DEFINE    START   2", "#DEFINE START   2"},
      {".ORG 0", ".ORG    0"},
      {"CALL SUB", "CALL    SUB"},
      {"  foo a, b", "        foo     a, b"},
      {"X EQU 5 ; c", "X       EQU     5               ; c"},
      {"L2 ; alone", "L2                              ; alone"},
      {"  .ENDIF   ; done", "        .ENDIF" + pad18 + "; done"},
      {"   .IF  .PARAMCOUNT = 2   ; c", "        .IF  .PARAMCOUNT = 2   ; c"},
      {"X DEFSTR a b   ; c", "X       DEFSTR  a b   ; c"},
      {"  .ERROR  \"bad\"   ; c", "        .ERROR  \"bad\"   ; c"},
      {"  DB \"A; B\"  ; c", "        DB      \"A; B\"  ; c"},
      {"  LDA ' ' ; blank", "        LDA     ' ' ; blank"},  // ";" may be quoted
      {"  NOP\r\n", "        NOP\r\n"},
      {"  NOP  \nX", "        NOP  \nX"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatted(c.first), c.second) << c.first;
    EXPECT_EQ(formatted(c.second), c.second) << c.second;
  }
}

// Lines whose blanks may count, or whose fields are not plainly label, operation and
// operand, stay byte for byte.
TEST(LspFormattingTest, LeavesLinesThatAreNotSafe) {
  const std::string unchanged[] = {
      "; comment",
      "      ; indented comment",
      "L1:NOP",               // a field joined to the next
      "  NOP;x",              // the comment joined
      "  #include defs.inc",  // include line
      "1abc: NOP",            // no label, nor an operation in its place
      "  L1:X: NOP",
      "A-B  NOP",
      "  NOP  ",                                  // the last line ends in blanks
      "  NOP ;" + std::string(1100, 'x') + "\n",  // beyond the line limit
      "  NOP" + std::string(90, ' ') + "; x\n",   // a run that fills a read piece
      "  NOP\r  NOP\n",                           // a lone CR
  };
  for (const std::string& text : unchanged) EXPECT_TRUE(formatEdits(text, {}).empty()) << text;
}

// A macro body stays as written, from the line after its head through the first .ENDM
// (a .MACRO inside does not nest); the head and the lines after it are formatted.
TEST(LspFormattingTest, LeavesMacroBodies) {
  const std::string text =
      "M .MACRO P\n"
      "  LDA  P\n"
      " N .MACRO\n"
      "\t.ENDM\n"
      "  NOP\n"
      " .ENDM\n";
  EXPECT_EQ(formatted(text),
            "M       .MACRO  P\n"
            "  LDA  P\n"
            " N .MACRO\n"
            "\t.ENDM\n"
            "        NOP\n"
            "        .ENDM\n");
  // A range after the head knows that its lines are a body.
  std::vector<FormatEdit> edits = formatEdits(text, {}, 1, 4);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].line, 4);
  EXPECT_EQ(edits[0].startColumn, 0);
  EXPECT_EQ(edits[0].endColumn, 2);
  EXPECT_EQ(edits[0].newText, std::string(8, ' '));
}

TEST(LspFormattingTest, ColumnsFollowTheOptions) {
  FormattingOptions tabs{4, false};
  EXPECT_EQ(formatted("L1 LDA 5 ; c", tabs), "L1\t\tLDA\t\t5\t\t\t\t; c");
  EXPECT_EQ(formatted("  NOP", tabs), "\t\tNOP");
  FormattingOptions three{3, true};
  EXPECT_EQ(formatted("L1 LDA 5 ; c", three), "L1       LDA      5              ; c");
  for (const auto& [tabSize, operation, operand, comment] :
       {std::tuple{16, 16, 32, 48}, std::tuple{0, 8, 16, 32}}) {  // 0 taken as 1
    const FormatColumns c = formatColumns({tabSize, true});
    EXPECT_EQ(std::tuple(c.operation, c.operand, c.comment),
              std::tuple(operation, operand, comment));
  }
}

// Odd lines that assemble, with errors among them: tabs, labels with and without colons,
// quoted blanks and semicolons, texts with blanks, data and table lines, macro calls
// with spaced arguments, conditionals, .PARAMCOUNT.
const char kOddLines[] =
    "\t.CHIP\tZQ4460\n"
    "; comment line\n"
    "   ; indented comment\n"
    "COUNT\tEQU\t3 ; c\n"
    "  PAIR DEFSTRING 45h, 3   ; a text with blanks\n"
    "#DEFINE   FAST\n"
    "\t.DATA\n"
    "\tORG 40h\n"
    "FLAGS DN 1\n"
    "   BUF:   DN   2 ; colon in data\n"
    "\t.ENDD\n"
    "\t.TABLE\n"
    "  .DB \"A; B\", 'x' ; quoted semicolon\n"
    "   DN 4, 41h\n"
    "  .DW   1234h ,  5 ; spaced\n"
    "\t.ENDT\n"
    "SETREG .MACRO REG, VAL\n"
    "\tMOV   REG, VAL\n"
    "\t  .IF .PARAMCOUNT = 2\n"
    "\tLDA VAL\n"
    "\t.ENDIF\n"
    " .ENDM\n"
    "start: JMP   next ; go\n"
    "next:NOP\n"
    "  LDA ' ' ; quoted blank\n"
    "\tSETREG 45h, 3\n"
    "\tSETREG   45h , 3   ; spaced arguments\n"
    "  lab2:   SETREG 45h, 3\n"
    "\t.IF  COUNT .GT. 2   ; condition\n"
    "\tNOP\n"
    "\t.ELSE\n"
    "\tHALT\n"
    "\t.ENDIF\n"
    "X1 NOP\n"
    "NOP ; a mnemonic in column 0\n"
    "\tMOV PAIR\n"
    "\tORG 100H\n"
    "\tLDA   UNDEFINED ; an error\n"
    "\tFOO 1 ; an unknown mnemonic\n"
    "  BAD LABEL: NOP\n"
    "\t.END\n";

// Every output file of a run but the listing, by name.
std::map<std::string, std::string> outputsOf(const std::string& dir, const std::string& source,
                                             int romTop, int tableTop) {
  ZqasmResetRunSettings();
  auto params = zqtest::makeParams(dir + "/" + source, romTop, tableTop);
  std::snprintf(params->includeDir1, sizeof params->includeDir1, "%s", dir.c_str());
  Run44Assembler(params.get());
  std::map<std::string, std::string> outputs;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".asm" || ext == ".inc" || ext == ".LST") continue;
    outputs[entry.path().filename().string()] = zqtest::readFile(entry.path().string());
    fs::remove(entry.path());
  }
  ZqasmResetRunSettings();
  return outputs;
}

// Formats every source of `dir` with each option set and assembles again: the same
// outputs, and the formatted sources format to themselves.
void expectSameOutputs(const std::string& dir, const std::string& source, int romTop,
                       int tableTop) {
  const std::map<std::string, std::string> before = outputsOf(dir, source, romTop, tableTop);
  ASSERT_TRUE(before.count(fs::path(source).stem().string() + ".ERR")) << dir;
  std::map<std::string, std::string> originals;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".asm" || ext == ".inc")
      originals[entry.path().string()] = zqtest::readFile(entry.path().string());
  }
  for (const FormattingOptions options :
       {FormattingOptions{8, true}, FormattingOptions{4, false}, FormattingOptions{3, true}}) {
    SCOPED_TRACE("tab size " + std::to_string(options.tabSize));
    size_t changed = 0;
    for (const auto& [path, text] : originals) {
      const std::string once = formatted(text, options);
      changed += once != text;
      EXPECT_TRUE(formatEdits(once, options).empty()) << path << " is not formatted once";
      zqtest::writeFile(path, once);
    }
    // The examples and the benchmark are written in the columns of tab size 8 already.
    if (options.tabSize != 8) {
      EXPECT_GT(changed, 0u);
    }
    const std::map<std::string, std::string> after = outputsOf(dir, source, romTop, tableTop);
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [name, content] : before) EXPECT_TRUE(after.at(name) == content) << name;
  }
}

// The odd lines (their macro body stays as written) and the examples.
TEST(LspFormattingTest, OddLinesAndExamplesAssembleAsBefore) {
  const std::string formattedOnce = formatted(kOddLines);
  EXPECT_NE(formattedOnce.find("\n\t  .IF .PARAMCOUNT = 2\n"), std::string::npos);
  EXPECT_NE(formattedOnce.find("\tMOV   REG, VAL\n"), std::string::npos);
  for (const auto& [source, romTop, tableTop] :
       {std::tuple{"odd.asm", 0xFFF, 0xFF}, std::tuple{"demo.asm", 0xFFF, 0xFF},
        std::tuple{"banked.asm", 0x2FFF, -1}}) {
    SCOPED_TRACE(source);
    zqtest::TempDir dir;
    if (source == std::string("odd.asm"))
      zqtest::writeFile(dir.file(source), kOddLines);
    else
      fs::copy_file(std::string(ZQASM_TEST_EXAMPLES_DIR) + "/" + source, dir.file(source));
    expectSameOutputs(dir.path(), source, romTop, tableTop);
  }
}

// The benchmark programs as bench/gen_programs.py writes them (it needs python3).
TEST(LspFormattingTest, BenchmarkProgramsAssembleAsBefore) {
  zqtest::TempDir dir;
  const std::string generator = std::string(ZQASM_TEST_EXAMPLES_DIR) + "/../bench/gen_programs.py";
  const std::string command = "python3 '" + generator + "' '" + dir.path() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "python3 cannot write the programs";
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().filename() == "m12000") continue;  // m1000 has its shape
    SCOPED_TRACE(entry.path().filename().string());
    expectSameOutputs(entry.path().string(), "main.asm", 0x2FFF, 0xFF);
  }
}

using Session = zqtest::ServerSession;

// The editor's text with the TextEdits of an answer made.
std::string applyAnswer(const std::string& text, const json& answer) {
  std::vector<FormatEdit> edits;
  for (const json& e : answer) {
    const json& r = e.at("range");
    EXPECT_EQ(r["start"]["line"], r["end"]["line"]);
    edits.push_back(FormatEdit{r["start"]["line"].get<int>(), r["start"]["character"].get<int>(),
                               r["end"]["character"].get<int>(), e["newText"].get<std::string>()});
  }
  return applyFormatEdits(text, edits);
}

TEST(LspFormattingTest, AnswersBothRequestsThroughTheProtocol) {
  zqtest::TempDir dir;
  const std::string defs = "WAIT .MACRO CNT\n SPIN: LDA  CNT\n .ENDM\n";
  const std::string main =
      ".CHIP ZQ4460\n"          // 0
      " #include <defs.inc>\n"  // 1
      "START: LDA 3 ; go\n"     // 2
      "  WAIT   2\n"            // 3
      "LOOP JZ START\n";        // 4
  zqtest::writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  zqtest::writeFile(dir.file("defs.inc"), defs);
  zqtest::writeFile(dir.file("main.asm"), main);
  Session s;
  const json capabilities = s.initialize(dir.path());
  EXPECT_EQ(capabilities["documentFormattingProvider"], true);
  EXPECT_EQ(capabilities["documentRangeFormattingProvider"], true);
  const std::string mainUri = Session::uri(dir.file("main.asm"));
  const std::string defsUri = Session::uri(dir.file("defs.inc"));
  s.open(mainUri, main);
  s.open(defsUri, defs);
  auto format = [&s](const std::string& u, const json& options) {
    return s.request("textDocument/formatting",
                     {{"textDocument", {{"uri", u}}}, {"options", options}});
  };
  const json options = {{"tabSize", 8}, {"insertSpaces", true}};
  const json whole = format(mainUri, options);
  ASSERT_TRUE(whole.is_array()) << whole;
  EXPECT_EQ(applyAnswer(main, whole),
            ".CHIP   ZQ4460\n"
            " #include <defs.inc>\n"
            "START:  LDA     3               ; go\n"
            "        WAIT    2\n"
            "LOOP    JZ      START\n");
  // Lines 3 and 4 up to the start of line 5: line 5 is left out.
  const json part =
      s.request("textDocument/rangeFormatting", {{"textDocument", {{"uri", mainUri}}},
                                                 {"range", zqtest::rangeOf(3, 2, 5, 0)},
                                                 {"options", options}});
  EXPECT_EQ(applyAnswer(main, part),
            ".CHIP ZQ4460\n"
            " #include <defs.inc>\n"
            "START: LDA 3 ; go\n"
            "        WAIT    2\n"
            "LOOP    JZ      START\n");
  // In the include file the macro's head moves and its body stays.
  EXPECT_EQ(applyAnswer(defs, format(defsUri, {{"tabSize", 4}, {"insertSpaces", false}})),
            "WAIT\t.MACRO\tCNT\n SPIN: LDA  CNT\n .ENDM\n");
  // A document that is not open has nothing to format.
  EXPECT_EQ(format(Session::uri(dir.file("none.asm")), options), json::array());
}

}  // namespace
}  // namespace zqlsp
