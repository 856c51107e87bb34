// Diagnostics, make rules and Intel HEX of the zqasm command.
#include "common/cli_report.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/trap_warnings.h"
#include "platform/platform.h"

namespace zqcli {

namespace {

const char kFatalMessage[] = "Occurred FATAL ERROR !";

// ANSI attributes, used only when colour is on.
const char kBold[] = "\033[1m";
const char kRed[] = "\033[1;31m";
const char kMagenta[] = "\033[1;35m";
const char kCyan[] = "\033[1;36m";
const char kGreen[] = "\033[1;32m";
const char kReset[] = "\033[0m";

// Pending text beyond this is written at once.
constexpr size_t kFlushAt = 64 * 1024;

const char* paint(const Reporter& r, const char* attribute) {
  return r.settings.colour ? attribute : "";
}

// Appends `text` and writes the pending block once it is large.
void emit(Reporter& r, const std::string& text) {
  r.pending += text;
  if (r.pending.size() >= kFlushAt) flushReport(r);
}

// Line `number` (from 1) of `file`, read once per file; false when there is none.
bool sourceLine(Reporter& r, const std::string& file, unsigned number, std::string& text) {
  auto found = r.sourceLines.find(file);
  if (found == r.sourceLines.end()) {
    std::vector<std::string> lines;
    std::string contents;
    if (zq::readWholeFile(file, contents)) {
      size_t start = 0;
      while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        lines.push_back(contents.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
        start = end + 1;
      }
    }
    found = r.sourceLines.emplace(file, std::move(lines)).first;
  }
  if (number == 0 || number > found->second.size()) return false;
  text = found->second[number - 1];
  return true;
}

// Appends "FILE:LINE" of a place, the name relative to the current directory.
void appendPlace(std::string& out, const Reporter& r, const char* file, unsigned line) {
  const size_t length = std::strlen(file), skip = r.directory.size() + 1;
  // As relativeName does, without making a copy of the name first.
  const bool below = !r.directory.empty() && length > skip &&
                     std::strncmp(file, r.directory.c_str(), skip - 1) == 0 &&
                     (file[skip - 1] == '/' || file[skip - 1] == '\\');
  out.append(below ? file + skip : file);
  out += ':';
  out += std::to_string(line);
}

// Appends "FILE:LINE: " (or "FILE:LINE:COLUMN: " with a column from 1, or "zqasm: "
// without a place), bold on a terminal, then `kind` and ":" in its colour.
void appendHead(std::string& out, const Reporter& r, const char* file, unsigned line,
                const char* colour, const char* kind, unsigned column = 0) {
  out += paint(r, kBold);
  if (*file != '\0' && line > 0) {
    appendPlace(out, r, file, line);
    if (column > 0) out += ':' + std::to_string(column);
  } else {
    out += "zqasm";
  }
  out += ':';
  out += paint(r, kReset);
  out += ' ';
  out += paint(r, colour);
  out += kind;
  out += ':';
  out += paint(r, kReset);
  out += ' ';
}

// A text of several lines on one line.
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

// Appends the text of a diagnostic: the message naming its culprit when the run gave
// one, with the place of an earlier definition; the catalogue text otherwise (a fatal
// stop's may have several lines).
void appendText(std::string& out, const Reporter& r, const ZqasmDiagnostic& d) {
  if (d.message == nullptr || *d.message == '\0') {
    out += oneLine(d.text);
    return;
  }
  out += d.message;
  if (d.otherFile == nullptr || *d.otherFile == '\0' || d.otherLine == 0) return;
  out += ", first defined at ";
  appendPlace(out, r, d.otherFile, d.otherLine);
  if (d.otherMacro == nullptr || *d.otherMacro == '\0') return;
  // A body line met again: the earlier definition is its own, from another expansion.
  const bool sameLine = d.statementFile != nullptr && d.statementLine == d.otherLine &&
                        std::strcmp(d.statementFile, d.otherFile) == 0;
  out += sameLine ? " in an earlier expansion of macro '" : " in an expansion of macro '";
  out += d.otherMacro;
  out += '\'';
}

}  // namespace

std::string relativeName(const std::string& name) {
  return relativeName(name, zq::currentDirectory());
}

std::string relativeName(const std::string& name, const std::string& directory) {
  if (directory.empty() || name.size() <= directory.size() + 1) return name;
  char separator = name[directory.size()];
  if (name.compare(0, directory.size(), directory) != 0 ||
      (separator != '/' && separator != '\\'))
    return name;
  return name.substr(directory.size() + 1);
}

std::string withExtension(const std::string& name, const char* extension) {
  size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + extension;
}

void onDiagnostic(void* context, const ZqasmDiagnostic* d) {
  Reporter& r = *static_cast<Reporter*>(context);
  const bool promoted = d->kind == ZQASM_WARNING && d->number >= 0 && d->number < 32 &&
                        (r.settings.errorWarnings >> d->number & 1u) != 0;
  if (promoted) {
    ++r.errors;
    ++r.promoted;
  } else if (d->kind == ZQASM_WARNING)
    ++r.warnings;
  else if (d->kind == ZQASM_FATAL)
    r.fatal = true;
  else
    ++r.errors;
  if (d->kind != ZQASM_FATAL) {
    if (r.settings.maxShown > 0 && r.shown >= r.settings.maxShown) {
      ++(d->kind == ZQASM_WARNING && !promoted ? r.hiddenWarnings : r.hiddenErrors);
      return;
    }
    ++r.shown;
  }
  if (!r.settings.editorStyle) return;

  // Within a macro the line that is wrong is the body line; the calls follow as notes.
  const char* file = d->statementFile != nullptr ? d->statementFile : d->file;
  const unsigned line = d->statementFile != nullptr ? d->statementLine : d->line;
  std::string& out = r.pending;
  // The culprit's column, from 1, where the run could point at it.
  const unsigned column = d->endColumn > d->column ? d->column + 1 : 0;
  if (d->kind == ZQASM_FATAL) {
    appendHead(out, r, file, line, kRed, "fatal");
    appendText(out, r, *d);
    r.fatalShown = oneLine(d->text);
  } else if (d->kind == ZQASM_WARNING) {
    // gcc's form: the option that controls it, last.
    appendHead(out, r, file, line, promoted ? kRed : kMagenta, promoted ? "error" : "warning",
               column);
    appendText(out, r, *d);
    out += " [W" + std::to_string(d->number) + "]";
    const char* name = warningName(d->number);
    if (*name != '\0') out += std::string(promoted ? " [-Werror=" : " [-W") + name + "]";
  } else {
    appendHead(out, r, file, line, kRed, "error", column);
    appendText(out, r, *d);
    if (d->number >= 0) out += " [E" + std::to_string(d->number) + "]";
  }
  out += '\n';
  std::string quoted;
  if (r.settings.quoteSource && *file != '\0' && sourceLine(r, file, line, quoted)) {
    char number[16];
    std::snprintf(number, sizeof number, "%4u | ", line);
    out += number + quoted + "\n";
    // A caret under the culprit, as gcc draws it; a tab before it stays a tab.
    if (column > 0 && d->column < quoted.size()) {
      std::string marks = "     | ";
      for (size_t i = 0; i < d->column; ++i) marks += quoted[i] == '\t' ? '\t' : ' ';
      marks += paint(r, kGreen);
      marks += '^';
      marks.append(std::min<size_t>(d->endColumn, quoted.size()) - d->column - 1, '~');
      marks += paint(r, kReset);
      out += marks + "\n";
    }
  }
  // A macro that calls itself stands 64 levels deep: the innermost and outermost levels
  // are shown, and one note in place of those between, at the first of them.
  const size_t count = d->expansionCount;
  const size_t leftOut = count > 2 * kNotesShownPerEnd ? count - 2 * kNotesShownPerEnd : 0;
  for (size_t i = 0; i < count; ++i) {
    const ZqasmExpansion& e = d->expansions[i];
    if (leftOut > 0 && i == kNotesShownPerEnd) {
      appendHead(out, r, e.callFile, e.callLine, kCyan, "note");
      out += std::to_string(leftOut);
      out += leftOut == 1 ? " more level" : " more levels";
      out += " of macro expansion not shown\n";
      i += leftOut - 1;
      continue;
    }
    // The head's place stands in parentheses: a "FILE:LINE" at the very end of a line is
    // read as a place of its own by some editors (Emacs's ada pattern), which would then
    // visit the .MACRO head as an error instead of the call.
    appendHead(out, r, e.callFile, e.callLine, kCyan, "note");
    out += "in expansion of macro '";
    out += e.macro;
    out += "' (defined at ";
    appendPlace(out, r, e.headFile, e.headLine);
    out += ")\n";
  }
  emit(r, "");
}

void onFileRead(void* context, const char* path, int) {
  Reporter& r = *static_cast<Reporter*>(context);
  if (r.filesSeen.insert(path).second) r.filesRead.push_back(path);
}

void onImage(void* context, const ZqasmImage* image) {
  Reporter& r = *static_cast<Reporter*>(context);
  r.imageSeen = true;
  r.program.assign(image->programBytes, image->programBytes + 2 * image->programWords);
  r.programWritten.assign(image->programWritten, image->programWritten + image->programWords);
  r.table.assign(image->tableBytes, image->tableBytes + image->tableCells);
  r.tableWritten.assign(image->tableWritten, image->tableWritten + image->tableCells);
  r.ramNames = image->ramNames;
  r.ramNibbles = image->ramNibbles;
}

void onMessage(const char* text, void* context) {
  // Taken first: the reason a file could not be created, before anything changes it.
  const int reason = errno;
  Reporter& r = *static_cast<Reporter*>(context);
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  if (line == kFatalMessage) r.fatal = true;
  // 'File "NAME" create failed !' names an output that could not be made, in both styles:
  // the error file cannot tell of its own failure.
  const std::string head = "File \"", tail = "\" create failed !";
  if (line.size() > head.size() + tail.size() && line.compare(0, head.size(), head) == 0 &&
      line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
    r.createFailed = true;
    std::string name = line.substr(head.size(), line.size() - head.size() - tail.size());
    emit(r, "zqasm: " + relativeName(name, r.directory) + ": cannot create: " +
                (reason != 0 ? std::strerror(reason) : "write failed") + "\n");
    return;
  }
  if (!r.settings.editorStyle) {
    emit(r, line + "\n");
    return;
  }
  line = oneLine(line);
  // A fatal stop the observer told of comes here too: it was shown at its place.
  if (!r.fatalShown.empty() && line == r.fatalShown) {
    r.fatalShown.clear();
    return;
  }
  emit(r, std::string(paint(r, kBold)) + "zqasm:" + paint(r, kReset) + " " + paint(r, kRed) +
              "fatal:" + paint(r, kReset) + " " + line + "\n");
}

void flushReport(Reporter& r) {
  if (!r.pending.empty()) std::fwrite(r.pending.data(), 1, r.pending.size(), stderr);
  std::fflush(stderr);
  r.pending.clear();
}

namespace {

// "zqasm: N more errors and M warnings not shown; all are in NAME.ERR", when there are any.
void emitHiddenSummary(Reporter& r) {
  if (r.hiddenErrors == 0 && r.hiddenWarnings == 0) return;
  emit(r, "zqasm: " + std::to_string(r.hiddenErrors) +
              (r.hiddenErrors == 1 ? " more error and " : " more errors and ") +
              std::to_string(r.hiddenWarnings) +
              (r.hiddenWarnings == 1 ? " warning" : " warnings") + " not shown; all are in " +
              r.settings.errorFile + "\n");
}

// Whether a line of the error file is an error or warning line: "NAME(LINE) : Error ",
// "... : Warning " or "... : USER Define Error ->  ". Fatal texts and totals are not.
bool isDiagnosticLine(const std::string& line) {
  for (size_t at = line.find(") : "); at != std::string::npos; at = line.find(") : ", at + 1)) {
    size_t digits = at;
    while (digits > 0 && line[digits - 1] >= '0' && line[digits - 1] <= '9') --digits;
    if (digits == at || digits == 0 || line[digits - 1] != '(') continue;
    const size_t rest = at + 4;
    return line.compare(rest, 6, "Error ") == 0 || line.compare(rest, 8, "Warning ") == 0 ||
           line.compare(rest, 22, "USER Define Error ->  ") == 0;
  }
  return false;
}

}  // namespace

void copyErrorFile(Reporter& r, const std::string& name) {
  // A text stream, as the file was written: on Windows its CR LF line ends come back as
  // line feeds, which standard error writes as CR LF again.
  FILE* in = zq::openForReading(name, "r");
  if (in == nullptr) return;
  // The run's diagnostics came in the order of the file's lines: the first `shown` of
  // its error and warning lines are the ones shown.
  long toShow = r.shown;
  bool hiding = false;
  std::string line;
  auto copyLine = [&]() {
    if (isDiagnosticLine(line)) {
      if (toShow == 0 && r.settings.maxShown > 0) {
        hiding = true;
        return;
      }
      --toShow;
    } else if (hiding) {
      // The line that tells of those left out stands where they would have been.
      emitHiddenSummary(r);
      r.hiddenErrors = r.hiddenWarnings = 0;
    }
    line += '\n';
    emit(r, line);
  };
  char block[8192];
  for (size_t count; (count = std::fread(block, 1, sizeof block, in)) > 0;) {
    for (size_t at = 0; at < count;) {
      const char* end = static_cast<const char*>(std::memchr(block + at, '\n', count - at));
      const size_t stop = end != nullptr ? static_cast<size_t>(end - block) : count;
      line.append(block + at, stop - at);
      at = stop;
      if (end != nullptr) {
        copyLine();
        line.clear();
        ++at;
      }
    }
  }
  std::fclose(in);
  if (!line.empty()) copyLine();
  emitHiddenSummary(r);
  r.hiddenErrors = r.hiddenWarnings = 0;
}

void printTotals(Reporter& r) {
  emitHiddenSummary(r);
  const std::string counts =
      std::to_string(r.errors) + " Error(s), " + std::to_string(r.warnings) + " Warning(s)";
  // After a fatal stop the counts are of the lines read before it, never a result.
  if (!r.fatal)
    emit(r, counts + "\n");
  else if (r.errors == 0 && r.warnings == 0)
    emit(r, "zqasm: assembly stopped by a fatal error\n");
  else
    emit(r, "zqasm: assembly stopped by a fatal error after " + counts + "\n");
}

namespace {

// A name as make reads it in a rule: blanks and "#" escaped with "\", "$" doubled.
std::string makeEscaped(const std::string& name) {
  std::string escaped;
  for (char c : name) {
    if (c == ' ' || c == '\t' || c == '#') escaped += '\\';
    if (c == '$') escaped += '$';
    escaped += c;
  }
  return escaped;
}

// Closes `out`; false (errno kept) when anything written was lost.
bool finish(FILE* out, bool ok) {
  int saved = errno;
  ok = std::fclose(out) == 0 && ok;
  if (!ok && errno == 0) errno = saved ? saved : EIO;
  return ok;
}

}  // namespace

bool writeDepfile(const std::string& name, const std::vector<std::string>& targets,
                  const std::vector<std::string>& prerequisites) {
  FILE* out = zq::openFile(name, "w");
  if (out == nullptr) return false;
  bool ok = true;
  for (size_t i = 0; i < targets.size(); ++i)
    ok = std::fprintf(out, "%s%s", i > 0 ? " " : "", makeEscaped(targets[i]).c_str()) > 0 && ok;
  ok = std::fputc(':', out) != EOF && ok;
  for (const std::string& p : prerequisites)
    ok = std::fprintf(out, " \\\n  %s", makeEscaped(p).c_str()) > 0 && ok;
  ok = std::fputc('\n', out) != EOF && ok;
  // A phony rule keeps make going when a prerequisite is deleted.
  for (size_t i = 1; i < prerequisites.size(); ++i)
    ok = std::fprintf(out, "\n%s:\n", makeEscaped(prerequisites[i]).c_str()) > 0 && ok;
  return finish(out, ok);
}

}  // namespace zqcli
