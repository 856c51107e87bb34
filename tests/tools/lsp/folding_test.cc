#include "folding.h"

#include <gtest/gtest.h>

#include <string>

#include "text.h"

namespace zqlsp {
namespace {

std::string describe(const std::vector<FoldingRange>& ranges) {
  std::string text;
  for (const FoldingRange& r : ranges)
    text += std::to_string(r.startLine) + "-" + std::to_string(r.endLine) +
            (r.comment ? " comment" : "") + "\n";
  return text;
}

std::string fold(const std::string& source) { return describe(foldingRanges(splitLines(source))); }

// A macro with a conditional of three branches in its body, a DATA and a TABLE region
// inside a conditional, comment runs (one line alone folds nothing), the "#" forms and
// a label in front of the directive.
TEST(LspFoldingTest, Constructs) {
  EXPECT_EQ(fold("; one\n"              // 0
                 "; two\n"              // 1
                 "SET .MACRO R, V\n"    // 2
                 " .IF .PARAMCOUNT = 2\n"  // 3
                 "  LDA R\n"            // 4
                 " #ELSEIF V\n"         // 5
                 "  NOP\n"              // 6
                 " .else\n"             // 7
                 "  NOP\n"              // 8
                 " #ENDIF\n"            // 9
                 " .ENDM\n"             // 10
                 " ; alone\n"           // 11
                 "#IFDEF DEBUG\n"       // 12
                 " .DATA\n"             // 13
                 "BUF DN 2\n"           // 14
                 " .ENDD\n"             // 15
                 "T: .TABLE\n"          // 16
                 " DB 1\n"              // 17
                 " .ENDTAB\n"           // 18
                 " .ENDIF\n"),          // 19
            "0-1 comment\n2-10\n3-9\n3-4\n5-6\n7-8\n12-19\n13-15\n16-18\n");
}

// What does not open or close: "#MACRO" and "#DATA" (no directives), a keyword followed by
// another character than a blank (".ENDIF;x"), a directive word among the operands, and an
// .ENDIF in a macro body, which cannot close a conditional opened outside the macro. A
// conditional left open inside a macro ends with the macro; what is left open at the end
// of the text folds to its last line.
TEST(LspFoldingTest, UnbalancedAndNotDirectives) {
  EXPECT_EQ(fold(" .IF A\n"       // 0
                 "M #MACRO\n"     // 1
                 " #DATA\n"       // 2
                 " LDA .ENDIF\n"  // 3
                 " .ENDIF;x\n"    // 4
                 "N .MACRO\n"     // 5
                 " .ENDIF\n"      // 6
                 " .IF B\n"       // 7
                 " NOP\n"         // 8
                 " .ELSE\n"       // 9
                 " NOP\n"         // 10
                 " .ENDM\n"       // 11
                 " .TABLE\n"      // 12
                 " DB 0\n"),      // 13
            "0-13\n5-11\n7-10\n7-8\n9-10\n12-13\n");
  EXPECT_EQ(fold(" .ENDIF\n .ENDM\n .ELSE\n ENDD\n"), "");
}

}  // namespace
}  // namespace zqlsp
