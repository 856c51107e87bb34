// Rename through the protocol: the server is handed the messages an editor sends, on a
// program whose main source is open with unsaved edits and whose include file (on disk
// only) holds a macro with a local label, a constant and a DEFINE. The edits are applied
// to the texts as an editor would, and the program is assembled again.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "protocol.h"
#include "test_support.h"
#include "text.h"

namespace {

using nlohmann::json;
using zqtest::readFile;
using zqtest::writeFile;

const char kDefs[] =
    "LIMIT EQU 0FH\n"          // 0
    " #DEFINE LEVEL 2\n"       // 1
    "WAIT .MACRO FLAG, CNT\n"  // 2
    " .LOCALLABEL SPIN\n"      // 3
    "SPIN: LDA CNT\n"          // 4
    " JNZ SPIN\n"              // 5
    " JMP START\n"             // 6
    " .ENDM\n"                 // 7
    "HELPER: LDA LEVEL\n"      // 8
    " JMP START\n";            // 9

// As saved; the editor's buffer adds the last line.
const char kMainOnDisk[] =
    ".CHIP ZQ4460\n"           // 0
    " #IFNDEF LEVEL\n"         // 1
    " #ENDIF\n"                // 2
    " #include <defs.inc>\n"   // 3
    " .DATA\n"                 // 4
    " ORG 40h\n"               // 5
    "BUF DN 2\n"               // 6
    " .ENDD\n"                 // 7
    "START: LDA LIMIT\n"       // 8
    "LOOP: WAIT 1, LIMIT\n"    // 9
    " WAIT 2, LEVEL\n"         // 10
    " JZ LOOP\n"               // 11
    " CALL START\n"            // 12
    " #IFDEF LEVEL\n"          // 13
    " MOV BUF, @HL\n"          // 14
    " #ENDIF\n";               // 15
const std::string kMainEdited = std::string(kMainOnDisk) + "DONE: JMP start ; unsaved\n";

// A server in this process, driven by JSON messages as the transport hands them over.
class Session {
 public:
  Session()
      : server_(zqtest::chipDir(),
                [this](const std::string& m) { sent_.push_back(json::parse(m)); }) {}
  // The whole answer to a request: its result or its error.
  json request(const std::string& method, const json& params) {
    const int id = ++lastId_;
    server_.handle(
        json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
    for (const json& m : sent_)
      if (m.contains("id") && m["id"] == id) return m;
    return "no answer";
  }
  void notify(const std::string& method, const json& params) {
    server_.handle(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
  }

 private:
  std::vector<json> sent_;
  zqlsp::Server server_;
  int lastId_ = 0;
};

std::string uri(const std::string& path) { return "file://" + zq::fullPath(path); }

json at(const std::string& u, int line, int character) {
  return {{"textDocument", {{"uri", u}}}, {"position", {{"line", line}, {"character", character}}}};
}

// The project on disk, main.asm open and edited (version 2), its runs made.
struct Project {
  zqtest::TempDir dir;
  std::string main, defs;
  std::unique_ptr<Session> session;
  explicit Project(bool documentChanges = true) {
    writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
    writeFile(dir.file("defs.inc"), kDefs);
    writeFile(dir.file("main.asm"), kMainOnDisk);
    main = uri(dir.file("main.asm"));
    defs = uri(dir.file("defs.inc"));
    session = std::make_unique<Session>();
    json capabilities = json::object();
    if (documentChanges)
      capabilities = {{"workspace", {{"workspaceEdit", {{"documentChanges", true}}}}}};
    session->request("initialize", {{"rootUri", uri(dir.path())}, {"capabilities", capabilities}});
    session->notify("textDocument/didOpen",
                    {{"textDocument",
                      {{"uri", main}, {"languageId", "zqasm"}, {"version", 1}, {"text", kMainOnDisk}}}});
    session->notify("textDocument/didChange",
                    {{"textDocument", {{"uri", main}, {"version", 2}}},
                     {"contentChanges", {{{"text", kMainEdited}}}}});
  }
  json rename(const std::string& u, int line, int character, const std::string& name) {
    json params = at(u, line, character);
    params["newName"] = name;
    return session->request("textDocument/rename", params);
  }
};

// "line:column-end" of each edit, in order, all with `name` as their text.
std::string places(const json& edits, const std::string& name) {
  std::string text;
  for (const json& e : edits) {
    EXPECT_EQ(e["newText"], name);
    EXPECT_EQ(e["range"]["start"]["line"], e["range"]["end"]["line"]);
    text += std::to_string(e["range"]["start"]["line"].get<int>()) + ":" +
            std::to_string(e["range"]["start"]["character"].get<int>()) + "-" +
            std::to_string(e["range"]["end"]["character"].get<int>()) + " ";
  }
  return text;
}

// The edits of a versioned workspace edit by URI, with the version each names.
std::map<std::string, std::pair<json, json>> byDocument(const json& answer) {
  std::map<std::string, std::pair<json, json>> found;
  for (const json& change : answer["result"]["documentChanges"])
    found[change["textDocument"]["uri"]] = {change["textDocument"]["version"], change["edits"]};
  return found;
}

// Applies edits of one document as an editor does (from the last, so that the earlier
// positions hold).
std::string applied(std::string text, const json& edits) {
  std::vector<json> list(edits.begin(), edits.end());
  std::sort(list.begin(), list.end(), [](const json& a, const json& b) {
    return std::make_pair(a["range"]["start"]["line"].get<int>(),
                          a["range"]["start"]["character"].get<int>()) >
           std::make_pair(b["range"]["start"]["line"].get<int>(),
                          b["range"]["start"]["character"].get<int>());
  });
  for (const json& e : list)
    zqlsp::applyChange(text, e["range"]["start"]["line"], e["range"]["start"]["character"],
                       e["range"]["end"]["line"], e["range"]["end"]["character"],
                       e["newText"].get<std::string>(), false);
  return text;
}

// The output files of an assembly of main.asm in `dir` but the listing, by extension.
std::map<std::string, std::string> assembled(const zqtest::TempDir& dir) {
  auto params = zqtest::makeParams(dir.file("main.asm"));
  std::strncpy(params->includeDir1, dir.path().c_str(), sizeof params->includeDir1 - 1);
  EXPECT_EQ(Run44Assembler(params.get()), 1);
  std::map<std::string, std::string> outputs;
  for (const char* extension : {"OBJ", "TAB", "ERR", "SYM", "MAP", "RAM", "EQU"})
    outputs[extension] = readFile(dir.file(std::string("main.") + extension));
  return outputs;
}

// A label used in the main source (once in the unsaved part, as "start": case does not
// count) and in the include file, from a use in the include file, which is not
// open: each file's version as the editor knows it (none for a file on disk). Applied to
// the texts, the program makes the same image, symbol and error files.
TEST(LspRenameTest, LabelAcrossFilesAndUnsavedBuffer) {
  std::string mainAfter, defsAfter;
  {
    Project p;
    const json prepared = p.session->request("textDocument/prepareRename", at(p.defs, 6, 7));
    EXPECT_EQ(prepared["result"],
              json::parse(R"({"range": {"start": {"line": 6, "character": 5},
                                        "end": {"line": 6, "character": 10}},
                              "placeholder": "START"})"));
    const json answer = p.rename(p.defs, 6, 7, "BEGIN");
    const auto documents = byDocument(answer);
    ASSERT_EQ(documents.size(), 2u) << answer.dump();
    EXPECT_EQ(documents.at(p.main).first, 2);
    EXPECT_TRUE(documents.at(p.defs).first.is_null());
    EXPECT_EQ(places(documents.at(p.main).second, "BEGIN"), "8:0-5 12:6-11 16:10-15 ");
    EXPECT_EQ(places(documents.at(p.defs).second, "BEGIN"), "6:5-10 9:5-10 ");
    mainAfter = applied(kMainEdited, documents.at(p.main).second);
    defsAfter = applied(kDefs, documents.at(p.defs).second);
  }
  // Only the name changed in the lines.
  EXPECT_NE(mainAfter.find("\nBEGIN: LDA LIMIT\n"), std::string::npos);
  EXPECT_NE(mainAfter.find("\nDONE: JMP BEGIN ; unsaved\n"), std::string::npos);
  EXPECT_NE(defsAfter.find("\n JMP BEGIN\n .ENDM\n"), std::string::npos);
  // Assembled once the server (which switches the output files off) is gone.
  zqtest::TempDir work;
  writeFile(work.file("main.asm"), kMainEdited);
  writeFile(work.file("defs.inc"), kDefs);
  const std::map<std::string, std::string> before = assembled(work);
  EXPECT_NE(before.at("ERR").find("\n0 Error(s), 0 Warning(s)\n"), std::string::npos)
      << before.at("ERR");
  writeFile(work.file("main.asm"), mainAfter);
  writeFile(work.file("defs.inc"), defsAfter);
  EXPECT_EQ(assembled(work), before);
}

}  // namespace
