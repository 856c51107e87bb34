// Statement dispatch: the ORG pre-check and the statement router that hands a statement
// to the label, directive, segment and instruction handlers in turn.
#ifndef ZQASM_DRIVER_STATEMENT_H_
#define ZQASM_DRIVER_STATEMENT_H_

#include <cstdint>
#include <string>

namespace zq {

struct AssemblerRun;
struct LineScan;

// ORG pre-check. Returns 0 (not an ORG line) or resultOrgLine; `orgError` is 8 when the
// check raised error 8.
int checkOrgLine(AssemblerRun& run, const std::string& line, int pass, int& orgError);
// The same with the keyword found by the line's scan (scanKeywords).
int checkOrgLine(AssemblerRun& run, const LineScan& scan, int pass, int& orgError);

// Routes one statement. macroContext is -1 for a line read from a file.
int processStatement(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                     int macroContext);
// The same for a line already scanned (scanLine).
int processStatement(AssemblerRun& run, const LineScan& scan, int pass, uint32_t lineNumber,
                     int macroContext);

}  // namespace zq

#endif  // ZQASM_DRIVER_STATEMENT_H_
