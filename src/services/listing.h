// Listing writers called in pass 2 by the pass loop and by the directive and macro
// handlers. Both count the lines they write in listingLineCount.
#ifndef ZQASM_SERVICES_LISTING_H_
#define ZQASM_SERVICES_LISTING_H_

#include <string>

namespace zq {

struct AssemblerRun;

// The line end a listed source line lacks: "\n" for a line cut at the length limit, the
// last line of a file without one, or an empty line; "" otherwise. Every listing line
// then stands on one physical line, so the ".SYM" line numbers point at the right ones.
const char* listingLineEnd(const std::string& line);

// Writes a statement line in the form its result selects (1 code, 2 no code,
// 0/end of source plain, anything else "?? ?? ??"); raises error 22 for result 22.
void writeListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber, int result);
// Writes an empty, over-long or include line ("%04u%s%s"); pass 2 only.
void writeSourceListingLine(AssemblerRun& run, const std::string& line, unsigned lineNumber,
                            int pass);

}  // namespace zq

#endif  // ZQASM_SERVICES_LISTING_H_
