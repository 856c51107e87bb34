// The server driven over its standard input and output by a small client, as an editor
// drives it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "server_session.h"
#include "test_support.h"

namespace {

using nlohmann::json;
using zqtest::at;
using zqtest::rangeOf;
using zqtest::writeFile;
std::string uri(const std::string& path) { return zqtest::fileUri(path); }

// zqasm-lsp as a child process with pipes on both ends.
class Client {
 public:
  Client() {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(ZQASM_TEST_LSP, ZQASM_TEST_LSP, "--chip-dir", zqtest::chipDir().c_str(), nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
    signal(SIGPIPE, SIG_IGN);
  }
  ~Client() {
    if (to_ >= 0) close(to_);
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (from_ >= 0) close(from_);
  }
  void sendRaw(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t n = write(to_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  void send(const json& message) {
    const std::string body = message.dump();
    sendRaw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  void request(int id, const std::string& method, const json& params) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
  }
  void notify(const std::string& method, const json& params) {
    send({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
  }
  // The next message, or null when none comes within `seconds`.
  json next(double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      const size_t head = buffer_.find("\r\n\r\n");
      if (head != std::string::npos) {
        const size_t length = std::stoul(buffer_.substr(buffer_.find(':') + 1));
        if (buffer_.size() >= head + 4 + length) {
          const std::string body = buffer_.substr(head + 4, length);
          buffer_.erase(0, head + 4 + length);
          return json::parse(body);
        }
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{from_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return nullptr;
      char block[65536];
      const ssize_t n = read(from_, block, sizeof block);
      if (n <= 0) return nullptr;
      buffer_.append(block, static_cast<size_t>(n));
    }
  }
  // The answer to request `id` (notifications before it are skipped).
  json answer(int id) {
    for (json m = next(); !m.is_null(); m = next())
      if (m.contains("id") && m["id"] == id) return m;
    return nullptr;
  }
  // The next diagnostics published for `uri` (a run may take seconds under a sanitizer).
  json diagnostics(const std::string& uri) {
    for (json m = next(60); !m.is_null(); m = next(60))
      if (m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri)
        return m["params"]["diagnostics"];
    return nullptr;
  }
  // The next diagnostics published for each of `uris`, in whatever order they come.
  std::map<std::string, json> diagnostics(const std::set<std::string>& uris) {
    std::map<std::string, json> found;
    for (json m = next(60); !m.is_null() && found.size() < uris.size(); m = next(60)) {
      if (m.value("method", "") != "textDocument/publishDiagnostics") continue;
      const std::string u = m["params"]["uri"];
      if (uris.count(u) && !found.count(u)) found[u] = m["params"]["diagnostics"];
      if (found.size() == uris.size()) break;
    }
    return found;
  }
  // The exit status once standard input is closed, or -1 when it does not end in time.
  int finish(bool closeInput = true) {
    if (closeInput && to_ >= 0) close(to_), to_ = -1;
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(10000);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  bool exited_ = false;
  std::string buffer_;
};

json doc(const std::string& u) { return {{"textDocument", {{"uri", u}}}}; }

json change(const std::string& u, int version, const json& changes) {
  return {{"textDocument", {{"uri", u}, {"version", version}}}, {"contentChanges", changes}};
}

// initialize (its answer returned) and initialized.
json initialize(Client& c, const std::string& root, const json& capabilities = json::object()) {
  c.request(1, "initialize", {{"rootUri", uri(root)}, {"capabilities", capabilities}});
  const json answer = c.answer(1);
  c.notify("initialized", json::object());
  return answer;
}

// The codes of a diagnostics list, in order ("E36 E12").
std::string codes(const json& diagnostics) {
  std::string text;
  for (const json& d : diagnostics) text += (text.empty() ? "" : " ") + d.value("code", "-");
  return text;
}

void openDocument(Client& c, const std::string& u, const std::string& text) {
  c.notify(
      "textDocument/didOpen",
      {{"textDocument", {{"uri", u}, {"languageId", "zqasm"}, {"version", 1}, {"text", text}}}});
}

// A whole session: an unsaved include with an error and a macro call, every request, the
// fix, shutdown and exit.
TEST(LspProtocolTest, Session) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."], "romTop": "2FFFh"})");
  writeFile(dir.file("defs.inc"), "");
  writeFile(dir.file("main.asm"), "");
  const std::string main = uri(dir.file("main.asm")), defs = uri(dir.file("defs.inc"));
  Client c;
  const json init = initialize(c, dir.path())["result"]["capabilities"];
  EXPECT_EQ(init["textDocumentSync"]["change"], 2);
  EXPECT_EQ(init["semanticTokensProvider"]["legend"]["tokenTypes"][0], "keyword");
  openDocument(c, main, ".CHIP ZQ4460\n #include <defs.inc>\nK EQU 3\nGO: W K\n JMP GO\n");
  openDocument(c, defs, "W .MACRO V\n LDA V\n JMP NOWHERE\n .ENDM\n");
  const json expected = json::parse(R"([{"range": {"start": {"line": 2, "character": 5},
      "end": {"line": 2, "character": 12}}, "severity": 1, "source": "zqasm", "code": "E12",
      "message": "undefined symbol 'NOWHERE'", "relatedInformation": [{"location": {"uri": ")" +
                                    main + R"(", "range": {"start": {"line": 3, "character": 0},
      "end": {"line": 3, "character": 7}}}, "message": "in the expansion of macro 'W' called here"}]}])");
  EXPECT_EQ(c.diagnostics(defs), expected);

  c.request(2, "textDocument/definition", at(main, 4, 6));
  EXPECT_EQ(c.answer(2)["result"], json::parse(R"([{"uri": ")" + main + R"(", "range": {"start":
      {"line": 3, "character": 0}, "end": {"line": 3, "character": 2}}}])"));
  c.request(3, "textDocument/references", at(main, 2, 0));
  EXPECT_EQ(c.answer(3)["result"].size(), 2u);  // K EQU 3 and "W K"
  c.request(4, "textDocument/hover", at(main, 3, 6));
  EXPECT_EQ(
      c.answer(4)["result"]["contents"]["value"],
      "constant **K** = 03h (3)  \ndefined at main.asm:3\n\n```\n0000h: 1030\n0001h: D000\n```");
  c.request(5, "textDocument/completion", at(main, 4, 1));
  EXPECT_EQ(c.answer(5)["result"]["isIncomplete"], false);
  c.request(6, "textDocument/documentSymbol", doc(main));
  EXPECT_EQ(c.answer(6)["result"][1]["name"], "GO");
  c.request(7, "workspace/symbol", {{"query", "w"}});
  EXPECT_EQ(c.answer(7)["result"][0]["location"]["uri"], defs);
  c.request(8, "textDocument/semanticTokens/full", doc(main));
  EXPECT_EQ(c.answer(8)["result"]["data"].size() % 5, 0u);

  c.notify("textDocument/didChange", change(defs, 2, {{{"text", "W .MACRO V\n LDA V\n .ENDM\n"}}}));
  EXPECT_EQ(c.diagnostics(defs), json::array());
  c.notify("textDocument/didClose", doc(defs));
  c.request(9, "shutdown", nullptr);
  EXPECT_EQ(c.answer(9)["result"], nullptr);
  c.notify("exit", nullptr);
  EXPECT_EQ(c.finish(false), 0);
}

// Input no editor should send: each answered with the proper error or with nothing, and
// the server still answers afterwards; a program that stops the run; a client that exits
// without shutdown.
TEST(LspProtocolTest, BadInput) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  Client c;
  const std::string big = dir.file("big.asm"), nul = dir.file("nul.asm"), bomb = dir.file("b.asm");
  c.request(1, "textDocument/hover", at(uri(big), 0, 0));
  EXPECT_EQ(c.answer(1)["error"]["code"], -32002);
  c.request(2, "initialize", {{"rootUri", uri(dir.path())}, {"capabilities", json::object()}});
  EXPECT_TRUE(c.answer(2).contains("result"));
  struct Case {
    std::string bytes;  // sent as they are
    int code;           // the error answered (with id null)
  };
  const Case cases[] = {
      {"Content-Length: 9\r\n\r\n{\"id\": 1,", -32700},
      {"Content-Length: 2\r\n\r\n[]", -32600},
      {"Content-Type: x\r\n\r\n", -32700},
      {"Content-Length: 12\r\n\r\n{\"id\": true}", -32600},
  };
  for (const Case& k : cases) {
    c.sendRaw(k.bytes);
    const json error = c.next();
    EXPECT_EQ(error["error"]["code"], k.code) << k.bytes;
    EXPECT_EQ(error["id"], nullptr);
  }
  c.request(3, "textDocument/unknown", at(uri(big), 0, 0));
  EXPECT_EQ(c.answer(3)["error"]["code"], -32601);
  c.request(4, "textDocument/hover", {{"textDocument", {{"uri", uri(big)}}}, {"position", "x"}});
  EXPECT_EQ(c.answer(4)["error"]["code"], -32602);
  c.request(5, "textDocument/definition", at(uri(dir.file("never.asm")), 3, 3));
  EXPECT_EQ(c.answer(5)["result"], nullptr);

  // 10 MB of program (far beyond the ROM: a flood of errors, which is cut short), a
  // buffer of NUL bytes, a macro that calls itself twice.
  std::string text = ".CHIP ZQ4460\n";
  while (text.size() < (size_t{10} << 20)) text += " NOP ; ten megabytes of program text\n";
  openDocument(c, uri(big), text);
  const json flood = c.diagnostics(uri(big));
  ASSERT_EQ(flood.size(), 1000u);
  EXPECT_NE(flood[0]["message"].get<std::string>().find("more diagnostics"), std::string::npos);
  openDocument(c, uri(nul), std::string(1000, '\0'));
  EXPECT_EQ(c.diagnostics(uri(nul)).size(), 1u);
  // Its diagnostics stand 64 expansions deep: at most 10 related entries each, the 4
  // innermost and the 5 outermost calls with one entry for the 55 between; a duplicate
  // keeps one outermost call fewer for its first definition. The lists of 10 are kept
  // whose 5th and last entries say `fifth` (in part) and `last` (when given).
  auto deepLists = [&c](const std::string& u, const std::string& program, const char* fifth,
                        const char* last) {
    openDocument(c, u, program);
    const json list = c.diagnostics(u);
    EXPECT_TRUE(list.is_array() && list.size() <= 1000u);
    std::vector<json> deep;
    for (const json& d : list) {
      const json related = d.value("relatedInformation", json::array());
      EXPECT_LE(related.size(), 10u);
      if (related.size() == 10 && (!last || related[9]["message"] == last) &&
          (!fifth || related[4]["message"].get<std::string>().find(fifth) != std::string::npos))
        deep.push_back(related);
    }
    EXPECT_FALSE(deep.empty()) << program;
    return deep;
  };
  for (const json& related :
       deepLists(uri(bomb), ".CHIP ZQ4460\nM .MACRO\n M\n M\n .ENDM\n M\n", nullptr, nullptr)) {
    EXPECT_EQ(related[3]["message"], "in the expansion of macro 'M' called here");
    EXPECT_EQ(related[4]["message"], "55 more levels of macro expansion not shown");
    EXPECT_EQ(related[9]["location"]["range"]["start"]["line"], 5);
  }
  for (const json& related :
       deepLists(uri(bomb), ".CHIP ZQ4460\nM .MACRO\nL: NOP\n M\n .ENDM\n M\n", " more levels of",
                 "first defined here"))
    EXPECT_EQ(related[8]["location"]["range"]["start"]["line"], 5);

  // An include file saved with a 257th macro: the run stops at that line.
  const std::string many = dir.file("many.inc"), user = dir.file("user.asm");
  writeFile(many, "");
  openDocument(c, uri(user), ".CHIP ZQ4460\n #include <many.inc>\n");
  c.request(6, "textDocument/hover", at(uri(user), 0, 0));  // answered after the run
  EXPECT_TRUE(c.answer(6).contains("result"));
  std::string macros;
  for (int i = 0; i < 257; ++i) macros += "M" + std::to_string(i) + " .MACRO\n NOP\n .ENDM\n";
  writeFile(many, macros);
  c.notify("textDocument/didSave", doc(uri(many)));
  EXPECT_EQ(c.diagnostics(uri(many)), json::parse(R"([{"range": {"start": {"line": 768,
      "character": 0}, "end": {"line": 768, "character": 11}}, "severity": 1, "source": "zqasm",
      "message": "Macro quantities can't great than 256"}])"));
  c.notify("exit", nullptr);
  EXPECT_EQ(c.finish(false), 1);  // exit without shutdown
}

// Folding, highlights and lenses of a program whose macros are in an include file that
// is open with unsaved text (the file on disk holds none of it).
TEST(LspProtocolTest, FoldingHighlightsAndLenses) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  writeFile(dir.file("defs.inc"), "");
  writeFile(dir.file("main.asm"), "");
  const std::string main = uri(dir.file("main.asm")), defs = uri(dir.file("defs.inc"));
  Client c;
  const json capabilities = initialize(c, dir.path())["result"]["capabilities"];
  EXPECT_EQ(capabilities["foldingRangeProvider"], true);
  EXPECT_EQ(capabilities["documentHighlightProvider"], true);
  EXPECT_EQ(capabilities["codeLensProvider"]["resolveProvider"], false);
  openDocument(c, defs,
               "; the macros\n; of the program\nWAIT .MACRO VAR\n .LOCALLABEL SPIN\n"
               "SPIN: LDA VAR\n JNZ SPIN\n .IF VAR > 1\n NOP\n .ENDIF\n .ENDM\n");
  openDocument(c, main,
               ".CHIP ZQ4460\n #include <defs.inc>\n .DATA\nBUF DN 2\n .ENDD\nSTART: LDA BUF\n"
               " WAIT 1\n WAIT 2\n JMP START\n JMP START\n");

  c.request(2, "textDocument/foldingRange", doc(defs));
  EXPECT_EQ(c.answer(2)["result"], json::parse(R"([{"startLine": 0, "endLine": 1,
      "kind": "comment"}, {"startLine": 2, "endLine": 9}, {"startLine": 6, "endLine": 8}])"));
  c.request(3, "textDocument/foldingRange", doc(main));
  EXPECT_EQ(c.answer(3)["result"], json::parse(R"([{"startLine": 2, "endLine": 4}])"));

  // A label: its definition written, its uses read; the cursor just behind the name.
  c.request(4, "textDocument/documentHighlight", at(main, 8, 10));
  EXPECT_EQ(c.answer(4)["result"], json::parse(R"([
      {"range": {"start": {"line": 5, "character": 0}, "end": {"line": 5, "character": 5}}, "kind": 3},
      {"range": {"start": {"line": 8, "character": 5}, "end": {"line": 8, "character": 10}}, "kind": 2},
      {"range": {"start": {"line": 9, "character": 5}, "end": {"line": 9, "character": 10}}, "kind": 2}])"));
  // A macro-local label, defined once per expansion at the same body line: one place.
  c.request(5, "textDocument/documentHighlight", at(defs, 5, 6));
  const json local = c.answer(5)["result"];
  ASSERT_EQ(local.size(), 2u) << local;
  EXPECT_EQ(local[0]["range"]["start"]["line"], 4);
  EXPECT_EQ(local[0]["kind"], 3);
  EXPECT_EQ(local[1]["range"]["start"], json::parse(R"({"line": 5, "character": 5})"));
  EXPECT_EQ(local[1]["kind"], 2);
  // Nothing under the cursor (a mnemonic), and a file no run reads.
  c.request(6, "textDocument/documentHighlight", at(main, 8, 2));
  EXPECT_EQ(c.answer(6)["result"], json::array());
  c.request(7, "textDocument/documentHighlight", at(uri(dir.file("none.asm")), 0, 0));
  EXPECT_EQ(c.answer(7)["result"], json::array());

  // The label START (the RAM name gets none); the macro, whose calls write two words and,
  // with an argument above 1, three; its head's label of the same name gets no lens.
  c.request(8, "textDocument/codeLens", doc(main));
  EXPECT_EQ(c.answer(8)["result"], json::parse(R"([{"range": {"start": {"line": 5,
      "character": 0}, "end": {"line": 5, "character": 5}}, "command": {"title":
      "2 references", "command": "zqasm.showReferences", "arguments": [")" +
                                               main + R"(", {"line": 5, "character": 0}]}}])"));
  c.request(9, "textDocument/codeLens", doc(defs));
  const json lenses = c.answer(9)["result"];
  ASSERT_EQ(lenses.size(), 1u) << lenses;
  EXPECT_EQ(lenses[0]["command"]["title"], "2 references, 2 to 3 words per expansion");
  EXPECT_EQ(lenses[0]["range"]["start"]["line"], 2);

  // After an edit the answers follow the buffer: one call left, and a folding range gone.
  c.notify("textDocument/didChange",
           change(main, 2, {{{"range", rangeOf(7, 0, 8, 0)}, {"text", ""}}}));
  c.notify("textDocument/didChange",
           change(defs, 2, {{{"range", rangeOf(0, 0, 1, 0)}, {"text", ""}}}));
  c.request(10, "textDocument/codeLens", doc(defs));
  EXPECT_EQ(c.answer(10)["result"][0]["command"]["title"], "1 reference, 2 words per expansion");
  c.request(11, "textDocument/foldingRange", doc(defs));
  EXPECT_EQ(c.answer(11)["result"][0], json::parse(R"({"startLine": 1, "endLine": 8})"));
}

// The same edits sent as ranged changes to one server and as whole texts to another give
// the same answers. The ranged ones come several to a notification, at line ends and past
// them, across CR LF line ends and after characters that take one and two UTF-16 units.
// A ranged change to zqasm.json applies too.
TEST(LspProtocolTest, IncrementalSyncEqualsFullSync) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["nowhere"]})");
  writeFile(dir.file("defs.inc"), "W .MACRO V\n LDA V\n .ENDM\n");
  writeFile(dir.file("main.asm"), "");
  const std::string main = uri(dir.file("main.asm")), config = uri(dir.file("zqasm.json"));
  const std::string before =
      ".CHIP ZQ4460\r\n #include <defs.inc>\r\n; caf\xF0\x9F\x98\x80\r\n"
      "K EQU '\xC3\xA9' + 1\r\nGO: W K\r\n JMP GO\r\n";
  const std::string after =
      ".CHIP ZQ4460\r\n #include <defs.inc>\r\n; caf\xC3\xA8!\r\n"
      "K EQU '\xC3\xA9' + 1 + NOWHERE\r\nGO: W K\r\n JMP GO\r\n JMP NOWHERE2\r\n";
  Client full, ranged;
  for (Client* c : {&full, &ranged}) {
    initialize(*c, dir.path());
    openDocument(*c, config, R"({"includeDirs": ["nowhere"]})");
  }
  // "nowhere" becomes ".": the include is found.
  full.notify("textDocument/didChange",
              change(config, 2, {{{"text", R"({"includeDirs": ["."]})"}}}));
  ranged.notify("textDocument/didChange",
                change(config, 2, {{{"range", rangeOf(0, 18, 0, 25)}, {"text", "."}}}));
  openDocument(full, main, after);
  openDocument(ranged, main, before);
  ranged.notify("textDocument/didChange",
                change(main, 2,
                       {{{"range", rangeOf(3, 13, 3, 13)}, {"text", " + NOWHERE"}},
                        {{"range", rangeOf(2, 5, 2, 7)}, {"text", "\xC3\xA8"}},
                        {{"range", rangeOf(2, 6, 2, 40)}, {"text", "!"}},
                        {{"range", rangeOf(4, 7, 5, 0)}, {"text", "\r\n NOP\r\n"}},
                        {{"range", rangeOf(6, 99, 6, 99)}, {"text", "\r\n JMP NOWHERE2"}}}));
  ranged.notify("textDocument/didChange",
                change(main, 3, {{{"range", rangeOf(5, 0, 6, 0)}, {"text", ""}}}));
  const json diagnostics = full.diagnostics(main);
  ASSERT_EQ(diagnostics.size(), 3u) << diagnostics;
  // The EQU line with NOWHERE is one syntax error over the line: 23 units, one of them
  // the "\xC3\xA9"; K, left undefined, at the macro call that passes it; the new last
  // line's jump to nowhere.
  EXPECT_EQ(diagnostics[0]["range"], rangeOf(3, 0, 3, 23)) << diagnostics;
  EXPECT_EQ(diagnostics[1]["range"], rangeOf(4, 6, 4, 7)) << diagnostics;
  EXPECT_EQ(diagnostics[2]["range"], rangeOf(6, 5, 6, 13)) << diagnostics;
  json last = ranged.diagnostics(main);
  while (last != diagnostics && !last.is_null()) last = ranged.diagnostics(main);
  EXPECT_EQ(last, diagnostics);
  int id = 2;
  for (const char* method : {"textDocument/semanticTokens/full", "textDocument/foldingRange",
                             "textDocument/documentSymbol", "textDocument/codeLens"}) {
    full.request(id, method, doc(main));
    ranged.request(id, method, doc(main));
    EXPECT_EQ(ranged.answer(id), full.answer(id)) << method;
    ++id;
  }
  full.request(id, "textDocument/hover", at(main, 3, 1));
  ranged.request(id, "textDocument/hover", at(main, 3, 1));
  EXPECT_EQ(ranged.answer(id), full.answer(id));
}

// Include files that were missing when the run looked for them: a file created on disk
// (a watched-files "created"), an unsaved buffer opened, and a file saved each make the
// run again, whatever the case of the name on disk. A client that registers watchers
// dynamically is asked to watch every file.
TEST(LspProtocolTest, IncludeFilesThatAppearLater) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  const std::string main = uri(dir.file("main.asm"));
  const std::string a = uri(dir.file("a.inc")), b = uri(dir.file("b.inc")),
                    cInc = uri(dir.file("c.inc"));
  Client c;
  initialize(c, dir.path(),
             {{"workspace", {{"didChangeWatchedFiles", {{"dynamicRegistration", true}}}}}});
  json registration;
  for (json m = c.next(); !m.is_null(); m = c.next())
    if (m.value("method", "") == "client/registerCapability") {
      registration = m;
      break;
    }
  ASSERT_FALSE(registration.is_null());
  const json& watch = registration["params"]["registrations"][0];
  EXPECT_EQ(watch["method"], "workspace/didChangeWatchedFiles");
  EXPECT_EQ(watch["registerOptions"]["watchers"][0]["globPattern"], "**/*");
  c.send({{"jsonrpc", "2.0"}, {"id", registration["id"]}, {"result", nullptr}});

  openDocument(c, main,
               ".CHIP ZQ4460\n #include <A.INC>\n #include <b.inc>\n #include <c.inc>\n"
               " LDA KA\n LDA KB\n LDA KC\n");
  json d = c.diagnostics(main);
  EXPECT_EQ(codes(d), "E36 E36 E36 E12 E12 E12");
  EXPECT_EQ(d[0]["message"].get<std::string>().substr(0, 31), "include file 'A.INC' not found ");

  writeFile(dir.file("a.inc"), "KA EQU 1\n");
  c.notify("workspace/didChangeWatchedFiles", {{"changes", {{{"uri", a}, {"type", 1}}}}});
  EXPECT_EQ(codes(c.diagnostics(main)), "E36 E36 E12 E12");
  openDocument(c, b, "KB EQU 2\n");  // never saved
  EXPECT_EQ(codes(c.diagnostics(main)), "E36 E12");
  writeFile(dir.file("c.inc"), "KC EQU 3\n");
  c.notify("textDocument/didSave", doc(cInc));
  EXPECT_EQ(c.diagnostics(main), json::array());
  c.notify("exit", nullptr);
  EXPECT_EQ(c.finish(false), 1);
}

// An error that a macro argument causes is also shown at the call, in the file of the
// call, pointing at the body line: from a call in the main source, through a macro that
// hands its own parameter on, and from a literal argument of a call inside a macro body
// (shown there). An error of the body that no argument causes stays in the body; a
// macro calling itself with its parameter shows its error once in each file.
TEST(LspProtocolTest, MacroArgumentErrorsAtTheCall) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  writeFile(dir.file("defs.inc"),
            "W .MACRO V\n LDA V\n JMP NOWHERE\n .ENDM\n"  // lines 0-3
            "N .MACRO X\n W X\n .ENDM\n"                  // 4-6
            "Q .MACRO\n W 300\n .ENDM\n"                  // 7-9
            "R .MACRO P\n R P\n .ENDM\n");                // 10-12
  const std::string main = uri(dir.file("main.asm")), defs = uri(dir.file("defs.inc"));
  Client c;
  initialize(c, dir.path());
  openDocument(c, main, ".CHIP ZQ4460\n #include <defs.inc>\n W 300\n N 301\n Q\n W 5, 6\n R 1\n");
  // Each diagnostic as "LINE CODE > LINE MESSAGE" of its first related place.
  auto lines = [](const json& list) {
    std::string text;
    for (const json& e : list) {
      text += std::to_string(e["range"]["start"]["line"].get<int>()) + " " + e.value("code", "");
      if (e.contains("relatedInformation")) {
        const json& first = e["relatedInformation"][0];
        text += " > " + std::to_string(first["location"]["range"]["start"]["line"].get<int>()) +
                " " + first["message"].get<std::string>();
      }
      text += "\n";
    }
    return text;
  };
  // 300 and 301 do not fit LDA's RAM address; the count of "W 5, 6" is wrong at the call
  // itself.
  std::map<std::string, json> published = c.diagnostics({main, defs});
  const json d = published[main];
  EXPECT_EQ(lines(d),
            "2 E6 > 1 the argument is used here, in the body of macro 'W'\n"
            "3 E6 > 1 the argument is used here, in the body of macro 'W'\n"
            "5 E43\n"
            "6 E69 > 11 the argument is used here, in the body of macro 'R'\n");
  for (const json& e : d) {
    EXPECT_EQ(e["severity"], 1);
    if (e.contains("relatedInformation")) {
      EXPECT_EQ(e["relatedInformation"][0]["location"]["uri"], defs);
    }
  }
  // The body keeps its own, once per call site; Q's literal argument is shown at Q's body
  // line; R's runaway stands once at its body line.
  EXPECT_EQ(lines(published[defs]),
            "1 E6 > 2 in the expansion of macro 'W' called here\n"
            "1 E6 > 5 in the expansion of macro 'W' called here\n"
            "1 E6 > 8 in the expansion of macro 'W' called here\n"
            "2 E12 > 2 in the expansion of macro 'W' called here\n"
            "2 E12 > 5 in the expansion of macro 'W' called here\n"
            "2 E12 > 8 in the expansion of macro 'W' called here\n"
            "8 E6 > 1 the argument is used here, in the body of macro 'W'\n"
            "11 E69 > 11 in the expansion of macro 'R' called here\n");
}

// An include read by two main sources: each of its diagnostics names the runs that made
// it, at the line of each that includes the file; a file that one run reads does not.
TEST(LspProtocolTest, SharedIncludeNamesItsRuns) {
  zqtest::TempDir dir;
  writeFile(dir.file("zqasm.json"), R"({"includeDirs": ["."]})");
  writeFile(dir.file("shared.inc"), "#IFDEF FROM_A\n JMP ONLY_A\n#ENDIF\n BAD 1\n");
  const std::string a = uri(dir.file("a.asm")), b = uri(dir.file("b.asm")),
                    shared = uri(dir.file("shared.inc"));
  Client c;
  initialize(c, dir.path());
  openDocument(c, a, ".CHIP ZQ4460\n#DEFINE FROM_A\n #include <shared.inc>\n JMP NOWHERE\n");
  EXPECT_EQ(c.diagnostics(a).at(0)["relatedInformation"], nullptr);
  json alone = c.diagnostics(shared);
  ASSERT_EQ(codes(alone), "E12 E1");
  EXPECT_FALSE(alone[1].contains("relatedInformation"));

  openDocument(c, b, ".CHIP ZQ4460\n\n\n #include <shared.inc>\n");
  const json both = c.diagnostics(shared);
  ASSERT_EQ(codes(both), "E12 E1");
  std::string text;
  for (const json& d : both)
    for (const json& r : d["relatedInformation"])
      text += r["location"]["uri"].get<std::string>().substr(
                  r["location"]["uri"].get<std::string>().rfind('/') + 1) +
              ":" + std::to_string(r["location"]["range"]["start"]["line"].get<int>()) + " " +
              r["message"].get<std::string>() + "\n";
  EXPECT_EQ(text,
            "a.asm:2 reported by the run of a.asm, which includes the file here\n"
            "a.asm:2 reported by the run of a.asm, which includes the file here\n"
            "b.asm:3 reported by the run of b.asm, which includes the file here\n");
}

// A run that a newer change supersedes is abandoned: the doubly self-calling macro, whose
// run takes seconds, is replaced at once, and the first diagnostics published are those
// of the new text; the server answers right after. A client that then goes away with
// neither shutdown nor exit: the server ends on its closed input with status 1.
TEST(LspProtocolTest, SupersededRunAbandoned) {
  zqtest::TempDir dir;
  const std::string bomb = uri(dir.file("bomb.asm"));
  Client c;
  initialize(c, dir.path());
  openDocument(c, bomb, ".CHIP ZQ4460\nM .MACRO\n M\n M\n .ENDM\n M\n");
  c.notify("textDocument/didChange", change(bomb, 2, {{{"text", ".CHIP ZQ4460\n JMP NOWHERE\n"}}}));
  const json d = c.diagnostics(bomb);
  ASSERT_EQ(codes(d), "E12");
  EXPECT_EQ(d[0]["range"]["start"]["line"], 1);
  c.request(2, "textDocument/hover", at(bomb, 1, 2));
  EXPECT_TRUE(c.answer(2).contains("result"));
  EXPECT_EQ(c.finish(), 1);
}

}  // namespace
