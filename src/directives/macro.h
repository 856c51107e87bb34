// Macros: the macro table filled in pass 1 (heads and bodies), expansion of calls in
// passes 1 and 2, and macro-local labels.
#ifndef ZQASM_DIRECTIVES_MACRO_H_
#define ZQASM_DIRECTIVES_MACRO_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "symbols/label_table.h"

namespace zq {

struct AssemblerRun;

struct MacroLine {
  std::string text;     // the whole source line as read, line feed included
  uint16_t lineNumber;  // its line number in its file
};

struct MacroRecord {
  std::string name;                           // up to 63 characters
  std::string definitionFile;                 // file being read at the head
  uint16_t definitionLine = 0;                // passLineCount at the head
  std::array<std::string, 17> parameterNames; // 16 usable; first empty slot ends them
  std::array<std::string, 17> arguments;      // of the expansion in progress
  int16_t argumentCount = 0;
  std::vector<MacroLine> body;
  std::vector<LabelNode> localLabels;
  std::vector<std::string> localLabelNames;   // names declared by LOCALLABEL
  int16_t localLabelCount = 0;
  uint16_t tooManyParameters = 0;
};

struct MacroState {
  std::vector<MacroRecord> macroTable;  // at most 256 records, in definition order
  int16_t macroCount = 0;
  int macroNestingDepth = 0;            // expansions in progress
  std::string macroDefinitionFile;      // definitionFile of the macro being expanded
};

// MACRO/MAC head (directive code 18). Returns 0.
int defineMacroHead(AssemblerRun& run, const std::string& arguments, int pass);
// Stores a body line of the macro being defined (pass 1).
void appendMacroLine(AssemblerRun& run, const std::string& line, uint32_t lineNumber);
// Expands a call whose fields are in field[1..fieldCount]. resultMacroDone or -1.
int expandMacro(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                int fieldCount);
// LOCALLABEL handler (pass 1, inside an expansion).
void declareLocalLabels(AssemblerRun& run, const std::string& arguments, int pass);
// 1 when a macro is being expanded and `name` is one of its LOCALLABEL names.
int isMacroLocalName(const AssemblerRun& run, const std::string& name);
// Adds a macro-local label node (pass 1).
void addLocalLabel(AssemblerRun& run, const std::string& name, uint32_t lineNumber);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_MACRO_H_
