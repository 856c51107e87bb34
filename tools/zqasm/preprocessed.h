// zqasm -E: the source as pass 2 takes it, written as text with line markers (none with
// -P). Fed by the
// run observer's statements; the include lines, conditional directives, lines of branches
// that are off, macro definitions and macro calls are left out, the body lines of each
// expansion stand in place of its call.
#ifndef ZQASM_TOOLS_PREPROCESSED_H_
#define ZQASM_TOOLS_PREPROCESSED_H_

#include <string>
#include <utility>
#include <vector>

#include "zqasm/observer.h"

namespace zqcli {

class PreprocessedWriter {
 public:
  // `directory`: file names below it are written relative to it (relativeName).
  // `markers` false (-P): the lines alone, one after the other, which the assembler takes
  // as a source of its own.
  PreprocessedWriter(std::string directory, bool markers)
      : directory_(std::move(directory)), markers_(markers) {}

  // The -D defines, as the lines "#DEFINE NAME VALUE" under the marker of
  // "<command line>", so that the text assembles without them.
  void addDefines(const std::vector<std::string>& names, const std::vector<std::string>& values);
  // One statement of the run; only those assembled as they stand are written.
  void take(const ZqasmStatement& statement);
  const std::string& text() const { return text_; }

  // The observer callback; `context` is a PreprocessedWriter.
  static void onStatement(void* context, const ZqasmStatement* statement);

 private:
  // Writes `line` as line `number` of `file`: a marker "# NUMBER "FILE"" first when the
  // file changes or the line is not the next one, or blank lines for a gap of a few.
  void writeLine(const std::string& file, unsigned number, const std::string& line);

  std::string directory_;
  bool markers_;
  std::string text_;
  std::string file_;  // the file of the last line written; "" before the first
  unsigned next_ = 0; // the number the next line written would have
};

}  // namespace zqcli

#endif  // ZQASM_TOOLS_PREPROCESSED_H_
