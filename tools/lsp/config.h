// The configuration file of a workspace, zqasm.json in its root: the settings of the
// command line for the runs of the language server.
//
//   {
//     "sources": ["main.asm"],          main sources (else every open file is one)
//     "chipDir": "chips",               directory of the .COE files
//     "includeDirs": ["include"],       searched in this order
//     "maskOptions": "options.txt",     for the chips that read one
//     "romTop": "2FFFh",                highest program address (number or text)
//     "tableTop": "0FFh",               highest table ROM address, -1 for none
//     "caseSensitive": false,           label, constant and RAM names
//     "defines": {"DEBUG": 1, "MODE": "0Ah", "FLAG": true},
//     "warnings": ["truncation"],       trap warnings: "all", "none" or names
//     "inlayHints": {"addresses": true, "trampolines": true, "constants": false}
//   }
//
// Paths are taken from the workspace root. Numbers are JSON numbers or texts in the
// command line's syntax (4095, 0xFFF, 0FFFh).
#ifndef ZQASM_TOOLS_LSP_CONFIG_H_
#define ZQASM_TOOLS_LSP_CONFIG_H_

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "workspace.h"

namespace zqlsp {

constexpr const char* kConfigurationFile = "zqasm.json";

// Reads the text of zqasm.json for a workspace at `root`. Problems (malformed JSON, a
// key unknown or of the wrong type, a bad number or define) go to `problems`, one text
// each; the keys that can be read are taken.
Configuration parseConfiguration(const std::string& text, const std::string& root,
                                 std::vector<std::string>& problems);

// The switches of the inlay hint kinds, as zqasm.json and the editor's settings give them
// ({"addresses": true, "trampolines": false, "constants": true}); a key left out is left
// to the next source of settings. Problems go to `problems`.
InlayHintSettings parseInlayHintSettings(const nlohmann::json& value,
                                         std::vector<std::string>& problems);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_CONFIG_H_
