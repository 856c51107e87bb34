// The source pass loop: reads one file for one pass, joins its lines from pieces,
// follows include lines and routes every line; calls itself for include files.
#ifndef ZQASM_DRIVER_PASS_LOOP_H_
#define ZQASM_DRIVER_PASS_LOOP_H_

#include <string>

namespace zq {

struct AssemblerRun;
class PieceReader;

// Reads `fileName` for `pass` at the current includeLevel, which it restores to the
// including file's level (0 for the main source) on every return. Returns 1 when the
// file was read to its end or stopped normally, -1 when it cannot be opened ("%s open
// failed !" shown), resultFatal when the run must stop.
int assembleFile(AssemblerRun& run, const std::string& fileName, int pass);

// Include detection. Returns 0 (not an include line), 1 (found: full name in `fullName`,
// `line` possibly rewritten to show where), 2 (no usable name or not found; error 36 in
// pass 2).
int detectInclude(AssemblerRun& run, std::string& line, std::string& fullName, int pass);

// Searches the include directories of the block for a bare name. 1 found, 0 not.
int findIncludeFile(AssemblerRun& run, const std::string& name, std::string& fullName);

// Joins the next line from the reader's pieces: pieces of only blanks and tabs without a
// line feed are dropped while no more than kMaxLineLength characters were read for the
// line (past that they are kept, so no stream can make a line endless); joining stops
// after a line feed or once the line is longer than kMaxLineLength (the rest of the
// physical line comes back as the next line). The line keeps its line feed. False only
// when the reader had no piece left at all.
bool joinLine(PieceReader& reader, std::string& line);

}  // namespace zq

#endif  // ZQASM_DRIVER_PASS_LOOP_H_
