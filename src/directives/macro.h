// Macros: the macro table filled in pass 1 (heads and bodies), the parameter substitution
// of a body line, and the LOCALLABEL names (their label nodes are the label table's). The expansion of a call
// (driver/macro_expansion.h) routes the substituted body lines.
#ifndef ZQASM_DIRECTIVES_MACRO_H_
#define ZQASM_DIRECTIVES_MACRO_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "directives/macro_state.h"

namespace zq {

struct AssemblerRun;

// MACRO/MAC head (directive code 18), passes 1 and 2: opens the definition; pass 1 also
// records the head (error 68 written at once, at the head's own line and file); pass 2
// raises error 3 for a parameter name that is too long. A 257th head takes the fatal
// path. Returns 0.
int defineMacroHead(AssemblerRun& run, const std::string& arguments, int pass);
// Fills `record`'s parameter names from the head's argument text and resets the rest of
// the definition (longParameterName tells of a name that was cut). 0, or -1 when more
// than 16 parameters were named.
int parseMacroParameters(MacroRecord& record, const std::string& arguments, int64_t passLineCount);
// Stores a body line of the macro being defined (pass 1).
void appendMacroLine(AssemblerRun& run, const std::string& line, uint32_t lineNumber);
// Replaces the parameter names of the body line `line` (in place) by the arguments of the
// expansion of macro `macroIndex` in progress. 0, 67 when a replacement would make the
// statement longer than kMaxLineLength, or 30/43 when the argument count does not match
// the parameters; warning 2 in pass 2 for a blank argument. A parameter replaced inside a
// longer word is left in MacroState::wordParameter for warning 6.
int substituteParameters(AssemblerRun& run, std::string& line, size_t macroIndex, int pass);
// LOCALLABEL handler (pass 1, inside an expansion).
void declareLocalLabels(AssemblerRun& run, const std::string& arguments, int pass);
// True when `name` is a macro defined above the current line: a line starting with it is
// expanded as a call, which drops the encoder's error 1 for the line again.
bool callsDefinedMacro(const AssemblerRun& run, std::string_view name);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_MACRO_H_
