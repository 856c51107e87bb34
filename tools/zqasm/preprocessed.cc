#include "zqasm/preprocessed.h"

#include "common/cli_report.h"

namespace zqcli {

namespace {

// Up to this many lines missing between two lines of a file are written as blank lines
// rather than a marker, as cpp does.
constexpr unsigned kMaxBlankGap = 8;

// The name in a marker, quoted as a C string is.
std::string quoted(const std::string& name) {
  std::string text = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  return text + "\"";
}

}  // namespace

void PreprocessedWriter::addDefines(const std::vector<std::string>& names,
                                    const std::vector<std::string>& values) {
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    const std::string value = values[i].empty() ? "" : " " + values[i];
    writeLine("<command line>", static_cast<unsigned>(i + 1), "#DEFINE " + names[i] + value);
  }
}

void PreprocessedWriter::take(const ZqasmStatement& statement) {
  if (statement.kind != ZQASM_STATEMENT_ASSEMBLED) return;
  writeLine(relativeName(statement.file != nullptr ? statement.file : "", directory_),
            statement.line, statement.text != nullptr ? statement.text : "");
}

void PreprocessedWriter::onStatement(void* context, const ZqasmStatement* statement) {
  static_cast<PreprocessedWriter*>(context)->take(*statement);
}

void PreprocessedWriter::writeLine(const std::string& file, unsigned number,
                                   const std::string& line) {
  if (!markers_) {
    text_ += line;
    text_ += '\n';
    return;
  }
  if (file != file_ || number < next_ || number > next_ + kMaxBlankGap) {
    text_ += "# " + std::to_string(number) + " " + quoted(file) + "\n";
    file_ = file;
  } else {
    text_.append(number - next_, '\n');
  }
  text_ += line;
  text_ += '\n';
  next_ = number + 1;
}

}  // namespace zqcli
