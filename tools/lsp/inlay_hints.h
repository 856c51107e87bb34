// Inlay hints of a source: what the listing would tell beside each line, taken from the
// facts of the runs that read it. The workspace model computes them (Workspace::inlayHints);
// the configuration (zqasm.json, the editor's settings) turns each kind on or off.
#ifndef ZQASM_TOOLS_LSP_INLAY_HINTS_H_
#define ZQASM_TOOLS_LSP_INLAY_HINTS_H_

#include <optional>
#include <string>

namespace zqlsp {

// The kinds of hint, each on unless switched off.
struct InlayHintSwitches {
  bool addresses = true;    // the address of each instruction line
  bool trampolines = true;  // a routed CALL or JMP: its trampoline and far target
  bool constants = true;    // the value of an EQU
};

// The switches one source of settings gives; a key it does not name leaves the switch to
// the next source (zqasm.json first, then the editor's settings, then on).
struct InlayHintSettings {
  std::optional<bool> addresses;
  std::optional<bool> trampolines;
  std::optional<bool> constants;
};

// `first` where it says, else `second`, else on.
InlayHintSwitches mergeSwitches(const InlayHintSettings& first, const InlayHintSettings& second);

// Kinds as LSP numbers them (InlayHintKind): an address or value is a type hint.
constexpr int kInlayHintType = 1;

// One hint, at the end of its statement (before a comment): lines and columns from 0, the column in
// bytes (the editor's UTF-16 columns, see text.h).
struct InlayHint {
  int line = 0;
  int column = 0;
  std::string label;
  std::string tooltip;  // "" for none
};

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_INLAY_HINTS_H_
