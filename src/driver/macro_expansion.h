// Expansion of a macro call, in passes 1 and 2. The pass loop calls expandMacro for a line
// that no handler knows; the expansion routes each substituted body line through the
// statement router, and expands the calls among them in turn.
#ifndef ZQASM_DRIVER_MACRO_EXPANSION_H_
#define ZQASM_DRIVER_MACRO_EXPANSION_H_

#include <cstdint>
#include <string>

namespace zq {

struct AssemblerRun;

// Expands a call whose fields are in field[1..fieldCount]. Of the diagnostics pending for
// the call line only the encoder's error 1 is dropped; in pass 2 the rest are written
// under the call line. Returns resultMacroDone, -1 (no such macro, or defined further on:
// error 29 in pass 2), resultMacroTooDeep (error 69 or 70) or resultFatal.
int expandMacro(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                int fieldCount);

}  // namespace zq

#endif  // ZQASM_DRIVER_MACRO_EXPANSION_H_
