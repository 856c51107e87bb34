// LSP messages to workspace calls and back.
#include "protocol.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "config.h"
#include "formatting.h"
#include "platform/platform.h"
#include "text.h"

namespace zqlsp {

namespace {

using nlohmann::json;

// JSON-RPC and LSP error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// LSP message types of window/showMessage.
constexpr int kWarningMessage = 2;

struct RequestError {
  int code;
  std::string message;
};

json position(const Position& p) { return {{"line", p.line}, {"character", p.column}}; }

json range(const Range& r) { return {{"start", position(r.start)}, {"end", position(r.end)}}; }

Position positionOf(const json& params) {
  const json& p = params.at("position");
  return Position{p.at("line").get<int>(), p.at("character").get<int>()};
}

// zqasm.json as bytes. `found` is false when it is missing, no regular file (a pipe there
// would block the server for good) or larger than 1 MiB.
std::string readText(const std::string& file, bool& found) {
  constexpr size_t kMaxConfigurationBytes = 1u << 20;
  std::string text;
  found = zq::readInputFile(file, kMaxConfigurationBytes, text) == zq::InputFile::kRead;
  return text;
}

json documentSymbol(const DocumentSymbol& s) {
  json children = json::array();
  for (const DocumentSymbol& child : s.children) children.push_back(documentSymbol(child));
  json out = {{"name", s.name.empty() ? std::string("?") : utf8FromBytes(s.name)},
              {"kind", s.kind},
              {"range", range(s.range)},
              {"selectionRange", range(s.selectionRange)}};
  if (!s.detail.empty()) out["detail"] = utf8FromBytes(s.detail);
  if (!children.empty()) out["children"] = children;
  return out;
}

// The TextEdits of a formatting request over an open buffer (none for a file not open):
// the whole text, or the lines of the range (a range that ends at the start of a line
// leaves that line out).
json formatting(const std::string* text, const json& params, bool ranged) {
  json list = json::array();
  if (text == nullptr) return list;
  FormattingOptions options;
  const json& given = params.at("options");
  options.tabSize = given.value("tabSize", 8);
  options.insertSpaces = given.value("insertSpaces", true);
  int first = 0, last = -1;
  if (ranged) {
    const json& r = params.at("range");
    first = r.at("start").at("line").get<int>();
    last = r.at("end").at("line").get<int>();
    if (last > first && r.at("end").at("character").get<int>() == 0) --last;
    if (last < first) return list;
  }
  for (const FormatEdit& e : formatEdits(*text, options, first, last))
    list.push_back({{"range", range(Range{{e.line, e.startColumn}, {e.line, e.endColumn}})},
                    {"newText", utf8FromBytes(e.newText)}});
  return list;
}

// The switches of the editor's settings in `options` ({"inlayHints": {...}}, or the same
// under "zqasm" as a client sends its settings section); unchanged when it names none.
void editorSwitches(const json& options, InlayHintSettings& settings) {
  const json* node = &options;
  if (node->is_object() && node->contains("zqasm")) node = &(*node)["zqasm"];
  if (!node->is_object() || !node->contains("inlayHints")) return;
  std::vector<std::string> problems;  // the editor's own settings page checks the types
  settings = parseInlayHintSettings((*node)["inlayHints"], problems);
}

// A diagnostic the client sends back (the context of a code action).
Diagnostic diagnosticOf(const json& d) {
  Diagnostic out;
  const json& r = d.at("range");
  out.range = Range{{r.at("start").at("line").get<int>(), r.at("start").at("character").get<int>()},
                    {r.at("end").at("line").get<int>(), r.at("end").at("character").get<int>()}};
  const auto code = d.find("code");
  if (code != d.end()) out.code = code->is_string() ? code->get<std::string>() : code->dump();
  out.message = bytesFromUtf8(d.value("message", std::string()));
  return out;
}

}  // namespace

Server::Server(std::string chipDirectory, std::function<void(const std::string&)> send,
               std::string warnings)
    : workspace_(std::move(chipDirectory), std::move(warnings)), send_(std::move(send)) {}

void Server::respond(const json& id, const json& result) {
  send_(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(
      -1, ' ', false, json::error_handler_t::replace));
}

void Server::fail(const json& id, int code, const std::string& message) {
  send_(
      json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}}.dump(
          -1, ' ', false, json::error_handler_t::replace));
}

void Server::malformed() {
  fail(nullptr, kParseError, "a message without a usable Content-Length");
}

// JSON-RPC as LSP uses it: a request has an id and a method and gets exactly one answer;
// a notification has no id and gets none, not even when it is malformed; a message with
// an id and no method is an answer to the server, which sends no requests.
void Server::handle(const std::string& body) {
  const json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    fail(nullptr, kParseError, "the message is not JSON");
    return;
  }
  if (!message.is_object()) {
    fail(nullptr, kInvalidRequest, "the message is not a JSON object");
    return;
  }
  const auto method = message.find("method");
  const auto id = message.find("id");
  const bool validId = id != message.end() && (id->is_number_integer() || id->is_string());
  if (method == message.end() || !method->is_string()) {
    // A response to a request of ours (there are none), or nonsense.
    if (id == message.end() || message.contains("result") || message.contains("error")) return;
    fail(validId ? *id : json(nullptr), kInvalidRequest, "a request without a method");
    return;
  }
  static const json kNoParams = json::object();
  const auto params = message.find("params");
  const json& p = params != message.end() ? *params : kNoParams;
  const std::string name = method->get<std::string>();
  if (id == message.end()) {
    try {
      notification(name, p);
    } catch (const std::exception&) {
      // A notification has no answer: one with bad parameters is dropped.
    }
    return;
  }
  if (!validId) {
    fail(nullptr, kInvalidRequest, "the id must be a number or a text");
    return;
  }
  if (!initialized_ && name != "initialize") {
    fail(*id, kServerNotInitialized, "initialize first");
    return;
  }
  if (shutdown_) {
    fail(*id, kInvalidRequest, "the server is shutting down");
    return;
  }
  try {
    respond(*id, request(name, p));
  } catch (const RequestError& e) {
    fail(*id, e.code, e.message);
  } catch (const json::exception& e) {
    fail(*id, kInvalidParams, std::string("bad parameters: ") + e.what());
  } catch (const std::exception& e) {
    fail(*id, kInternalError, e.what());
  }
}

// The full name is what the runs call the file; the client's URI is remembered so that
// diagnostics and locations go back under the URI it knows (which may differ in case or
// in a link resolved by the full name).
std::string Server::fileOf(const std::string& uri) {
  const std::string path = pathFromUri(uri);
  if (path.empty()) return "";
  const std::string file = zq::fullPath(path);
  uris_.emplace(file, uri);
  return file;
}

std::string Server::uriOf(const std::string& file) const {
  auto found = uris_.find(file);
  return found != uris_.end() ? found->second : uriFromPath(file);
}

void Server::schedule(Clock::duration delay) {
  const Clock::time_point at = Clock::now() + delay;
  // A change pushes the runs back; an open or a save brings them forward.
  if (!due_ || delay.count() > 0 || at < *due_) due_ = at;
}

std::optional<Clock::time_point> Server::deadline() const { return due_; }

// The whole list of a file's diagnostics, also an empty one that clears them.
void Server::publish(const std::string& file) {
  json list = json::array();
  for (const Diagnostic& d : workspace_.diagnostics(file)) {
    json item = {{"range", range(d.range)},
                 {"severity", static_cast<int>(d.severity)},
                 {"source", "zqasm"},
                 {"message", utf8FromBytes(d.message)}};
    if (!d.code.empty()) item["code"] = d.code;
    json related = json::array();
    for (const auto& r : d.related)
      related.push_back(
          {{"location", {{"uri", uriOf(r.first.file)}, {"range", range(r.first.range)}}},
           {"message", utf8FromBytes(r.second)}});
    if (!related.empty()) item["relatedInformation"] = related;
    list.push_back(item);
  }
  send_(json{{"jsonrpc", "2.0"},
             {"method", "textDocument/publishDiagnostics"},
             {"params", {{"uri", uriOf(file)}, {"diagnostics", list}}}}
            .dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::runDue() {
  due_.reset();
  if (!workspace_.pending()) return;
  for (const std::string& file : workspace_.update(superseded_)) publish(file);
  // Abandoned for a change that waits: its handling sets the time of the next runs.
  if (workspace_.pending()) schedule(Clock::duration::zero());
}

bool changesSources(const std::string& body) {
  static const std::string kKey = "\"method\"";
  size_t at = body.find(kKey);
  while (at != std::string::npos && at > 0 && body[at - 1] == '\\')
    at = body.find(kKey, at + 1);
  if (at == std::string::npos) return false;
  at += kKey.size();
  while (at < body.size() && (body[at] == ' ' || body[at] == '\t' || body[at] == '\r' ||
                              body[at] == '\n' || body[at] == ':'))
    ++at;
  if (at >= body.size() || body[at] != '"') return false;
  const size_t end = body.find('"', at + 1);
  if (end == std::string::npos) return false;
  const std::string method = body.substr(at + 1, end - at - 1);
  return method == "textDocument/didChange" || method == "textDocument/didOpen" ||
         method == "textDocument/didSave" || method == "textDocument/didClose" ||
         method == "workspace/didChangeWatchedFiles";
}

// `text` is the editor's buffer of zqasm.json, or nullptr to read the file. Every run is
// made again with the new settings; problems are shown to the user, and the keys that
// could be read are used.
void Server::loadConfiguration(const std::string* text) {
  if (root_.empty()) return;
  const std::string file = zq::fullPath(root_ + "/" + kConfigurationFile);
  bool found = text != nullptr;
  const std::string contents = text != nullptr ? *text : readText(file, found);
  std::vector<std::string> problems;
  const Configuration c = found ? parseConfiguration(contents, root_, problems) : Configuration();
  workspace_.configure(c);
  for (const std::string& problem : problems)
    send_(json{{"jsonrpc", "2.0"},
               {"method", "window/showMessage"},
               {"params", {{"type", kWarningMessage}, {"message", "zqasm.json: " + problem}}}}
              .dump(-1, ' ', false, json::error_handler_t::replace));
  schedule(Clock::duration::zero());
}

json Server::request(const std::string& method, const json& params) {
  if (method == "initialize") {
    initialized_ = true;
    std::string rootUri;
    if (params.contains("rootUri") && params["rootUri"].is_string()) {
      rootUri = params["rootUri"].get<std::string>();
    } else if (params.contains("workspaceFolders") && params["workspaceFolders"].is_array() &&
               !params["workspaceFolders"].empty()) {
      rootUri = params["workspaceFolders"][0].at("uri").get<std::string>();
    }
    root_ = rootUri.empty() ? std::string() : pathFromUri(rootUri);
    if (root_.empty() && params.contains("rootPath") && params["rootPath"].is_string())
      root_ = params["rootPath"].get<std::string>();
    if (!root_.empty()) root_ = zq::fullPath(root_);
    // Include files that appear later are learned of through watched files.
    const json* node = &params;
    for (const char* key : {"capabilities", "workspace", "didChangeWatchedFiles"}) {
      node = node->is_object() && node->contains(key) ? &(*node)[key] : nullptr;
      if (node == nullptr) break;
    }
    watchFiles_ = node != nullptr && node->is_object() && node->contains("dynamicRegistration") &&
                  (*node)["dynamicRegistration"] == true;
    if (params.contains("initializationOptions"))
      editorSwitches(params["initializationOptions"], editorInlayHints_);
    node = &params;
    for (const char* key : {"capabilities", "workspace", "inlayHint", "refreshSupport"}) {
      node = node->is_object() && node->contains(key) ? &(*node)[key] : nullptr;
      if (node == nullptr) break;
    }
    refreshInlayHints_ = node != nullptr && *node == true;
    const json edits = params.value("capabilities", json::object())
                           .value("workspace", json::object())
                           .value("workspaceEdit", json::object());
    documentChanges_ = edits.is_object() && edits.value("documentChanges", false) == true;
    loadConfiguration(nullptr);
    json legend = {{"tokenTypes", tokenTypes()}, {"tokenModifiers", tokenModifiers()}};
    return {{"capabilities",
             {{"positionEncoding", "utf-16"},
              {"textDocumentSync",
               {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
              {"definitionProvider", true},
              {"referencesProvider", true},
              {"hoverProvider", true},
              {"completionProvider", {{"triggerCharacters", {".", "#"}}}},
              {"signatureHelpProvider", {{"triggerCharacters", {" ", ","}}}},
              {"documentSymbolProvider", true},
              {"workspaceSymbolProvider", true},
              {"semanticTokensProvider", {{"legend", legend}, {"full", true}}},
              {"foldingRangeProvider", true},
              {"documentHighlightProvider", true},
              {"codeLensProvider", {{"resolveProvider", false}}},
              {"documentFormattingProvider", true},
              {"documentRangeFormattingProvider", true},
              {"inlayHintProvider", true},
              {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
              {"renameProvider", {{"prepareProvider", true}}}}},
            {"serverInfo", {{"name", "zqasm-lsp"}, {"version", ZQASM_TOOL_VERSION}}}};
  }
  if (method == "shutdown") {
    shutdown_ = true;
    return nullptr;
  }
  // Formatting reads the text alone and needs no run.
  if (method == "textDocument/formatting" || method == "textDocument/rangeFormatting")
    return formatting(
        workspace_.buffer(fileOf(params.at("textDocument").at("uri").get<std::string>())), params,
        method == "textDocument/rangeFormatting");
  // Every answer below stands on the runs of the text as it is now.
  if (workspace_.pending()) runDue();
  if (method == "workspace/symbol") {
    json list = json::array();
    for (const WorkspaceSymbol& s :
         workspace_.workspaceSymbols(bytesFromUtf8(params.value("query", std::string()))))
      list.push_back(
          {{"name", utf8FromBytes(s.name)},
           {"kind", s.kind},
           {"containerName", utf8FromBytes(s.container)},
           {"location", {{"uri", uriOf(s.location.file)}, {"range", range(s.location.range)}}}});
    return list;
  }
  if (method.compare(0, 13, "textDocument/") != 0)
    throw RequestError{kMethodNotFound, "no method " + method};
  const std::string file = fileOf(params.at("textDocument").at("uri").get<std::string>());
  if (method == "textDocument/definition" || method == "textDocument/references") {
    const bool references = method == "textDocument/references";
    const std::vector<Location> found =
        references ? workspace_.references(
                         file, positionOf(params),
                         params.value("context", json::object()).value("includeDeclaration", true))
                   : workspace_.definition(file, positionOf(params));
    json list = json::array();
    for (const Location& l : found)
      list.push_back({{"uri", uriOf(l.file)}, {"range", range(l.range)}});
    if (list.empty() && !references) return nullptr;
    return list;
  }
  if (method == "textDocument/hover") {
    const std::optional<Hover> hover = workspace_.hover(file, positionOf(params));
    if (!hover) return nullptr;
    return {{"contents", {{"kind", "markdown"}, {"value", utf8FromBytes(hover->markdown)}}},
            {"range", range(hover->range)}};
  }
  if (method == "textDocument/completion") {
    // The items come best first; sortText keeps that order where the editor sorts.
    const Position at = positionOf(params);
    const CompletionList found = workspace_.completion(file, at);
    json items = json::array();
    char order[16];
    for (const CompletionItem& item : found.items) {
      std::snprintf(order, sizeof order, "%04zu", static_cast<size_t>(items.size()));
      json entry = {{"label", utf8FromBytes(item.label)},
                    {"kind", item.kind},
                    {"detail", utf8FromBytes(item.detail)},
                    {"sortText", order}};
      if (item.replaceFrom >= 0)
        entry["textEdit"] = {{"range", range(Range{{at.line, item.replaceFrom}, at})},
                             {"newText", utf8FromBytes(item.label)}};
      items.push_back(entry);
    }
    return {{"isIncomplete", found.incomplete}, {"items", items}};
  }
  if (method == "textDocument/signatureHelp") {
    const std::optional<SignatureHelp> help = workspace_.signatureHelp(file, positionOf(params));
    if (!help) return nullptr;
    json signatures = json::array();
    for (const Signature& s : help->signatures) {
      json parameters = json::array();
      for (const auto& p : s.parameters) parameters.push_back({{"label", {p.first, p.second}}});
      json signature = {{"label", utf8FromBytes(s.label)}, {"parameters", parameters}};
      if (!s.documentation.empty()) signature["documentation"] = utf8FromBytes(s.documentation);
      signatures.push_back(signature);
    }
    return {{"signatures", signatures},
            {"activeSignature", help->activeSignature},
            {"activeParameter", help->activeParameter}};
  }
  if (method == "textDocument/documentSymbol") {
    json list = json::array();
    for (const DocumentSymbol& s : workspace_.documentSymbols(file))
      list.push_back(documentSymbol(s));
    return list;
  }
  if (method == "textDocument/semanticTokens/full")
    return {{"data", workspace_.semanticTokens(file)}};
  if (method == "textDocument/foldingRange") {
    json list = json::array();
    for (const FoldingRange& f : workspace_.foldingRanges(file)) {
      json item = {{"startLine", f.startLine}, {"endLine", f.endLine}};
      if (f.comment) item["kind"] = "comment";
      list.push_back(item);
    }
    return list;
  }
  if (method == "textDocument/documentHighlight") {
    json list = json::array();
    for (const DocumentHighlight& h : workspace_.documentHighlights(file, positionOf(params)))
      list.push_back({{"range", range(h.range)}, {"kind", h.kind}});
    return list;
  }
  if (method == "textDocument/codeLens") {
    // The command is the client's: "zqasm.showReferences" with the document and the name's
    // place, which asks for the references there and shows them (the VS Code extension
    // has it). Its title alone is what other clients show.
    json list = json::array();
    for (const CodeLens& lens : workspace_.codeLenses(file))
      list.push_back({{"range", range(lens.range)},
                      {"command",
                       {{"title", lens.title},
                        {"command", "zqasm.showReferences"},
                        {"arguments", {uriOf(file), position(lens.range.start)}}}}});
    return list;
  }
  if (method == "textDocument/inlayHint") {
    // Each hint at the end of a statement, so padded from the text before it.
    const json& r = params.at("range");
    const InlayHintSwitches switches =
        mergeSwitches(workspace_.configuration().inlayHints, editorInlayHints_);
    json list = json::array();
    for (const InlayHint& hint :
         workspace_.inlayHints(file, r.at("start").at("line").get<int>(),
                               r.at("end").at("line").get<int>(), switches)) {
      json item = {{"position", position(Position{hint.line, hint.column})},
                   {"label", utf8FromBytes(hint.label)},
                   {"kind", kInlayHintType},
                   {"paddingLeft", true}};
      if (!hint.tooltip.empty()) item["tooltip"] = utf8FromBytes(hint.tooltip);
      list.push_back(item);
    }
    return list;
  }
  if (method == "textDocument/codeAction") {
    // Quick fixes only; for the diagnostics the client sends, else for the server's own
    // diagnostics of the range.
    const json context = params.value("context", json::object());
    const json only = context.value("only", json::array());
    if (only.is_array() && !only.empty() &&
        std::none_of(only.begin(), only.end(),
                     [](const json& kind) { return kind == "quickfix" || kind == ""; }))
      return json::array();
    json shown = context.value("diagnostics", json::array());
    if (!shown.is_array() || shown.empty()) {
      shown = json::array();
      const Range asked{{params.at("range").at("start").at("line").get<int>(), 0},
                        {params.at("range").at("end").at("line").get<int>(), 0}};
      for (const Diagnostic& d : workspace_.diagnostics(file)) {
        if (d.range.end.line < asked.start.line || d.range.start.line > asked.end.line) continue;
        json item = {{"range", range(d.range)},
                     {"severity", static_cast<int>(d.severity)},
                     {"source", "zqasm"},
                     {"message", utf8FromBytes(d.message)}};
        if (!d.code.empty()) item["code"] = d.code;
        shown.push_back(item);
      }
    }
    std::vector<Diagnostic> diagnostics;
    for (const json& d : shown) diagnostics.push_back(diagnosticOf(d));
    json list = json::array();
    for (const CodeAction& action : workspace_.codeActions(file, diagnostics)) {
      json changes = json::object();
      for (const FileEdit& e : action.edits)
        changes[uriOf(e.file)].push_back(
            {{"range", range(Range{{e.startLine, e.startColumn}, {e.endLine, e.endColumn}})},
             {"newText", utf8FromBytes(e.text)}});
      json item = {{"title", utf8FromBytes(action.title)},
                   {"kind", "quickfix"},
                   {"diagnostics", json::array({shown[action.diagnostic]})},
                   {"edit", {{"changes", changes}}}};
      if (action.preferred) item["isPreferred"] = true;
      list.push_back(item);
    }
    return list;
  }
  if (method == "textDocument/prepareRename" || method == "textDocument/rename")
    return rename(method == "textDocument/rename", file, params);
  throw RequestError{kMethodNotFound, "no method " + method};
}

// A refused rename is an error whose message the editor shows; prepareRename answers
// null where no word stands. The edit names each file's version when the client takes
// versioned edits: the version of an open buffer, null for a file read from disk.
json Server::rename(bool apply, const std::string& file, const json& params) {
  const Position at = positionOf(params);
  std::optional<RenameAnswer> answer;
  if (apply) {
    const std::string newName = params.at("newName").get<std::string>();
    // The buffers are Latin-1 bytes; a name is ASCII.
    for (unsigned char c : newName)
      if (c >= 0x80)
        throw RequestError{kRequestFailed,
                           "'" + newName +
                               "' is not a valid name: names are written with ASCII letters, "
                               "digits, '_', '?' and '\\'"};
    answer = workspace_.rename(file, at, newName);
  } else {
    answer = workspace_.prepareRename(file, at);
  }
  if (!answer) {
    if (!apply) return nullptr;
    throw RequestError{kRequestFailed, "there is no name to rename here"};
  }
  if (!answer->refusal.empty()) throw RequestError{kRequestFailed, utf8FromBytes(answer->refusal)};
  if (!apply)
    return {{"range", range(answer->range)}, {"placeholder", utf8FromBytes(answer->name)}};
  json changes = documentChanges_ ? json::array() : json::object();
  for (const auto& entry : answer->edits) {
    json edits = json::array();
    for (const TextEdit& e : entry.second)
      edits.push_back({{"range", range(e.range)}, {"newText", utf8FromBytes(e.newText)}});
    const std::string uri = uriOf(entry.first);
    if (!documentChanges_) {
      changes[uri] = edits;
      continue;
    }
    auto version = versions_.find(entry.first);
    const json number = version != versions_.end() ? json(version->second) : json();
    changes.push_back({{"textDocument", {{"uri", uri}, {"version", number}}}, {"edits", edits}});
  }
  return {{documentChanges_ ? "documentChanges" : "changes", changes}};
}

void Server::notification(const std::string& method, const json& params) {
  if (method == "exit") {
    exited_ = true;
    return;
  }
  if (!initialized_ || shutdown_) return;
  if (method == "initialized") {
    // Every file: an include file may have any name. The answer needs nothing.
    if (watchFiles_)
      send_(json{{"jsonrpc", "2.0"},
                 {"id", nextRequest_++},
                 {"method", "client/registerCapability"},
                 {"params",
                  {{"registrations",
                    {{{"id", "zqasm-watched-files"},
                      {"method", "workspace/didChangeWatchedFiles"},
                      {"registerOptions", {{"watchers", {{{"globPattern", "**/*"}}}}}}}}}}}}
                .dump(-1, ' ', false, json::error_handler_t::replace));
    return;
  }
  if (method == "workspace/didChangeConfiguration") {
    // Only the hints depend on the editor's settings: they are asked for again.
    editorSwitches(params.value("settings", json::object()), editorInlayHints_);
    if (refreshInlayHints_)
      send_(json{
          {"jsonrpc", "2.0"}, {"id", nextRequest_++}, {"method", "workspace/inlayHint/refresh"}}
                .dump(-1, ' ', false, json::error_handler_t::replace));
    return;
  }
  const std::string configFile =
      root_.empty() ? std::string() : zq::fullPath(root_ + "/" + kConfigurationFile);
  if (method == "textDocument/didOpen" || method == "textDocument/didChange") {
    const json& document = params.at("textDocument");
    const std::string file = fileOf(document.at("uri").get<std::string>());
    if (file.empty()) return;
    const bool configuration = file == configFile;
    std::string text;
    if (method == "textDocument/didOpen") {
      text = document.at("text").get<std::string>();
      if (!configuration) text = bytesFromUtf8(text);
    } else {
      // Ranged changes (the kind announced) apply in order, each to the text the one
      // before left; a change without a range is a whole text. A ranged change to a
      // text the server does not hold cannot be applied: it is dropped.
      const json& changes = params.at("contentChanges");
      if (!changes.is_array() || changes.empty()) return;
      const std::string* held =
          configuration ? (configurationText_ ? &*configurationText_ : nullptr)
                        : workspace_.buffer(file);
      bool known = held != nullptr;
      if (known) text = *held;
      for (const json& change : changes) {
        std::string replacement = change.at("text").get<std::string>();
        if (!configuration) replacement = bytesFromUtf8(replacement);
        if (!change.contains("range")) {
          text = std::move(replacement);
          known = true;
          continue;
        }
        if (!known) continue;
        const json& r = change.at("range");
        applyChange(text, r.at("start").at("line").get<int>(),
                    r.at("start").at("character").get<int>(), r.at("end").at("line").get<int>(),
                    r.at("end").at("character").get<int>(), replacement, configuration);
      }
      if (!known) return;
    }
    if (configuration) {
      configurationText_ = text;
      loadConfiguration(&text);
      return;
    }
    workspace_.change(file, text);
    if (document.contains("version") && document["version"].is_number_integer()) {
      versions_[file] = document["version"].get<int64_t>();
    } else {
      versions_.erase(file);
    }
    schedule(method == "textDocument/didOpen" ? Clock::duration::zero()
                                              : Clock::duration(kDebounce));
  } else if (method == "textDocument/didClose" || method == "textDocument/didSave") {
    const std::string file = fileOf(params.at("textDocument").at("uri").get<std::string>());
    if (file.empty()) return;
    if (file == configFile) {
      if (method == "textDocument/didClose") configurationText_.reset();
      loadConfiguration(nullptr);
      return;
    }
    if (method == "textDocument/didClose") {
      workspace_.close(file);
      versions_.erase(file);
    } else {
      workspace_.fileChanged(file);
    }
    schedule(Clock::duration::zero());
  } else if (method == "workspace/didChangeWatchedFiles") {
    for (const json& change : params.at("changes")) {
      const std::string file = fileOf(change.at("uri").get<std::string>());
      if (file.empty()) continue;
      if (file == configFile) {
        loadConfiguration(nullptr);
      } else {
        workspace_.fileChanged(file);
      }
    }
    schedule(Clock::duration::zero());
  }
  // Anything else ($/cancelRequest, $/setTrace, initialized, ...) needs nothing.
}

}  // namespace zqlsp
