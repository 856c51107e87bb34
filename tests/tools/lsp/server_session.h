// The server's protocol layer driven in this process: JSON-RPC messages in, the messages
// it sends kept. Every request stands on the runs of the text as it is (the server makes
// the runs due first), so no wait for the debounce is needed.
#ifndef ZQASM_TESTS_TOOLS_LSP_SERVER_SESSION_H_
#define ZQASM_TESTS_TOOLS_LSP_SERVER_SESSION_H_

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "protocol.h"
#include "test_support.h"

namespace zqtest {

inline std::string fileUri(const std::string& path) { return "file://" + zq::fullPath(path); }
// The params of a request at a place of a document, and a range as requests write it.
inline nlohmann::json at(const std::string& u, int line, int character) {
  return {{"textDocument", {{"uri", u}}}, {"position", {{"line", line}, {"character", character}}}};
}
inline nlohmann::json rangeOf(int startLine, int startCharacter, int endLine, int endCharacter) {
  return {{"start", {{"line", startLine}, {"character", startCharacter}}},
          {"end", {{"line", endLine}, {"character", endCharacter}}}};
}

class ServerSession {
 public:
  ServerSession()
      : server_(chipDir(),
                [this](const std::string& body) { sent_.push_back(nlohmann::json::parse(body)); }) {
  }

  // initialize with the workspace root and the given initializationOptions and client
  // capabilities; answers the capabilities.
  nlohmann::json initialize(const std::string& root,
                            const nlohmann::json& options = nlohmann::json(),
                            const nlohmann::json& capabilities = nlohmann::json::object()) {
    nlohmann::json params = {{"rootUri", uri(root)}, {"capabilities", capabilities}};
    if (!options.is_null()) params["initializationOptions"] = options;
    const nlohmann::json answer = request("initialize", params);
    notify("initialized", nlohmann::json::object());
    return answer["capabilities"];
  }
  void notify(const std::string& method, const nlohmann::json& params) {
    server_.handle(
        nlohmann::json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
  }
  void open(const std::string& u, const std::string& text) {
    notify(
        "textDocument/didOpen",
        {{"textDocument", {{"uri", u}, {"languageId", "zqasm"}, {"version", 1}, {"text", text}}}});
  }
  // The whole answer to a request: its result or its error ("no answer" when none came).
  nlohmann::json message(const std::string& method, const nlohmann::json& params) {
    const int id = next_++;
    server_.handle(
        nlohmann::json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}
            .dump());
    for (const nlohmann::json& m : sent_)
      if (m.contains("id") && m["id"] == id && !m.contains("method")) return m;
    return "no answer";
  }
  // The result of a request (null for an error, whose message goes to `error`).
  nlohmann::json request(const std::string& method, const nlohmann::json& params) {
    const nlohmann::json m = message(method, params);
    if (!m.is_object()) {
      error = "no answer";
      return nullptr;
    }
    error = m.contains("error") ? m["error"].dump() : "";
    return m.value("result", nlohmann::json());
  }
  // A request at a place of a document.
  nlohmann::json at(const std::string& method, const std::string& u, int line, int character) {
    return request(method, zqtest::at(u, line, character));
  }
  // The messages the server sent, oldest first.
  const std::vector<nlohmann::json>& sent() const { return sent_; }

  static std::string uri(const std::string& path) { return fileUri(path); }

  std::string error;

 private:
  std::vector<nlohmann::json> sent_;
  zqlsp::Server server_;
  int next_ = 1;
};

}  // namespace zqtest

#endif  // ZQASM_TESTS_TOOLS_LSP_SERVER_SESSION_H_
