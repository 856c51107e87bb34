// Quick fixes for the diagnostics of the runs: the nearest defined names for an undefined
// one, the nearest mnemonics and macros for an unknown mnemonic, the closing line of a
// conditional left open, a .CHIP line for a source that names no chip. The workspace model
// computes them (Workspace::codeActions); each answers one diagnostic the editor shows.
#ifndef ZQASM_TOOLS_LSP_CODE_ACTIONS_H_
#define ZQASM_TOOLS_LSP_CODE_ACTIONS_H_

#include <string>
#include <vector>

namespace zqlsp {

// A replacement of the text [start, end) of one file: lines and columns from 0, columns
// in bytes (text.h); `text` in bytes.
struct FileEdit {
  std::string file;
  int startLine = 0;
  int startColumn = 0;
  int endLine = 0;
  int endColumn = 0;
  std::string text;
};

struct CodeAction {
  std::string title;
  size_t diagnostic = 0;  // index of the diagnostic it fixes, in the list it was asked for
  std::vector<FileEdit> edits;
  bool preferred = false;  // the one fix to apply without asking (the only near name)
};

// Most names a "did you mean" offers.
constexpr size_t kMaxSuggestions = 3;

// The edit distance of two names compared without regard to case (insertions, deletions
// and substitutions of one character each); any distance above `limit` is given as
// limit + 1, so that a long name costs no more than a short one.
size_t nameDistance(const std::string& a, const std::string& b, size_t limit);

// The candidates nearest to `wanted`, nearest first, ties in byte order, each
// once (compared without regard to case), at most kMaxSuggestions; `wanted` itself is
// none. A candidate is near when its distance is at most a third of the longer name (at
// least 1, at most 3) and less than the length of either name (a name replaced letter by
// letter is no misspelling).
std::vector<std::string> nearestNames(const std::string& wanted,
                                      const std::vector<std::string>& candidates);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_CODE_ACTIONS_H_
