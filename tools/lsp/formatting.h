// Formatting of a source from its text alone: the label, operation, operand and comment
// fields of each statement line are put into one set of columns by changing the blanks
// between them, and only those whose count the assembler never reads. The protocol layer
// answers textDocument/formatting and textDocument/rangeFormatting with these edits.
#ifndef ZQASM_TOOLS_LSP_FORMATTING_H_
#define ZQASM_TOOLS_LSP_FORMATTING_H_

#include <string>
#include <vector>

namespace zqlsp {

// The editor's FormattingOptions that matter here.
struct FormattingOptions {
  int tabSize = 8;           // columns of a tab; taken from 1 to 16
  bool insertSpaces = true;  // fill with blanks, or with tabs to the tab stops
};

// Where the fields start (byte columns, tabs expanded): labels in column 0, the
// operation at `operation`, operands at `operand`, comments at `comment`. Each is a tab
// stop: 8, 16 and 32 for tab sizes that divide them.
struct FormatColumns {
  int operation = 8;
  int operand = 16;
  int comment = 32;
};
FormatColumns formatColumns(const FormattingOptions& options);

// One run of blanks and tabs of line `line`, columns [startColumn, endColumn), replaced.
struct FormatEdit {
  int line = 0;
  int startColumn = 0;
  int endColumn = 0;
  std::string newText;
};

// The edits that format lines firstLine to lastLine (from 0, both included; a lastLine
// below 0 means to the end) of `text`, in the server's bytes (text.h). Only runs of
// blanks and tabs between fields change; every other byte stays. A line whose fields
// cannot be moved without a risk of changing what the assembler reads stays as it is:
// the lines of macro bodies (from the line after .MACRO through its .ENDM), comment
// lines, include lines, lines that end in a blank or tab as the last line of the text,
// lines with a field joined to the next without a blank, and lines near the line
// length limit. Nothing changes in a text that holds a lone carriage return.
std::vector<FormatEdit> formatEdits(const std::string& text, const FormattingOptions& options,
                                    int firstLine = 0, int lastLine = -1);

// `text` with the edits made (as the editor makes them); the edits come from formatEdits
// of the same text.
std::string applyFormatEdits(const std::string& text, const std::vector<FormatEdit>& edits);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_FORMATTING_H_
