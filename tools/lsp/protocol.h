// The protocol layer of the language server: JSON-RPC messages of LSP 3.17 turned into
// calls of the workspace model (workspace.h) and its answers turned into messages, in
// this one place. Diagnostics of a change wait kDebounce for the next change; those of
// an open or a save are made at once.
#ifndef ZQASM_TOOLS_LSP_PROTOCOL_H_
#define ZQASM_TOOLS_LSP_PROTOCOL_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "workspace.h"

namespace zqlsp {

using Clock = std::chrono::steady_clock;

// Short: a run that a newer change supersedes is abandoned at its next line, so a run
// started between two keystrokes costs the typing nothing.
constexpr std::chrono::milliseconds kDebounce{80};

// True when a message body is a notification that changes what the runs read (an
// open, change, save or close of a document, or a change of watched files). A look at
// the method alone, cheap enough for every message as it arrives; a rare false answer
// costs no more than one run made again.
bool changesSources(const std::string& body);

class Server {
 public:
  // `send` takes each message body to write; `chipDirectory` and `warnings` (the trap
  // warnings, as ZqasmSetWarnings takes them) are the defaults of the runs.
  Server(std::string chipDirectory, std::function<void(const std::string&)> send,
         std::string warnings = "all");

  // One message body as read by the transport.
  void handle(const std::string& body);
  // A header block without a message (the transport could not frame one).
  void malformed();

  // When the runs of the changes are due; nothing when none waits.
  std::optional<Clock::time_point> deadline() const;
  // Makes the runs and publishes the diagnostics that changed. A run is abandoned when
  // the test set by abandonRunsWhen answers true, and made again when next due.
  void runDue();
  // `superseded` tells whether a newer change waits (asked once per line of a run).
  void abandonRunsWhen(std::function<bool()> superseded) { superseded_ = std::move(superseded); }

  bool exited() const { return exited_; }
  // 0 after shutdown and exit, 1 for an exit without shutdown (as LSP asks).
  int exitCode() const { return shutdown_ ? 0 : 1; }

 private:
  // The answer to a request (a result, or throws RequestError).
  nlohmann::json request(const std::string& method, const nlohmann::json& params);
  void notification(const std::string& method, const nlohmann::json& params);
  // textDocument/prepareRename, or textDocument/rename when `apply`.
  nlohmann::json rename(bool apply, const std::string& file, const nlohmann::json& params);
  void respond(const nlohmann::json& id, const nlohmann::json& result);
  void fail(const nlohmann::json& id, int code, const std::string& message);
  void publish(const std::string& file);
  void loadConfiguration(const std::string* text);
  // The workspace's name of the file a URI names (its full name); "" for other URIs.
  std::string fileOf(const std::string& uri);
  std::string uriOf(const std::string& file) const;
  void schedule(Clock::duration delay);

  Workspace workspace_;
  std::function<void(const std::string&)> send_;
  std::string root_;
  std::map<std::string, std::string> uris_;  // full name -> the URI the client used
  std::optional<Clock::time_point> due_;
  // The editor's text of zqasm.json (UTF-8) while it is open there, for ranged changes.
  std::optional<std::string> configurationText_;
  std::function<bool()> superseded_;
  bool watchFiles_ = false;  // the client registers file watchers when asked
  // The inlay hint switches of the editor's settings (initializationOptions and
  // workspace/didChangeConfiguration); zqasm.json's keys win over them.
  InlayHintSettings editorInlayHints_;
  bool refreshInlayHints_ = false;  // the client takes workspace/inlayHint/refresh
  int nextRequest_ = 1;      // ids of the server's requests
  bool initialized_ = false;
  bool shutdown_ = false;
  bool exited_ = false;

  bool documentChanges_ = false;             // the client takes versioned workspace edits
  std::map<std::string, int64_t> versions_;  // open file -> the version the editor gave it
};

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_PROTOCOL_H_
