// Inlay hints through the protocol: addresses, the trampolines of far calls on a banked
// chip, EQU values, the asked range, the lines of macro bodies, and the switches.
#include <gtest/gtest.h>

#include "server_session.h"

namespace {

using nlohmann::json;
using zqtest::ServerSession;
using zqtest::writeFile;

// The program: bank 0 calls and jumps to FAR in bank 1 (directly and from the macro of
// the include), bank 1 calls back to START. The bank convert area is the default 100h-1FFh.
// Routing (target bank 0 first, then bank 1): the call at 1001h gets bank 0's word 2
// (JMP 000h) behind the select word 40h at 1101h; the calls to FAR get bank 1's word 4
// (JMP 000h) behind the select word 50h at 0103h, one trampoline for all three.
const char kMain[] =
    ".CHIP ZQ4460\n"          // 0
    " #include <defs.inc>\n"  // 1
    "BASE EQU 1\n"            // 2  a plain number: no hint
    "K EQU BASE+2   ; K\n"    // 3
    "N EQU 5\n"               // 4
    "START: CALL FAR\n"       // 5
    " JMP FAR\n"              // 6
    " LDA K\n"                // 7
    " GOFAR\n"                // 8  NOP, CALL FAR
    " ORG 1000h\n"            // 9
    "FAR: NOP\n"              // 10
    " CALL START\n"           // 11
    " RET\n";                 // 12
const char kDefs[] = "GOFAR .MACRO\n NOP\n CALL FAR\n .ENDM\n";

// "LINE:COLUMN LABEL" per hint of the lines `first` to `last`.
std::string hints(ServerSession& s, const std::string& u, int first, int last) {
  const json answer =
      s.request("textDocument/inlayHint",
                {{"textDocument", {{"uri", u}}}, {"range", zqtest::rangeOf(first, 0, last, 0)}});
  std::string text;
  for (const json& h : answer)
    text += std::to_string(h["position"]["line"].get<int>()) + ":" +
            std::to_string(h["position"]["character"].get<int>()) + " " +
            h["label"].get<std::string>() + "\n";
  return text;
}

class InlayHintsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir.file("defs.inc"), kDefs);
    writeFile(dir.file("main.asm"), kMain);
  }
  void configure(const std::string& hints) {
    writeFile(dir.file("zqasm.json"),
              R"({"includeDirs": ["."], "romTop": "2FFFh")" +
                  (hints.empty() ? std::string() : ", \"inlayHints\": " + hints) + "}");
  }
  zqtest::TempDir dir;
  const std::string main = ServerSession::uri(dir.file("main.asm"));
  const std::string defs = ServerSession::uri(dir.file("defs.inc"));
};

TEST_F(InlayHintsTest, BankedProgramWithRoutedCalls) {
  configure("");
  ServerSession s;
  EXPECT_EQ(s.initialize(dir.path())["inlayHintProvider"], true);
  s.open(main, kMain);
  EXPECT_EQ(hints(s, main, 3, 8),
            "3:12 = 03h (3)\n"
            "5:15 b0 0000h\n"
            "5:15 via 0103h -> b1 1000h\n"
            "6:8 b0 0001h\n"
            "6:8 via 0103h -> b1 1000h\n"
            "7:6 b0 0002h\n"
            "8:6 b0 0003h..0004h\n"
            "8:6 via 0103h -> b1 1000h\n");
  EXPECT_EQ(hints(s, main, 9, 40),
            "10:8 b1 1000h\n"
            "11:11 b1 1001h\n"
            "11:11 via 1101h -> b0 0000h\n"
            "12:4 b1 1002h\n");
  // The macro body writes for each call: its lines get no hint.
  EXPECT_EQ(hints(s, defs, 0, 3), "");

  // With an error the run makes no image and routes nothing: the addresses stay.
  const json edit = {{"range", zqtest::rangeOf(12, 0, 12, 4)}, {"text", " LDA NOWHERE"}};
  s.notify("textDocument/didChange", {{"textDocument", {{"uri", main}, {"version", 2}}},
                                      {"contentChanges", json::array({edit})}});
  EXPECT_EQ(hints(s, main, 5, 6), "5:15 b0 0000h\n6:8 b0 0001h\n");
}

// zqasm.json's keys win over the editor's; the editor's settings come with initialize and
// are replaced by each change of configuration, after which the client is asked to refresh.
TEST_F(InlayHintsTest, SwitchesFromBothSources) {
  configure(R"({"addresses": false})");
  ServerSession s;
  s.initialize(dir.path(), {{"inlayHints", {{"addresses", true}, {"constants", false}}}},
               {{"workspace", {{"inlayHint", {{"refreshSupport", true}}}}}});
  s.open(main, kMain);
  EXPECT_EQ(hints(s, main, 0, 6), "5:15 via 0103h -> b1 1000h\n6:8 via 0103h -> b1 1000h\n");
  const size_t before = s.sent().size();
  s.notify("workspace/didChangeConfiguration",
           {{"settings", {{"zqasm", {{"inlayHints", {{"trampolines", false}}}}}}}});
  ASSERT_EQ(s.sent().size(), before + 1);
  EXPECT_EQ(s.sent().back()["method"], "workspace/inlayHint/refresh");
  EXPECT_EQ(hints(s, main, 0, 6), "3:12 = 03h (3)\n");
  // A wrong type in zqasm.json is told and leaves the switch to the editor.
  configure(R"({"addresses": "no", "color": true})");
  const json changed = {{"uri", ServerSession::uri(dir.file("zqasm.json"))}, {"type", 2}};
  s.notify("workspace/didChangeWatchedFiles", {{"changes", json::array({changed})}});
  std::vector<std::string> told;
  for (const json& m : s.sent())
    if (m.value("method", "") == "window/showMessage") told.push_back(m["params"]["message"]);
  EXPECT_EQ(told,
            (std::vector<std::string>{"zqasm.json: inlayHints.addresses must be true or false",
                                      "zqasm.json: unknown key inlayHints.color"}));
  EXPECT_EQ(hints(s, main, 3, 5), "3:12 = 03h (3)\n5:15 b0 0000h\n");
}

// An unbanked chip writes no bank; an include read twice lists both addresses at its line.
TEST_F(InlayHintsTest, UnbankedAndReadTwice) {
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  writeFile(dir.file("twice.inc"), " NOP\n");
  const std::string program =
      ".CHIP ZQ4460\n #include <twice.inc>\n CALL 5\n #include <twice.inc>\n";
  writeFile(dir.file("p.asm"), program);
  ServerSession s;
  s.initialize(dir.path());
  s.open(ServerSession::uri(dir.file("p.asm")), program);
  EXPECT_EQ(hints(s, ServerSession::uri(dir.file("p.asm")), 0, 3), "2:7 0001h\n");
  EXPECT_EQ(hints(s, ServerSession::uri(dir.file("twice.inc")), 0, 0), "0:4 0000h, 0002h\n");
}

}  // namespace
