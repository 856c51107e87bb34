// Folding ranges of a source, from its text alone (so that they follow unsaved edits and
// a file no run reads): macro definitions, conditional blocks and each of their branches,
// DATA and TABLE regions, and runs of comment lines.
#ifndef ZQASM_TOOLS_LSP_FOLDING_H_
#define ZQASM_TOOLS_LSP_FOLDING_H_

#include <string>
#include <vector>

namespace zqlsp {

struct FoldingRange {
  int startLine = 0;  // from 0; the line that stays visible
  int endLine = 0;    // the last line folded away
  bool comment = false;
  bool operator==(const FoldingRange& o) const {
    return startLine == o.startLine && endLine == o.endLine && comment == o.comment;
  }
};

// A construct folds from its opening line through its closing line (.ENDM, .ENDIF, .ENDD,
// .ENDT); a branch of a conditional with .ELSE or .ELSEIF folds from its opening line up to
// the line before the next branch. A construct left open folds to the last line that is not blank.
// Ranges come sorted by start line, the outer one first.
std::vector<FoldingRange> foldingRanges(const std::vector<std::string>& lines);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_FOLDING_H_
