// Rename through the protocol: the server is handed the messages an editor sends, on a
// program whose main source is open with unsaved edits and whose include file (on disk
// only) holds a macro with a local label, a constant and a DEFINE. The edits are applied
// to the texts as an editor would, and the program is assembled again.
#include "rename.h"

#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run_facts.h"
#include "server_session.h"
#include "test_support.h"
#include "text.h"

namespace {

using nlohmann::json;
using zqtest::at;
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
    ".CHIP ZQ4460\n"          // 0
    " #IFNDEF LEVEL\n"        // 1
    " #ENDIF\n"               // 2
    " #include <defs.inc>\n"  // 3
    " .DATA\n"                // 4
    " ORG 40h\n"              // 5
    "BUF DN 2\n"              // 6
    " .ENDD\n"                // 7
    "START: LDA LIMIT\n"      // 8
    "LOOP: WAIT 1, LIMIT\n"   // 9
    " WAIT 2, LEVEL\n"        // 10
    " JZ LOOP\n"              // 11
    " CALL START\n"           // 12
    " #IFDEF LEVEL\n"         // 13
    " MOV BUF, @HL\n"         // 14
    " #ENDIF\n";              // 15
const std::string kMainEdited = std::string(kMainOnDisk) + "DONE: JMP start ; unsaved\n";

using Session = zqtest::ServerSession;
const auto uri = zqtest::fileUri;

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
    session->initialize(dir.path(), nullptr, capabilities);
    session->open(main, kMainOnDisk);
    session->notify("textDocument/didChange", {{"textDocument", {{"uri", main}, {"version", 2}}},
                                               {"contentChanges", {{{"text", kMainEdited}}}}});
  }
  json rename(const std::string& u, int line, int character, const std::string& name) {
    json params = at(u, line, character);
    params["newName"] = name;
    return session->message("textDocument/rename", params);
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

// The error message of a refused request, or what came instead.
std::string refusal(const json& answer) {
  if (!answer.contains("error")) return "answered " + answer.dump();
  EXPECT_EQ(answer["error"]["code"], -32803);
  return answer["error"]["message"];
}

// "FILE VERSION: PLACES" per document of a versioned workspace edit.
std::string renamed(const json& answer, const std::string& name) {
  std::string text;
  for (const auto& [u, change] : byDocument(answer))
    text += u.substr(u.rfind('/') + 1) + " " + change.first.dump() + ": " +
            places(change.second, name) + "\n";
  return text;
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
    const json prepared = p.session->message("textDocument/prepareRename", at(p.defs, 6, 7));
    EXPECT_EQ(prepared["result"], json::parse(R"({"range": {"start": {"line": 6, "character": 5},
                                        "end": {"line": 6, "character": 10}},
                              "placeholder": "START"})"));
    const json answer = p.rename(p.defs, 6, 7, "BEGIN");
    EXPECT_EQ(renamed(answer, "BEGIN"),
              "defs.inc null: 6:5-10 9:5-10 \nmain.asm 2: 8:0-5 12:6-11 16:10-15 \n");
    const auto documents = byDocument(answer);
    mainAfter = applied(kMainEdited, documents.at(p.main).second);
    defsAfter = applied(kDefs, documents.at(p.defs).second);
  }
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

// A macro from a call, as plain "changes" for a client without versioned edits: its
// head and every call.
TEST(LspRenameTest, Macro) {
  Project p(false);
  const json answer = p.rename(p.main, 10, 2, "PAUSE");
  const json& changes = answer["result"]["changes"];
  ASSERT_EQ(changes.size(), 2u) << answer.dump();
  EXPECT_EQ(places(changes[p.defs], "PAUSE"), "2:0-4 ");
  EXPECT_EQ(places(changes[p.main], "PAUSE"), "9:6-10 10:1-5 ");
}

// A local label: its LOCALLABEL declaration, its definition and its use in the body,
// once for both expansions; its scope is its macro, so a constant used elsewhere is a
// free name. A DEFINE name: its definition, its uses (one through a macro argument) and
// the tests of it, also the IFNDEF before the definition, where no run finds it.
TEST(LspRenameTest, LocalLabelAndDefine) {
  Project p;
  const struct {
    const std::string& file;
    int line, character;
    std::string name, expected;
  } cases[] = {
      {p.defs, 5, 6, "AGAIN", "defs.inc null: 3:13-17 4:0-4 5:5-9 \n"},
      {p.defs, 4, 0, "LIMIT", "defs.inc null: 3:13-17 4:0-4 5:5-9 \n"},
      {p.main, 10, 9, "DEPTH",
       "defs.inc null: 1:9-14 8:12-17 \nmain.asm 2: 1:9-14 10:9-14 13:8-13 \n"},
  };
  for (const auto& k : cases)
    EXPECT_EQ(renamed(p.rename(k.file, k.line, k.character, k.name), k.name), k.expected) << k.name;
}

// What cannot be renamed (asked by prepareRename, no new name), and new names that
// cannot be given, each refused with its reason.
TEST(LspRenameTest, Refusals) {
  Project p;
  const std::string longName(65, 'L');
  const struct {
    const std::string& file;
    int line, character;
    const char* name;
    std::string expected;
  } cases[] = {
      {p.main, 8, 8, nullptr, "'LDA' is an instruction of the chip ZQ4460; it cannot be renamed"},
      {p.main, 4, 2, nullptr, "'.DATA' is a directive of the assembler; it cannot be renamed"},
      {p.main, 0, 7, nullptr, "'ZQ4460' names the chip; it cannot be renamed"},
      {p.main, 14, 11, nullptr,
       "'@HL' is an operand of the chip's instructions; it cannot be renamed"},
      {p.main, 3, 12, nullptr, "'defs' is part of an include file's name; rename the file instead"},
      {p.defs, 2, 13, nullptr,
       "no run of the assembler finds 'FLAG' here: it is not defined, names a macro parameter, "
       "or stands where nothing is assembled"},
      {p.main, 2, 0, "X", "there is no name to rename here"},
      {p.main, 8, 2, "9X",
       "'9X' is not a label name: it takes a letter, '?' or '_' first, then letters, digits, "
       "'_' and '\\'"},
      {p.main, 8, 2, longName.c_str(),
       "'" + longName + "' is too long for a label name (at most 64 characters)"},
      {p.main, 8, 2, "", "the new name is empty"},
      {p.main, 8, 2, "\xce\xbb",
       "'\xce\xbb' is not a valid name: names are written with ASCII letters, digits, '_', '?' "
       "and '\\'"},
      {p.main, 8, 2, "loop", "'loop' already names a label (main.asm:10)"},
      {p.main, 8, 2, "BUF", "'BUF' already names a RAM name (main.asm:7)"},
      {p.main, 8, 2, "LEVEL", "'LEVEL' already names a define (defs.inc:2)"},
      {p.main, 8, 2, "ldA", "'ldA' is an instruction of the chip ZQ4460"},
      {p.main, 8, 2, "endm", "'endm' is a directive word of the assembler"},
      {p.main, 8, 2, "FLAG", "'FLAG' is a parameter of macro 'WAIT', whose body writes 'START'"},
      {p.defs, 2, 1, "HELPER", "'HELPER' already names a label (defs.inc:9)"},  // a macro
      {p.defs, 2, 1, "JZ", "'JZ' is an instruction of the chip ZQ4460"},
      {p.defs, 4, 0, "start", "'start' already names a label in macro 'WAIT'"},  // a local label
      {p.defs, 4, 0, "CNT", "'CNT' is a parameter of macro 'WAIT', whose body writes 'SPIN'"},
      {p.main, 10, 9, "LIMIT", "'LIMIT' already names a constant (defs.inc:1)"},  // a define
      {p.main, 10, 9, "A\\B",
       "'A\\B' is not a define name: it takes a letter or '_' first, then letters, digits and "
       "'_'"},
  };
  for (const auto& k : cases) {
    const json at = zqtest::at(k.file, k.line, k.character);
    EXPECT_EQ(refusal(k.name ? p.rename(k.file, k.line, k.character, k.name)
                             : p.session->message("textDocument/prepareRename", at)),
              k.expected)
        << k.line << ":" << k.character << " " << (k.name ? k.name : "");
  }
  // No word: no rename, and no error either. A name just as long as the assembler keeps,
  // and "?" first, are labels.
  EXPECT_TRUE(
      p.session->message("textDocument/prepareRename", at(p.main, 2, 0))["result"].is_null());
  EXPECT_TRUE(p.rename(p.main, 8, 2, std::string(64, 'L'))["result"].is_object());
  EXPECT_TRUE(p.rename(p.main, 8, 2, "?GO")["result"].is_object());
}

// The kinds' own rules for a name: "?" begins no RAM, DEFINE or DEFSTRING name, "\" is in
// no DEFINE or DEFSTRING name, a macro's name keeps one character less.
TEST(LspRenameTest, NameRules) {
  using zqlsp::nameProblem;
  EXPECT_EQ(nameProblem(zqlsp::kConstant, "?A\\1"), "");
  EXPECT_NE(nameProblem(zqlsp::kRamName, "?A"), "");
  EXPECT_EQ(nameProblem(zqlsp::kRamName, "_A\\1"), "");
  EXPECT_NE(nameProblem(zqlsp::kString, "A\\1"), "");
  EXPECT_EQ(nameProblem(zqlsp::kString, "_a1"), "");
  EXPECT_NE(nameProblem(zqlsp::kDefine, "1A"), "");
  EXPECT_EQ(nameProblem(zqlsp::kLocalLabel, std::string(64, 'x')), "");
  EXPECT_NE(nameProblem(zqlsp::kMacro, std::string(64, 'x')), "");
  EXPECT_NE(nameProblem(zqlsp::kLabel, "A-B"), "");
}

}  // namespace
