// The workspace model of the language server: the open buffers, the configuration, the
// runs of the assembler over them and what each run found. It knows no JSON: the
// protocol layer (protocol.h) turns requests into calls of this class and its answers
// into messages. Files are named by their full names; lines and columns count from 0,
// columns in bytes (the editor's UTF-16 columns, see text.h); texts are bytes, which the
// protocol layer turns into UTF-8.
#ifndef ZQASM_TOOLS_LSP_WORKSPACE_H_
#define ZQASM_TOOLS_LSP_WORKSPACE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "code_actions.h"
#include "folding.h"
#include "inlay_hints.h"
#include "run_facts.h"

namespace zqlsp {

struct Position {
  int line = 0;
  int column = 0;
};

struct Range {
  Position start;
  Position end;
};

struct Location {
  std::string file;
  Range range;
  bool operator<(const Location& o) const;
  bool operator==(const Location& o) const;
};

struct Diagnostic {
  Range range;
  Severity severity = Severity::kError;
  std::string code;
  std::string message;
  std::vector<std::pair<Location, std::string>> related;
  bool operator==(const Diagnostic& o) const;
};

struct Hover {
  std::string markdown;  // bytes, like the source lines it quotes
  Range range;
};

// Kinds as LSP numbers them (CompletionItemKind, SymbolKind).
struct CompletionItem {
  std::string label;
  int kind = 1;
  std::string detail;
  int replaceFrom = -1;  // the column from which the item replaces the text up to the
                         // cursor; -1: the editor's word there
};

// The items that fit the cursor's place and the word typed there, best first; `incomplete`
// when more matched than were sent (the editor asks again as the word grows).
struct CompletionList {
  std::vector<CompletionItem> items;
  bool incomplete = false;
};

// One way of writing a statement: "MOV value, @HL" with its operands as [start, end)
// byte columns of the label, or a macro with its parameters.
struct Signature {
  std::string label;
  std::string documentation;
  std::vector<std::pair<int, int>> parameters;
};

struct SignatureHelp {
  std::vector<Signature> signatures;
  int activeSignature = 0;
  int activeParameter = 0;  // commas before the cursor in the statement's operands
};

struct DocumentSymbol {
  std::string name;
  std::string detail;
  int kind = 13;
  Range range;           // the whole construct (a DATA region from .DATA to .ENDD)
  Range selectionRange;  // its name
  std::vector<DocumentSymbol> children;
};

struct WorkspaceSymbol {
  std::string name;
  int kind = 13;
  Location location;
  std::string container;  // the macro or file it belongs to
};

// DocumentHighlightKind numbers: a definition is written, a use read.
constexpr int kHighlightRead = 2;
constexpr int kHighlightWrite = 3;

struct DocumentHighlight {
  Range range;
  int kind = kHighlightRead;
};

// A lens above a label or a macro head: what it says, and the name it stands on (where
// the editor asks for the references when the lens is clicked).
struct CodeLens {
  Range range;
  std::string title;
};

// One replacement of text in a file.
struct TextEdit {
  Range range;
  std::string newText;
};

// A rename at a place: the name there (prepareRename), the edits of every file that
// writes it (rename), or why it may not be renamed, in words for the user.
struct RenameAnswer {
  std::string refusal;  // empty when the rename may go ahead
  Range range;          // the name under the cursor
  std::string name;     // as written there
  // By file, each file's edits in line order.
  std::map<std::string, std::vector<TextEdit>> edits;
};

// Diagnostics published for one file, the last of them telling of any left out.
constexpr size_t kMaxPublishedDiagnostics = 1000;

// Semantic token types and modifiers, in legend order.
const std::vector<std::string>& tokenTypes();
const std::vector<std::string>& tokenModifiers();

// The settings of zqasm.json in the workspace root (paths made absolute against it), or
// the defaults of the command line when there is none.
struct Configuration {
  std::vector<std::string> sources;  // main sources; empty: every open file is one
  std::string chipDirectory;         // empty: the server's default
  std::vector<std::string> includeDirectories;
  std::string maskOptions;
  int32_t romTop = 0xFFF;
  int32_t tableTop = -1;
  bool caseSensitive = false;
  std::vector<std::pair<std::string, std::string>> defines;
  // The trap warnings as ZqasmSetWarnings takes them; none given: the server's default.
  std::optional<std::string> warnings;
  // The kinds of inlay hint zqasm.json switches (the runs do not depend on them).
  InlayHintSettings inlayHints;
};

class Workspace {
 public:
  // `chipDirectory` and `warnings` (the trap warnings, as ZqasmSetWarnings takes them)
  // are used when the configuration names none.
  explicit Workspace(std::string chipDirectory, std::string warnings = "all");
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Every run is made afresh with the new settings.
  void configure(const Configuration& configuration);
  const Configuration& configuration() const { return configuration_; }

  // An editor's buffer (bytes, see text.h) stands in for the file from open to close.
  void open(const std::string& file, const std::string& text);
  void change(const std::string& file, const std::string& text);
  void close(const std::string& file);
  // The file changed on disk (saved, or changed by another program).
  void fileChanged(const std::string& file);
  bool isOpen(const std::string& file) const { return buffers_.count(file) != 0; }
  // The buffer of an open file; nullptr for one not open.
  const std::string* buffer(const std::string& file) const {
    auto found = buffers_.find(file);
    return found != buffers_.end() ? &found->second : nullptr;
  }

  // True when a change waits for its runs (also one whose run was abandoned).
  bool pending() const;
  // Makes the runs that the changes call for: the configured main sources, and each
  // open file that no other run reads as an include file. Returns the files whose
  // diagnostics changed (with the files that lost all of theirs). Once `superseded`
  // answers true (a newer change waits), the run in progress is abandoned at its next
  // line, the runs still due wait for the next update, and nothing is returned.
  std::vector<std::string> update(const std::function<bool()>& superseded = {});
  // The diagnostics of a file, from all runs that read it.
  std::vector<Diagnostic> diagnostics(const std::string& file) const;
  // The runs there are, in the order of their main sources.
  std::vector<const RunResult*> runs() const;

  std::vector<Location> definition(const std::string& file, Position at) const;
  std::vector<Location> references(const std::string& file, Position at,
                                   bool withDeclaration) const;
  std::optional<Hover> hover(const std::string& file, Position at) const;
  CompletionList completion(const std::string& file, Position at) const;
  std::optional<SignatureHelp> signatureHelp(const std::string& file, Position at) const;
  std::vector<DocumentSymbol> documentSymbols(const std::string& file) const;
  std::vector<WorkspaceSymbol> workspaceSymbols(const std::string& query) const;
  // Five numbers per token, relative to the token before, as LSP encodes them.
  std::vector<uint32_t> semanticTokens(const std::string& file) const;
  // From the file's text (its buffer when open), not from the runs.
  std::vector<FoldingRange> foldingRanges(const std::string& file) const;
  // Every place of this file that names what the name at `at` stands for.
  std::vector<DocumentHighlight> documentHighlights(const std::string& file, Position at) const;
  // "N references" on each label and macro defined in this file, and for a macro the
  // words one expansion writes.
  std::vector<CodeLens> codeLenses(const std::string& file) const;
  // The hints of the lines [firstLine, lastLine] (from 0) of this file, of the kinds
  // switched on, in line order.
  std::vector<InlayHint> inlayHints(const std::string& file, int firstLine, int lastLine,
                                    const InlayHintSwitches& switches) const;
  // The quick fixes for `shown`, the diagnostics of this file the editor asks about.
  std::vector<CodeAction> codeActions(const std::string& file,
                                      const std::vector<Diagnostic>& shown) const;
  // The name at `at` that a rename would change, or why it cannot be renamed; nothing
  // where no word stands (rename.cc).
  std::optional<RenameAnswer> prepareRename(const std::string& file, Position at) const;
  // Every place in the files the runs read that names what the name at `at` stands for,
  // each to be written `newName`; or why not (the name, or the new one, is refused).
  std::optional<RenameAnswer> rename(const std::string& file, Position at,
                                     const std::string& newName) const;

 private:
  struct Run {
    RunResult result;
    bool dirty = true;
  };
  RunSettings settingsFor(const std::string& source) const;
  // The lines of a file: its buffer, else the file on disk (cached until it changes).
  const std::vector<std::string>& lines(const std::string& file) const;
  std::string line(const std::string& file, int number) const;  // from 1, "" past the end
  Diagnostic convert(const RunDiagnostic& d) const;
  // The copy of `d` at the line whose macro argument caused it, if one did: its file
  // and the diagnostic there.
  // `parameters`: the parameter names of each macro of the run.
  std::optional<std::pair<std::string, Diagnostic>> atArgument(
      const RunDiagnostic& d,
      const std::map<std::string, std::vector<std::string>>& parameters) const;
  // The related place naming the run of `run` for a diagnostic of `file`.
  std::pair<Location, std::string> runNote(const RunResult& run, const std::string& file) const;
  Range rangeOf(const Place& place, const std::string& culprit) const;
  void markDirty(const std::string& file);
  // The runs that read `file`.
  std::vector<const RunResult*> runsOf(const std::string& file) const;
  // The symbol fact (run and index) or call at a position.
  std::vector<std::pair<const RunResult*, int>> symbolsAt(const std::string& file,
                                                          Position at) const;
  const CallFact* callAt(const std::string& file, Position at) const;

  std::string defaultChipDirectory_;
  std::string defaultWarnings_;
  Configuration configuration_;
  std::map<std::string, std::string> buffers_;  // full name -> text
  std::map<std::string, Run> runs_;             // main source -> its run
  std::set<std::string> dirtyFiles_;            // changed since the last update
  bool reconfigured_ = true;
  bool abandoned_ = false;  // a run was abandoned and is still due
  std::map<std::string, std::vector<Diagnostic>> published_;
  mutable std::map<std::string, std::vector<std::string>> diskLines_;
};

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_WORKSPACE_H_
