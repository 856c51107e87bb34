// The rules a rename keeps that need no run: what a new name of each kind may look like.
// The workspace's prepareRename and rename (rename.cc) ask them before they look for
// clashes among the names the runs know.
#ifndef ZQASM_TOOLS_LSP_RENAME_H_
#define ZQASM_TOOLS_LSP_RENAME_H_

#include <string>

namespace zqlsp {

// Longest name the assembler finds again: its tables keep the first 64 characters and
// compare the name as written, so a longer one is never found (a macro's name keeps 63).
constexpr size_t kMaxSymbolName = 64;
constexpr size_t kMaxMacroName = 63;

// Why `name` cannot be a name of `kind` (SymbolKind) as the assembler reads one; "" when
// it can. Labels, local labels, constants and macros begin with a letter, "?" or "_" and
// go on with letters, digits, "_" or "\"; a RAM name may not begin with "?"; DEFINE and
// DEFSTRING names hold letters, digits and "_" only, the first not a digit.
std::string nameProblem(int kind, const std::string& name);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_RENAME_H_
