#include "workspace.h"

#include <gtest/gtest.h>

#include <string>

#include "config.h"
#include "platform/platform.h"
#include "source_lexer.h"
#include "test_support.h"

namespace zqlsp {
namespace {

using zqtest::writeFile;

const char kDefs[] =
    "LIMIT EQU 0FH\nWAIT .MACRO VAR\n .LOCALLABEL SPIN\nSPIN: LDA VAR\n JNZ SPIN\n .ENDM\n";
const char kMain[] =
    ".CHIP ZQ4460\n #include <defs.inc>\n .DATA\nBUF DN 2\n .ENDD\nSTART: LDA LIMIT\n WAIT BUF\n"
    " WAIT 1\n JMP START\n";

// A folder with main.asm and defs.inc on disk and a workspace that searches it.
struct Fixture {
  zqtest::TempDir dir;
  std::string main, defs;
  Workspace workspace{zqtest::chipDir()};
  explicit Fixture(int32_t romTop = 0xFFF) {
    writeFile(dir.file("main.asm"), kMain);
    writeFile(dir.file("defs.inc"), kDefs);
    main = zq::fullPath(dir.file("main.asm"));
    defs = zq::fullPath(dir.file("defs.inc"));
    Configuration c;
    c.includeDirectories = {zq::fullPath(dir.path())};
    c.romTop = romTop;
    workspace.configure(c);
  }
  // "LINE:COLUMN-LINE:COLUMN MESSAGE [CODE]", then "  > FILE:LINE MESSAGE" per related place.
  std::string diagnostics(const std::string& file) {
    std::string text;
    for (const Diagnostic& d : workspace.diagnostics(file)) {
      text += std::to_string(d.range.start.line) + ":" + std::to_string(d.range.start.column) +
              "-" + std::to_string(d.range.end.line) + ":" + std::to_string(d.range.end.column) +
              " " + d.message + " [" + d.code + "]\n";
      for (const auto& r : d.related)
        text += "  > " + r.first.file.substr(r.first.file.rfind('/') + 1) + ":" +
                std::to_string(r.first.range.start.line) + " " + r.second + "\n";
    }
    return text;
  }
  std::string locations(const std::vector<Location>& list) {
    std::string text;
    for (const Location& l : list)
      text += l.file.substr(l.file.rfind('/') + 1) + " " + std::to_string(l.range.start.line) +
              ":" + std::to_string(l.range.start.column) + "-" +
              std::to_string(l.range.end.column) + "\n";
    return text;
  }
};

// An unsaved include buffer with errors, one of them in a macro body (shown there, with
// the call), published to the include file; a fix clears them. An open include is no
// main source of its own; a file that nothing includes is.
TEST(WorkspaceTest, DiagnosticsOfBuffersAndIncludes) {
  Fixture f;
  f.workspace.open(f.defs, std::string(kDefs) + " BAD 1\nM2 .MACRO\n JMP NOWHERE\n .ENDM\n");
  f.workspace.open(f.main, std::string(kMain) + " M2\n");
  EXPECT_TRUE(f.workspace.pending());
  const std::vector<std::string> changed = f.workspace.update();
  EXPECT_EQ(f.diagnostics(f.main), "");
  EXPECT_EQ(changed, std::vector<std::string>{f.defs});
  EXPECT_EQ(f.diagnostics(f.defs),
            "6:1-6:4 illegal opcode 'BAD' [E1]\n"
            "8:5-8:12 undefined symbol 'NOWHERE' [E12]\n"
            "  > main.asm:9 in the expansion of macro 'M2' called here\n");
  f.workspace.change(f.defs, std::string(kDefs) + "M2 .MACRO\n NOP\n .ENDM\n");
  EXPECT_EQ(f.workspace.update(), std::vector<std::string>{f.defs});
  EXPECT_EQ(f.diagnostics(f.defs), "");
  writeFile(f.dir.file("alone.asm"), "");
  const std::string alone = zq::fullPath(f.dir.file("alone.asm"));
  f.workspace.open(alone, "NOP\n");
  EXPECT_EQ(f.workspace.update(), std::vector<std::string>{alone});
  EXPECT_EQ(f.diagnostics(alone).substr(0, 12), "0:0-0:3 Fata");
  f.workspace.close(alone);
  f.workspace.update();
  EXPECT_EQ(f.diagnostics(alone), "");
}

// Trap warnings are on unless the configuration (or the server's default) says otherwise;
// each stands at its line, the body line of a macro with the call as related place.
TEST(WorkspaceTest, TrapWarnings) {
  Fixture f;
  const std::string source =
      std::string(kMain) + " .IF DEBUGG == 0\n NOP\n .ENDIF\nM1 .MACRO H\n LDA 1H\n .ENDM\n M1 5\n";
  f.workspace.open(f.main, source);
  f.workspace.update();
  const std::string both =
      "9:5-9:11 undefined symbol 'DEBUGG' taken as 0 [W5]\n"
      "13:5-13:7 macro parameter replaced inside the word '1H' (parameter 'H'), giving '15' "
      "[W6]\n"
      "  > main.asm:15 in the expansion of macro 'M1' called here\n";
  EXPECT_EQ(f.diagnostics(f.main), both);
  Configuration c = f.workspace.configuration();
  c.warnings = "parameter-in-word";
  f.workspace.configure(c);
  f.workspace.update();
  EXPECT_EQ(f.diagnostics(f.main), both.substr(both.find("13:")));
  c.warnings = "";
  f.workspace.configure(c);
  f.workspace.update();
  EXPECT_EQ(f.diagnostics(f.main), "");

  Workspace quiet(zqtest::chipDir(), "");
  c.warnings.reset();
  quiet.configure(c);
  quiet.open(f.main, source);
  quiet.update();
  EXPECT_TRUE(quiet.diagnostics(f.main).empty());
}

// Definitions, references, hovers (a label with its bank, a local label in each
// expansion, a call with its lines, a mnemonic's forms and words, words of the bank
// convert area), completion, outline, semantic tokens.
TEST(WorkspaceTest, Queries) {
  Fixture f(0x2FFF);
  f.workspace.open(f.main, kMain);
  f.workspace.update();
  struct Case {
    std::string file;
    int line, column;
    const char* definition;
    const char* references;
  };
  const Case cases[] = {
      {f.main, 8, 6, "main.asm 5:0-5\n", "main.asm 5:0-5\nmain.asm 8:5-10\n"},
      {f.main, 5, 12, "defs.inc 0:0-5\n", "defs.inc 0:0-5\nmain.asm 5:11-16\n"},
      {f.defs, 4, 6, "defs.inc 3:0-4\n", "defs.inc 3:0-4\ndefs.inc 4:5-9\n"},
      {f.main, 1, 12, "defs.inc 0:0-0\n", ""},
      {f.main, 6, 7, "main.asm 3:0-3\n", "main.asm 3:0-3\nmain.asm 6:6-9\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(f.locations(f.workspace.definition(c.file, {c.line, c.column})), c.definition)
        << c.line;
    EXPECT_EQ(f.locations(f.workspace.references(c.file, {c.line, c.column}, true)), c.references)
        << c.line;
  }
  auto hover = [&f](const std::string& file, int line, int column) {
    auto h = f.workspace.hover(file, {line, column});
    return h ? h->markdown : "";
  };
  EXPECT_EQ(
      hover(f.main, 8, 6),
      "label **START** address 0000h, bank 0  \ndefined at main.asm:6\n\n```\n0005h: D000\n```");
  EXPECT_EQ(hover(f.defs, 3, 1),
            "local label **SPIN**\n- 0001h in the call at main.asm:7\n- 0003h in the call at "
            "main.asm:8  \ndefined at defs.inc:4\n\n```\n0001h: 1000\n0003h: 1010\n```");
  EXPECT_EQ(hover(f.main, 7, 2),
            "macro **WAIT** (VAR)  \ndefined at defs.inc:2\n\nmacro **WAIT** (defs.inc:2) expands "
            "to:\n```\n .LOCALLABEL SPIN\nSPIN: LDA 1  ; SPIN: LDA VAR\n JNZ SPIN\n .ENDM\n```\n\n"
            "```\n0003h: 1010\n0004h: A003\n```");
  EXPECT_EQ(hover(f.main, 5, 8),
            "instruction **LDA**\n```\nLDA value    ; 1000h, operand 1 in 00F0h\n```\n\n```\n"
            "0000h: 10F0\n```");
  EXPECT_EQ(hover(f.main, 2, 0), "");
  // The words as the listing shows them: a far CALL pointed at the bank convert area, and
  // a JMP moved on from the last word of bank 0 and pointed there too.
  const std::string far = zq::fullPath(f.dir.file("far.asm"));
  writeFile(far, "");
  f.workspace.open(far, ".CHIP ZQ4460\n CALL WORK\n ORG 0FFFh\nHERE: JMP HERE\nWORK: RET\n");
  f.workspace.update();
  EXPECT_EQ(hover(far, 1, 0), "```\n0000h: C103\n```");
  EXPECT_EQ(hover(far, 3, 5), "```\n1000h: D101\n```");

  // Mnemonics and macros begin a statement; a jump takes labels, not the label that a
  // macro head defines.
  std::string items;
  for (const Position at : {Position{8, 1}, Position{8, 5}})
    for (const CompletionItem& item : f.workspace.completion(f.main, at).items)
      if (item.kind != 14 || item.label == "LDA")
        items += item.label + " " + std::to_string(item.kind) + " " + item.detail + "\n";
  EXPECT_EQ(items, "LDA 14 LDA value\nWAIT 2 macro (VAR)\nSTART 3 label address 0000h, bank 0\n");
  EXPECT_EQ(f.workspace.completion(f.main, {2, 2}).items.size(), directiveKeywords().size() - 1);

  std::string outline;
  for (const DocumentSymbol& s : f.workspace.documentSymbols(f.main)) {
    outline += s.name + " " + std::to_string(s.kind) + " " + std::to_string(s.range.start.line) +
               "-" + std::to_string(s.range.end.line) + "\n";
    for (const DocumentSymbol& child : s.children)
      outline += "  " + child.name + " " + child.detail + "\n";
  }
  EXPECT_EQ(outline, "DATA 23 2-4\n  BUF address 000h, 2 nibbles\nSTART 12 5-5\n");

  // Decoded: line, column, length, type (tokenTypes()), modifiers.
  std::string tokens;
  const std::vector<uint32_t> data = f.workspace.semanticTokens(f.main);
  uint32_t line = 0, column = 0;
  for (size_t i = 0; i + 4 < data.size(); i += 5) {
    column = data[i] ? data[i + 1] : column + data[i + 1];
    line += data[i];
    tokens += std::to_string(line) + ":" + std::to_string(column) + "+" +
              std::to_string(data[i + 2]) + " " + tokenTypes()[data[i + 3]] + " " +
              std::to_string(data[i + 4]) + "\n";
  }
  EXPECT_EQ(tokens,
            "0:0+5 decorator 0\n1:1+8 decorator 0\n1:11+8 string 0\n2:1+5 decorator 0\n"
            "3:0+3 variable 2\n3:4+2 decorator 0\n3:7+1 number 0\n4:1+5 decorator 0\n"
            "5:0+5 function 2\n5:7+3 keyword 0\n5:11+5 variable 1\n6:1+4 macro 0\n"
            "6:6+3 variable 0\n7:1+4 macro 0\n7:6+1 number 0\n8:1+3 keyword 0\n8:5+5 function 0\n");
}

// zqasm.json: every key, paths from the root, numbers in both forms; the problems named.
TEST(WorkspaceTest, ConfigurationFile) {
  std::vector<std::string> problems;
  const Configuration c = parseConfiguration(
      R"({"sources": ["a.asm"], "chipDir": "/c", "includeDirs": ["i", "/j"], "maskOptions": "m",
          "romTop": "2FFFh", "tableTop": -1, "caseSensitive": true,
          "defines": {"A": 1, "B": "0Ah", "C": true}, "warnings": ["truncation", "parameter-in-word"]})",
      "/r", problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(c.sources, std::vector<std::string>{"/r/a.asm"});
  EXPECT_EQ(c.chipDirectory, "/c");
  EXPECT_EQ(c.includeDirectories, (std::vector<std::string>{"/r/i", "/j"}));
  EXPECT_EQ(c.maskOptions, "/r/m");
  EXPECT_EQ(c.romTop, 0x2FFF);
  EXPECT_EQ(c.tableTop, -1);
  EXPECT_TRUE(c.caseSensitive);
  EXPECT_EQ(c.defines, (std::vector<std::pair<std::string, std::string>>{
                           {"A", "1"}, {"B", "0Ah"}, {"C", ""}}));
  EXPECT_EQ(c.warnings, "parameter-in-word,truncation");
  EXPECT_EQ(parseConfiguration("{}", "/r", problems).warnings, std::nullopt);
  EXPECT_EQ(parseConfiguration(R"({"warnings": "none"})", "/r", problems).warnings, "");
  EXPECT_EQ(parseConfiguration(R"({"warnings": []})", "/r", problems).warnings, "");
  EXPECT_EQ(
      parseConfiguration(R"({"warnings": "all"})", "/r", problems).warnings,
      "undefined-in-condition,parameter-in-word,truncation,negative-unsigned,mixed-operators");
  EXPECT_TRUE(problems.empty());
  for (const char* bad :
       {R"({"warnings": "some"})", R"({"warnings": [1]})", R"({"warnings": true})"})
    EXPECT_EQ(parseConfiguration(bad, "/r", problems).warnings, std::nullopt) << bad;
  EXPECT_EQ(problems, std::vector<std::string>(
                          3, "warnings must be \"all\", \"none\" or a list of warning names"));
  problems.clear();
  parseConfiguration(R"({"warnings": ["truncation", "nosuch"]})", "/r", problems);
  EXPECT_EQ(problems,
            std::vector<std::string>{"warnings: unknown warning 'nosuch'; the warnings are "
                                     "undefined-in-condition, parameter-in-word, truncation, "
                                     "negative-unsigned, mixed-operators (and 'all')"});
  problems.clear();
  parseConfiguration(R"({"romTop": "10000h", "tableTop": "x", "defines": {"9": 1}, "other": 1,
                        "sources": "a.asm", "caseSensitive": 1})",
                     "/r", problems);
  EXPECT_EQ(
      problems,
      (std::vector<std::string>{
          "caseSensitive must be true or false", "define 9 is not a valid name and number",
          "unknown key other", "romTop must be a number from 0 to 65535",
          "sources must be a list of paths", "tableTop must be a number from -1 to 1048575"}));
  problems.clear();
  parseConfiguration("[1]", "/r", problems);
  EXPECT_EQ(problems, std::vector<std::string>{"zqasm.json is not a JSON object"});
}

}  // namespace
}  // namespace zqlsp
