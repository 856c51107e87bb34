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
                 {"range", zqtest::rangeOf(line, 0, line, 0)},
                 {"context", json::object()}};
  if (!diagnostics.is_null()) params["context"]["diagnostics"] = diagnostics;
  return params;
}

// "TITLE: LINE:START-END "TEXT"" per action and its one edit, each a quick fix of one
// diagnostic.
std::string fixes(const json& answer, const std::string& u) {
  EXPECT_TRUE(answer.is_array()) << answer;
  std::string text;
  for (const json& a : answer) {
    EXPECT_EQ(a["kind"], "quickfix");
    EXPECT_EQ(a["diagnostics"].size(), 1u);
    const json& edits = a["edit"]["changes"][u];
    EXPECT_EQ(edits.size(), 1u) << a;
    const json& r = edits[0]["range"];
    EXPECT_EQ(r["start"]["line"], r["end"]["line"]);
    text += a["title"].get<std::string>() + ": " + std::to_string(r["start"]["line"].get<int>()) +
            ":" + std::to_string(r["start"]["character"].get<int>()) + "-" +
            std::to_string(r["end"]["character"].get<int>()) + " " + edits[0]["newText"].dump() +
            "\n";
  }
  return text;
}

// The fixes the server offers for its own diagnostics of a line.
std::string fixesAt(ServerSession& s, const std::string& u, int line) {
  return fixes(s.request("textDocument/codeAction", actionRequest(u, line, nullptr)), u);
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
  EXPECT_EQ(fixes(label, main), "Change to 'START': 2:12-18 \"START\"\n");
  EXPECT_EQ(label[0]["isPreferred"], true);
  EXPECT_EQ(label[0]["diagnostics"][0]["code"], "E12");
  EXPECT_EQ(fixesAt(s, main, 3), "Change to 'GOFAR': 3:1-5 \"GOFAR\"\n");
  EXPECT_EQ(fixesAt(s, main, 4), "Change to 'nop': 4:1-5 \"nop\"\n");
  // The diagnostic the client sends is the one answered, and is sent back as it came.
  const json sent = {{"range", zqtest::rangeOf(2, 12, 2, 18)},
                     {"code", "E12"},
                     {"message", "undefined symbol 'STARTT'"},
                     {"data", 7}};
  const json answer =
      s.request("textDocument/codeAction", actionRequest(main, 2, json::array({sent})));
  EXPECT_EQ(fixes(answer, main), "Change to 'START': 2:12-18 \"START\"\n");
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
  EXPECT_EQ(fixesAt(s, a, 1), "Insert '.ENDIF' before END: 3:0-0 \"  .ENDIF\\n\"\n");
  s.open(b, ".CHIP ZQ4460\n #include <open.inc>\n");
  EXPECT_EQ(fixesAt(s, openInc, 0),
            "Insert '#ENDIF' at the end of the file: 1:4-4 \"\\n  #ENDIF\\n\"\n");
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
  std::string expected;
  for (const std::string chip :
       {"ZQ3915", "ZQ3947", "ZQ4410", "ZQ4427", "ZQ4460", "ZQ44V09", "ZQ44W05"})
    expected += "Insert '.CHIP " + chip + "': 0:0-0 \".CHIP " + chip + "\\n\"\n";
  EXPECT_EQ(fixesAt(s, c, 0), expected);
}

}  // namespace
