// Quick fixes: the nearness of names, and each kind of fix through the protocol on a
// program whose macro is in an include file.
#include "code_actions.h"

#include <gtest/gtest.h>

#include "server_session.h"

namespace {

using nlohmann::json;
using zqtest::ServerSession;
using zqtest::writeFile;

TEST(CodeActionsTest, NearestNames) {
  const std::vector<std::string> names = {"START", "STARTUP", "STOP", "LOOP1", "LOOP2",
                                          "loop",  "A",       "B",    "Start"};
  struct Case {
    const char* wanted;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"STRAT", {}},                          // a transposition is 2, more than 5/3
      {"STAR", {"START"}},                    // Start is START again; STOP is 2 away
      {"LOOP", {"loop", "LOOP1", "LOOP2"}},   // case alone differs: distance 0 comes first
      {"LOOP3", {"LOOP1", "LOOP2", "loop"}},  // ties in byte order
      {"C", {}},                              // one letter replaced is no misspelling
      {"STARTUPX", {"STARTUP"}},              // 8 letters allow 2; START is 3 away
      {"", {}},
  };
  for (const Case& k : cases)
    EXPECT_EQ(zqlsp::nearestNames(k.wanted, names), k.expected) << k.wanted;
  EXPECT_EQ(zqlsp::nameDistance("kitten", "SITTING", 5), 3u);
  EXPECT_EQ(zqlsp::nameDistance("abcdefgh", "zzzzzzzz", 2), 3u);  // cut at the limit
}

// The program: a typo of a label, of a macro name and of a mnemonic, with the macro in
// an include file.
const char kDefs[] = "GOFAR .MACRO\n NOP\n CALL START\n .ENDM\n";
const char kMain[] =
    ".CHIP ZQ4460\n"
    " #include <defs.inc>\n"
    "START: CALL STARTT\n"  // 2: E12 'STARTT'
    " GOFR\n"               // 3: E1 'GOFR' -> the macro GOFAR
    " nopp\n";              // 4: E1 'nopp' -> nop, in the line's case

json actionRequest(const std::string& u, int line, const json& diagnostics) {
  json params = {{"textDocument", {{"uri", u}}},
                 {"range",
                  {{"start", {{"line", line}, {"character", 0}}},
                   {"end", {{"line", line}, {"character", 0}}}}},
                 {"context", json::object()}};
  if (!diagnostics.is_null()) params["context"]["diagnostics"] = diagnostics;
  return params;
}

// Title, and the one edit: its line, columns and text.
struct Fix {
  std::string title;
  int line;
  int start;
  int end;
  std::string text;
};

void expectFixes(const std::vector<Fix>& expected, const json& answer, const std::string& u,
                 const char* what) {
  ASSERT_TRUE(answer.is_array()) << what;
  ASSERT_EQ(answer.size(), expected.size()) << what << ": " << answer.dump();
  for (size_t i = 0; i < expected.size(); ++i) {
    const json& a = answer[i];
    EXPECT_EQ(a["title"], expected[i].title) << what;
    EXPECT_EQ(a["kind"], "quickfix") << what;
    const json& edits = a["edit"]["changes"][u];
    ASSERT_EQ(edits.size(), 1u) << what << ": " << a.dump();
    EXPECT_EQ(edits[0]["range"]["start"]["line"], expected[i].line) << what;
    EXPECT_EQ(edits[0]["range"]["end"]["line"], expected[i].line) << what;
    EXPECT_EQ(edits[0]["range"]["start"]["character"], expected[i].start) << what;
    EXPECT_EQ(edits[0]["range"]["end"]["character"], expected[i].end) << what;
    EXPECT_EQ(edits[0]["newText"], expected[i].text) << what;
    EXPECT_EQ(a["diagnostics"].size(), 1u) << what;
  }
}

TEST(CodeActionsTest, DidYouMean) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  writeFile(dir.file("defs.inc"), kDefs);
  writeFile(dir.file("main.asm"), kMain);
  const std::string main = ServerSession::uri(dir.file("main.asm"));
  ServerSession s;
  EXPECT_EQ(s.initialize(dir.path())["codeActionProvider"]["codeActionKinds"],
            json::array({"quickfix"}));
  s.open(main, kMain);
  // No diagnostics in the context: the server's own of the range.
  const json label = s.request("textDocument/codeAction", actionRequest(main, 2, nullptr));
  expectFixes({{"Change to 'START'", 2, 12, 18, "START"}}, label, main, "label");
  EXPECT_EQ(label[0]["isPreferred"], true);
  EXPECT_EQ(label[0]["diagnostics"][0]["code"], "E12");
  expectFixes({{"Change to 'GOFAR'", 3, 1, 5, "GOFAR"}},
              s.request("textDocument/codeAction", actionRequest(main, 3, nullptr)), main, "macro");
  expectFixes({{"Change to 'nop'", 4, 1, 5, "nop"}},
              s.request("textDocument/codeAction", actionRequest(main, 4, nullptr)), main,
              "mnemonic");
  // The diagnostic the client sends is the one answered, and is sent back as it came.
  const json sent = {
      {"range",
       {{"start", {{"line", 2}, {"character", 12}}}, {"end", {{"line", 2}, {"character", 18}}}}},
      {"code", "E12"},
      {"message", "undefined symbol 'STARTT'"},
      {"data", 7}};
  const json answer =
      s.request("textDocument/codeAction", actionRequest(main, 2, json::array({sent})));
  expectFixes({{"Change to 'START'", 2, 12, 18, "START"}}, answer, main, "context");
  EXPECT_EQ(answer[0]["diagnostics"][0], sent);
  // Asked for other kinds only: none.
  json refactor = actionRequest(main, 2, nullptr);
  refactor["context"]["only"] = {"refactor"};
  EXPECT_EQ(s.request("textDocument/codeAction", refactor), json::array());
  // A diagnostic whose name is no longer in the line has no fix.
  json gone = sent;
  gone["message"] = "undefined symbol 'ELSEWHERE'";
  EXPECT_EQ(s.request("textDocument/codeAction", actionRequest(main, 2, json::array({gone}))),
            json::array());
}

// A conditional left open: the closing line before END, or at the end of its own file
// (an include), with the opening line's indentation and prefix.
TEST(CodeActionsTest, CloseConditional) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  const std::string withEnd = ".CHIP ZQ4460\n  .IF 1\n NOP\n END\n; after\n";
  const std::string inc = "  #IFDEF NOTHING\n NOP";  // no line end at the last line
  writeFile(dir.file("a.asm"), withEnd);
  writeFile(dir.file("open.inc"), inc);
  writeFile(dir.file("b.asm"), ".CHIP ZQ4460\n #include <open.inc>\n");
  const std::string a = ServerSession::uri(dir.file("a.asm"));
  const std::string b = ServerSession::uri(dir.file("b.asm"));
  const std::string openInc = ServerSession::uri(dir.file("open.inc"));
  ServerSession s;
  s.initialize(dir.path());
  s.open(a, withEnd);
  expectFixes({{"Insert '.ENDIF' before END", 3, 0, 0, "  .ENDIF\n"}},
              s.request("textDocument/codeAction", actionRequest(a, 1, nullptr)), a, "before END");
  s.open(b, ".CHIP ZQ4460\n #include <open.inc>\n");
  expectFixes({{"Insert '#ENDIF' at the end of the file", 1, 4, 4, "\n  #ENDIF\n"}},
              s.request("textDocument/codeAction", actionRequest(openInc, 0, nullptr)), openInc,
              "end of include");
}

// No chip named: one fix per chip file of the chip folder, at the top.
TEST(CodeActionsTest, MissingChip) {
  zqtest::TempDir dir;
  const std::string text = "; no chip\n NOP\n";
  writeFile(dir.file("c.asm"), text);
  const std::string c = ServerSession::uri(dir.file("c.asm"));
  ServerSession s;
  s.initialize(dir.path());
  s.open(c, text);
  const json answer = s.request("textDocument/codeAction", actionRequest(c, 0, nullptr));
  std::vector<Fix> expected;
  for (const char* chip : {"ZQ3915", "ZQ3947", "ZQ4410", "ZQ4427", "ZQ4460", "ZQ44V09", "ZQ44W05"})
    expected.push_back(Fix{std::string("Insert '.CHIP ") + chip + "'", 0, 0, 0,
                           std::string(".CHIP ") + chip + "\n"});
  expectFixes(expected, answer, c, "chips");
}

}  // namespace
