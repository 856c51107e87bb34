// One run of the assembler for the language server, and what it learned: the
// diagnostics and the facts of pass 2 (definitions, uses, macro calls, instruction
// words, the chip's instruction records), collected through the run observer. The run
// reads the editor's buffers through the library's source texts and writes no file.
#ifndef ZQASM_TOOLS_LSP_RUN_FACTS_H_
#define ZQASM_TOOLS_LSP_RUN_FACTS_H_

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zqlsp {

// A place in a source as the assembler names it: full file name, line from 1, the
// columns [column, endColumn) in bytes; columns 0 and 0 when only the line is known.
struct Place {
  std::string file;
  int line = 0;
  int column = 0;
  int endColumn = 0;
  bool operator==(const Place& o) const {
    return line == o.line && column == o.column && endColumn == o.endColumn && file == o.file;
  }
  bool operator<(const Place& o) const {
    if (file != o.file) return file < o.file;
    if (line != o.line) return line < o.line;
    return column < o.column;
  }
};

// Everything one run is given: the command line's settings.
struct RunSettings {
  std::string source;
  std::string chipDirectory;
  std::vector<std::string> includeDirectories;
  std::string maskOptions;
  int32_t romTop = 0xFFF;
  int32_t tableTop = -1;
  bool caseSensitive = false;
  std::vector<std::pair<std::string, std::string>> defines;  // name, value ("" a flag)
  std::string warnings = "all";  // the trap warnings, as ZqasmSetWarnings takes them
};

enum class Severity { kError = 1, kWarning = 2 };

// A macro expansion a diagnostic arose in: the macro and the line that called it.
struct MacroStep {
  std::string macro;
  Place call;
};

struct RunDiagnostic {
  Severity severity = Severity::kError;
  std::string code;     // "E12", "W2", or "" for a user error or a fatal stop
  std::string message;  // the text naming the culprit where the run names it
  std::string culprit;  // the name the message quotes, to be found in the line; or ""
  Place at;             // the statement (a body line of a macro for an expansion)
  std::vector<std::pair<Place, std::string>> related;  // calls, first definitions
  std::vector<MacroStep> expansions;                   // innermost first
};

// Kinds of names, as zqasm/observer.h numbers them.
enum SymbolKind {
  kLabel = 0,
  kLocalLabel = 1,
  kConstant = 2,
  kRamName = 3,
  kMacro = 4,
  kDefine = 5,
  kString = 6,
  kInclude = 7
};

struct SymbolFact {
  int kind = kLabel;
  bool definition = false;
  std::string name;
  Place at;
  int64_t value = -1;
  int64_t size = 0;
  std::string text;
  unsigned expansion = 0;
  Place source;       // the line read from a file it stems from (columns 0)
  int resolved = -1;  // index of the definition it stands for (see resolveSymbols)
};

struct CallFact {
  std::string macro;
  Place at;
  std::string headFile;
  int headLine = 0;
  unsigned expansion = 0;
  std::vector<std::string> lines;
  size_t omitted = 0;
  Place source;
};

struct CodeFact {
  Place at;  // the statement's line
  uint32_t address = 0;
  uint16_t word = 0;  // as the image holds it; as pass 2 made it when the run made none
  Place source;
  uint16_t assembled = 0;  // as pass 2 made it, before a far CALL or JMP was routed
};

struct Opcode {
  std::string mnemonic;
  uint8_t form = 0;
  uint8_t kind = 0;
  uint16_t opcode = 0;
  uint16_t mask1 = 0;
  uint16_t mask2 = 0;
};

struct RunResult {
  RunSettings settings;
  std::string mainFile;             // full name of the main source
  int status = 0;                   // what Run44Assembler returned
  std::set<std::string> filesRead;  // the source and include files (full names)
  // The places include files were looked for and not found (full names, upper case:
  // the run finds a file whatever the case of its name).
  std::set<std::string> filesMissing;
  std::vector<RunDiagnostic> diagnostics;
  std::vector<SymbolFact> symbols;  // in the order of pass 2, each place once
  std::vector<CallFact> calls;
  std::vector<CodeFact> code;
  // The program image's words as ".OBJ" holds them (bank convert areas included); empty
  // when the run made none (it had errors).
  std::vector<uint16_t> image;
  std::string chipName;
  std::vector<Opcode> opcodes;
  std::vector<std::string> messages;  // shown by the run (open failures, fatal texts)
  double milliseconds = 0;
  bool abandoned = false;  // stopped by `superseded`: the facts are incomplete
};

// Runs the assembler once. The buffers must have been handed to the library's source
// texts (ZqasmSetSourceText) and its output files switched off by the caller. The run
// is abandoned at the next line once `superseded` (when given) answers true.
RunResult assemble(const RunSettings& settings, const std::function<bool()>& superseded = {});

// True when `result` looked for an include file at `file` and did not find it.
bool missedFile(const RunResult& result, const std::string& file);

// Sets `resolved` of every symbol fact to the definition it stands for: a label,
// constant or RAM name to its first definition (names compared as the run compares
// them), a macro-local label to the definition of its own expansion, a DEFINE name to
// the definition in force where it is used, a DEFSTRING or macro name to its first
// definition. Definitions stand for the first definition of their name.
void resolveSymbols(RunResult& result);

// True when the run compares the two names as equal for `kind`.
bool sameName(const RunResult& result, int kind, const std::string& a, const std::string& b);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_RUN_FACTS_H_
