// What zqasm makes of a run beside the library's own files: the diagnostics on standard
// error in the FILE:LINE: form editors read, and the make rule of the files read. A
// Reporter is the run observer's context for one run.
#ifndef ZQASM_TOOLS_CLI_REPORT_H_
#define ZQASM_TOOLS_CLI_REPORT_H_

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "zqasm/observer.h"

namespace zqcli {

// Diagnostics shown by default (--max-errors); a runaway may make 100,000.
constexpr long kDefaultMaxShown = 50;
// Expansion notes shown under a diagnostic from each end of its list, innermost and
// outermost; the levels between them are told of by one note.
constexpr size_t kNotesShownPerEnd = 5;

struct ReportSettings {
  bool editorStyle = true;  // false: the error file is copied instead (--diagnostics=err)
  bool colour = false;      // ANSI colours on the diagnostics
  bool quoteSource = false; // the source line under each diagnostic
  long maxShown = kDefaultMaxShown;  // errors and warnings shown; 0 for all
  std::string errorFile;  // the error file as the summary of those not shown names it
  uint32_t errorWarnings = 0;  // warnings shown and counted as errors, one bit per number
};

struct Reporter {
  ReportSettings settings;
  std::string directory;  // the current directory, read once (relativeName)
  std::string pending;    // standard error text not yet written (see flushReport)
  long errors = 0;    // counted from the diagnostics of the run (user errors included)
  long warnings = 0;
  long promoted = 0;  // warnings counted as errors (settings.errorWarnings), in `errors`
  long shown = 0;  // errors and warnings shown (fatal stops are always shown)
  long hiddenErrors = 0, hiddenWarnings = 0;  // beyond settings.maxShown
  bool fatal = false;  // a fatal condition or the run's fatal message was seen
  // The text of the fatal stop just shown at its place (line ends as blanks), which the
  // message sink brings once more: that message is not shown again.
  std::string fatalShown;
  bool createFailed = false;  // an output could not be created (named on standard error)
  std::vector<std::string> filesRead;  // once each, in first-read order
  std::set<std::string> filesSeen;
  std::vector<uint8_t> program, programWritten, table, tableWritten;
  bool imageSeen = false;
  size_t ramNames = 0, ramNibbles = 0;                          // from the image report
  std::map<std::string, std::vector<std::string>> sourceLines;  // for the quotes
};

// `name` relative to the current directory when it lies below it, else as given.
std::string relativeName(const std::string& name);
// The same against `directory`, the current directory read before.
std::string relativeName(const std::string& name, const std::string& directory);
// `name` with its extension (from the last ".") replaced by `extension`, or appended:
// the way the library derives its output names.
std::string withExtension(const std::string& name, const char* extension);

// Observer callbacks; the context is a Reporter.
// Each diagnostic is counted; beyond settings.maxShown errors and warnings it is counted
// as not shown, in both styles, and printed in none.
void onDiagnostic(void* context, const ZqasmDiagnostic* diagnostic);
void onFileRead(void* context, const char* path, int kind);
void onImage(void* context, const ZqasmImage* image);
// Message sink of the library's one-line messages (fatal stops, files not created).
void onMessage(const char* text, void* context);

// What the reporter has to say goes to standard error in large blocks, not one write per
// diagnostic: flushReport writes what is pending. The callbacks flush when much is
// pending; the caller flushes after the run and before writing anything else itself.
void flushReport(Reporter& reporter);
// Adds "N Error(s), M Warning(s)" with a line end; after a fatal stop, a line saying the
// assembly was stopped instead (with the counts of what came before, when any). The
// line that tells of the diagnostics not shown comes first, when there are any.
void printTotals(Reporter& reporter);

// Copies the error file `name` to standard error as --diagnostics=err shows it: the error
// and warning lines that the run's diagnostics showed (settings.maxShown of them), the
// line that tells of the others in their place, every other line (fatal texts, totals)
// as it stands; a line end ends the copy. Only a regular file is read: a link to a device
// never ends.
void copyErrorFile(Reporter& reporter, const std::string& name);

// Writes the make rule "targets: prerequisites" and a phony rule for every prerequisite
// but the first. False (errno set) when the file cannot be written.
bool writeDepfile(const std::string& name, const std::vector<std::string>& targets,
                  const std::vector<std::string>& prerequisites);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_CLI_REPORT_H_
