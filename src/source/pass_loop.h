// The source pass loop: reads one file for one pass, joins its lines from pieces,
// follows include lines and routes every line; calls itself for include files.
#ifndef ZQASM_SOURCE_PASS_LOOP_H_
#define ZQASM_SOURCE_PASS_LOOP_H_

#include <string>

namespace zq {

struct AssemblerRun;

// Reads `fileName` for `pass`. Returns 1 when the file was read to its end or stopped
// normally, -1 when it cannot be opened, resultFatal when the run must stop.
int assembleFile(AssemblerRun& run, const std::string& fileName, int pass);

// Include detection. Returns 0 (not an include line), 1 (found: full name in `fullName`,
// `line` possibly rewritten to show where), 2 (no usable name or not found; error 36 in
// pass 2).
int detectInclude(AssemblerRun& run, std::string& line, std::string& fullName, int pass);

// Searches the include directories of the block for a bare name. 1 found, 0 not.
int findIncludeFile(AssemblerRun& run, const std::string& name, std::string& fullName);

// Writes the absolute form of `name` to `fullName` and opens the file read-only.
// Returns the descriptor or a negative value.
int openSourceFile(const std::string& name, std::string& fullName);

// Joins the next line from pieces; false at end of file. Exposed for tests.
class PieceReader;
bool joinLine(PieceReader& reader, std::string& piece, bool& havePiece, std::string& line);

}  // namespace zq

#endif  // ZQASM_SOURCE_PASS_LOOP_H_
