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

#include "platform/platform.h"
#include "test_support.h"

namespace {

using nlohmann::json;
using zqtest::writeFile;

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

std::string uri(const std::string& path) { return "file://" + zq::fullPath(path); }

json at(const std::string& u, int line, int character) {
  return {{"textDocument", {{"uri", u}}}, {"position", {{"line", line}, {"character", character}}}};
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
  c.request(1, "initialize", {{"rootUri", uri(dir.path())}, {"capabilities", json::object()}});
  const json init = c.answer(1);
  EXPECT_EQ(init["result"]["capabilities"]["textDocumentSync"]["change"], 1);
  EXPECT_EQ(init["result"]["capabilities"]["semanticTokensProvider"]["legend"]["tokenTypes"][0],
            "keyword");
  c.notify("initialized", json::object());
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
  c.request(6, "textDocument/documentSymbol", {{"textDocument", {{"uri", main}}}});
  EXPECT_EQ(c.answer(6)["result"][1]["name"], "GO");
  c.request(7, "workspace/symbol", {{"query", "w"}});
  EXPECT_EQ(c.answer(7)["result"][0]["location"]["uri"], defs);
  c.request(8, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", main}}}});
  EXPECT_EQ(c.answer(8)["result"]["data"].size() % 5, 0u);

  c.notify("textDocument/didChange",
           {{"textDocument", {{"uri", defs}, {"version", 2}}},
            {"contentChanges", {{{"text", "W .MACRO V\n LDA V\n .ENDM\n"}}}}});
  EXPECT_EQ(c.diagnostics(defs), json::array());
  c.notify("textDocument/didClose", {{"textDocument", {{"uri", defs}}}});
  c.request(9, "shutdown", nullptr);
  EXPECT_EQ(c.answer(9)["result"], nullptr);
  c.notify("exit", nullptr);
  EXPECT_EQ(c.finish(false), 0);
}

// A client that goes away with neither shutdown nor exit: the server ends on its closed
// input, with status 1, instead of waiting for ever.
TEST(LspProtocolTest, ClientGoneWithoutExit) {
  zqtest::TempDir dir;
  Client c;
  c.request(1, "initialize", {{"rootUri", uri(dir.path())}, {"capabilities", json::object()}});
  EXPECT_FALSE(c.answer(1)["result"].is_null());
  EXPECT_EQ(c.finish(), 1);
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
  // Its diagnostics stand 64 expansions deep: the 5 innermost and the 5 outermost are
  // related, with one entry for the 54 between.
  openDocument(c, uri(bomb), ".CHIP ZQ4460\nM .MACRO\n M\n M\n .ENDM\n M\n");
  const json bombs = c.diagnostics(uri(bomb));
  ASSERT_TRUE(bombs.is_array());
  EXPECT_LE(bombs.size(), 1000u);
  size_t deep = 0;
  for (const json& d : bombs) {
    if (!d.contains("relatedInformation") || d["relatedInformation"].size() != 11) continue;
    ++deep;
    const json& related = d["relatedInformation"];
    EXPECT_EQ(related[5]["message"], "54 more levels of macro expansion not shown");
    EXPECT_EQ(related[4]["message"], "in the expansion of macro 'M' called here");
    EXPECT_EQ(related[10]["location"]["range"]["start"]["line"], 5);
  }
  EXPECT_GT(deep, 0u);
  for (const json& d : bombs) {
    if (d.contains("relatedInformation")) {
      EXPECT_LE(d["relatedInformation"].size(), 11u);
    }
  }

  // An include file saved with a 257th macro: the run stops at that line.
  const std::string many = dir.file("many.inc"), user = dir.file("user.asm");
  writeFile(many, "");
  openDocument(c, uri(user), ".CHIP ZQ4460\n #include <many.inc>\n");
  c.request(6, "textDocument/hover", at(uri(user), 0, 0));  // answered after the run
  EXPECT_TRUE(c.answer(6).contains("result"));
  std::string macros;
  for (int i = 0; i < 257; ++i) macros += "M" + std::to_string(i) + " .MACRO\n NOP\n .ENDM\n";
  writeFile(many, macros);
  c.notify("textDocument/didSave", {{"textDocument", {{"uri", uri(many)}}}});
  EXPECT_EQ(c.diagnostics(uri(many)), json::parse(R"([{"range": {"start": {"line": 768,
      "character": 0}, "end": {"line": 768, "character": 11}}, "severity": 1, "source": "zqasm",
      "message": "Macro quantities can't great than 256"}])"));
  c.notify("exit", nullptr);
  EXPECT_EQ(c.finish(false), 1);  // exit without shutdown
}

// Messages of a session, the requests of the server answered (with null) as a client
// answers them.
json initialize(Client& c, const std::string& root, const json& capabilities) {
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
  c.notify("textDocument/didSave", {{"textDocument", {{"uri", cInc}}}});
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
  initialize(c, dir.path(), json::object());
  openDocument(c, main,
               ".CHIP ZQ4460\n #include <defs.inc>\n W 300\n N 301\n Q\n W 5, 6\n R 1\n");
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
  c.notify("exit", nullptr);
  c.finish(false);
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
  initialize(c, dir.path(), json::object());
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
      text += r["location"]["uri"].get<std::string>().substr(r["location"]["uri"].get<std::string>().rfind('/') + 1) +
              ":" + std::to_string(r["location"]["range"]["start"]["line"].get<int>()) + " " +
              r["message"].get<std::string>() + "\n";
  EXPECT_EQ(text,
            "a.asm:2 reported by the run of a.asm, which includes the file here\n"
            "a.asm:2 reported by the run of a.asm, which includes the file here\n"
            "b.asm:3 reported by the run of b.asm, which includes the file here\n");
  c.notify("exit", nullptr);
  c.finish(false);
}

// A run that a newer change supersedes is abandoned: the doubly self-calling macro, whose
// run takes seconds, is replaced at once, and the first diagnostics published are those
// of the new text; the server answers right after.
TEST(LspProtocolTest, SupersededRunAbandoned) {
  zqtest::TempDir dir;
  const std::string bomb = uri(dir.file("bomb.asm"));
  Client c;
  initialize(c, dir.path(), json::object());
  openDocument(c, bomb, ".CHIP ZQ4460\nM .MACRO\n M\n M\n .ENDM\n M\n");
  c.notify("textDocument/didChange",
           {{"textDocument", {{"uri", bomb}, {"version", 2}}},
            {"contentChanges", {{{"text", ".CHIP ZQ4460\n JMP NOWHERE\n"}}}}});
  const json d = c.diagnostics(bomb);
  ASSERT_EQ(codes(d), "E12");
  EXPECT_EQ(d[0]["range"]["start"]["line"], 1);
  c.request(2, "textDocument/hover", at(bomb, 1, 2));
  EXPECT_TRUE(c.answer(2).contains("result"));
  c.notify("exit", nullptr);
  c.finish(false);
}

}  // namespace
