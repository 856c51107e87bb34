// The field splitter: a statement read as up to four blank-separated words, as the
// .CHIP pre-check, the definition handlers (EQU, DEFINE, DEFSTRING) and the segment
// handlers take it. The fields land in SourceState::field.
#ifndef ZQASM_SOURCE_LINE_FIELDS_H_
#define ZQASM_SOURCE_LINE_FIELDS_H_

#include <string>

namespace zq {

struct SourceState;

// Splits `line` into at most four fields (mode 0: blank-separated; any other mode keeps
// the third field whole) in field[1..]. Returns the count, or -1 for an empty line.
int splitFields(SourceState& state, const std::string& line, int mode);

}  // namespace zq

#endif  // ZQASM_SOURCE_LINE_FIELDS_H_
