// The source pass loop and include files.
#include "driver/pass_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "chip/chip_file.h"
#include "directives/macro.h"
#include "driver/macro_expansion.h"
#include "driver/statement.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/listing.h"
#include "services/output_files.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "services/run_observer.h"
#include "source/line_fields.h"
#include "source/line_scan.h"
#include "symbols/constant_table.h"
#include "symbols/substitution.h"

namespace zq {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using SourceStream = std::unique_ptr<FILE, FileCloser>;

// An include name starts at a letter, digit, "_" or separator, never at "." (so the
// name of ..\x.h is \X.H).
bool isNameStart(char c) { return isLetter(c) || isDigit(c) || c == '_' || c == '\\' || c == '/'; }

// Characters that end an include name (besides the end of the line).
bool endsName(char c) {
  return c == '?' || c == '"' || c == '*' || c == '>' || c == '<' || isBlank(c) || c == '\n';
}

// Gives includeLevel back to the including file whichever way a reading ends.
class IncludeLevelRestorer {
 public:
  explicit IncludeLevelRestorer(SourceState& state)
      : state_(state), entryLevel_(state.includeLevel) {}
  ~IncludeLevelRestorer() {
    state_.includeLevel = static_cast<int16_t>(entryLevel_ > 0 ? entryLevel_ - 1 : 0);
  }
  IncludeLevelRestorer(const IncludeLevelRestorer&) = delete;
  IncludeLevelRestorer& operator=(const IncludeLevelRestorer&) = delete;

 private:
  SourceState& state_;
  int16_t entryLevel_;
};

// Ends the run when the include files of one pass exceed a bound (`bound` says which):
// a file that includes itself, or files that include each other, would otherwise be
// read a number of times that grows with the power of the depth limit.
int stopRecursiveInclude(AssemblerRun& run, const std::string& bound, const std::string& fileName) {
  return reportFatal(
      run, MessageOwner::kActiveWindow,
      "Fatal Error: more than %s in one pass, at \"%s\" (does a file include itself ?)",
      bound.c_str(), fileName.c_str());
}

// Follows an include line (detectInclude answered 1 or 2): lists it in pass 2, then
// reads the file one level deeper. Returns resultFatal when the included file stopped
// the run, else 1.
int followInclude(AssemblerRun& run, int found, const std::string& line,
                  const std::string& fullName, unsigned lineNumber, int pass) {
  SourceState& s = run.source;
  writeSourceListingLine(run, line, lineNumber, pass);
  if (found != 1) {
    if (pass == 2) flushLineDiagnostics(run, lineNumber);
    return 1;
  }
  if (s.includeLevel + 1 > kMaxIncludeLevel) {
    if (pass == 2) {
      raiseError(run, 35);
      flushLineDiagnostics(run, lineNumber);
    }
    return 1;
  }
  // Files that include each other fan out up to the depth limit, which could mean
  // millions of readings: past the bound the run stops.
  if (++s.includeFilesOpened > kMaxIncludeFiles)
    return stopRecursiveInclude(run, std::to_string(kMaxIncludeFiles) + " include files opened",
                                fullName);
  ++s.includeLevel;
  int result = assembleFile(run, fullName, pass);
  // A fatal stop inside the include ends the including files as well; any other result
  // lets the including file go on with its next line.
  return result == resultFatal || s.fatalError ? resultFatal : 1;
}

// What loadChipFile's failure `loaded` means, naming the file and where it was looked for.
std::string chipLoadFailure(const AssemblerRun& run, const std::string& chipName, int loaded) {
  if (!observingDiagnostics() || run.params == nullptr) return "";
  const AssemblerParams& p = *run.params;
  const std::string directory = slotText(p.chipDirectory, sizeof p.chipDirectory);
  const std::string file = chipName + ".COE";
  if (loaded == -1) return "no chip description " + file + " in " + directory;
  if (loaded == -3)
    return "chip description " + file + " in " + directory +
           " cannot be used: its chip name is longer than 31 characters";
  const std::string options = slotText(p.maskOptionPath, sizeof p.maskOptionPath);
  if (options.empty()) return "no mask option file given; the chip " + chipName + " reads one";
  return "no mask option file " + options;
}

// The pass-0 route of one line. Returns true when reading of this file is to stop.
bool passZeroLine(AssemblerRun& run, std::string& line, unsigned lineNumber, int& result) {
  SourceState& s = run.source;
  // Once a chip is found, every file still open ends at its next line.
  if (s.chipState != 0) return true;
  // Only a line of exactly two fields counts: a label before .CHIP hides it.
  if (splitFields(s, line, 0) == 2 && equalsNoCase(s.field[1], ".CHIP")) {
    s.chipState = 1;
    int loaded = loadChipFile(run, s.field[2].str());
    if (loaded < 0) {
      // The text and "IN LINE %d" share one line of the error file.
      const char* text = loaded != -2 ? "ERROR : CHIP TYPE NO DEFINITION "
                                      : "ERROR : Mask Option File Does NO EXISTS.";
      writeFatalLine(run, text + ("IN LINE " + std::to_string(static_cast<int>(lineNumber))));
      observeDiagnostic(ZQASM_FATAL, s.includeFileNames[s.includeLevel], lineNumber, -1, text,
                        chipLoadFailure(run, s.field[2].str(), loaded));
      s.chipState = -1;
    }
    return true;
  }
  std::string fullName;
  int found = detectInclude(run, line, fullName, 0);
  if (found != 0 && followInclude(run, found, line, fullName, lineNumber, 0) == resultFatal) {
    result = resultFatal;
    return true;
  }
  return false;
}

// Lists a line handled by a pre-check (pass 2) and flushes its diagnostics.
void listPreCheckLine(AssemblerRun& run, const std::string& line, unsigned lineNumber, int result,
                      int orgError) {
  SourceState& s = run.source;
  ++s.listingLineCount;
  if (FILE* listing = run.files.listing) {
    const char* end = listingLineEnd(line);
    if (result == resultOrgLine && orgError == 0)
      std::fprintf(listing, "%5u %04X **** NEW ADDR ****  %s%s", lineNumber,
                   static_cast<unsigned>(s.locationCounter), line.c_str(), end);
    else if (result == resultOrgLine)
      std::fprintf(listing, "%5u        %s%s", lineNumber, line.c_str(), end);
    else
      std::fprintf(listing, "%5u %04X        %s%s", lineNumber,
                   static_cast<unsigned>(s.lastConstantValue), line.c_str(), end);
  }
  flushLineDiagnostics(run, lineNumber);
}

// The pass-1/2 route of one line. Returns true when reading of this file is to stop;
// `result` then holds what assembleFile returns.
bool statementLine(AssemblerRun& run, std::string& line, unsigned lineNumber, int pass,
                   int& result) {
  SourceState& s = run.source;
  const bool listing = pass == 2;
  observeSourceLine(run, line);
  const bool statements = observingStatements(run);
  StatementStart start;
  if (statements) start = startStatement(run, false);
  // One scan of the line serves the include test, the pre-checks and the router.
  LineScan scan = scanLine(line);

  // Inside a false branch or a macro definition no include is followed and no pre-check
  // runs: the line goes straight to the router.
  if (s.assemblingOn && !s.macroDefinitionOpen) {
    scanKeywords(scan);
    if (scan.includeAt != LineScan::npos) {
      if (statements)
        observeStatementKind(run, ZQASM_STATEMENT_INCLUDE,
                             s.includeFileNames[static_cast<size_t>(s.includeLevel)], lineNumber,
                             line);
      std::string fullName;
      int found = detectInclude(run, line, fullName, pass);
      if (followInclude(run, found, line, fullName, lineNumber, pass) == resultFatal) {
        result = resultFatal;
        return true;
      }
      return false;
    }

    // Pre-checks: none inside TABLE, only EQU inside DATA, else ORG, EQU, DEFSTR in turn.
    // Each runs only where the scan found its keyword, since it answers 0 elsewhere.
    int preCheck = 0;
    int orgError = 0;
    if (s.tableSegmentOpen) {
      // Table data lines go straight to the statement router.
    } else if (s.dataSegmentOpen) {
      if (scan.equKeyword) preCheck = defineConstantLine(run, line, pass, lineNumber);
    } else {
      if (scan.orgAt != LineScan::npos) preCheck = checkOrgLine(run, scan, pass, orgError);
      if (preCheck != resultOrgLine) {
        preCheck = scan.equKeyword ? defineConstantLine(run, line, pass, lineNumber) : 0;
        if (preCheck != resultConstantDefined && preCheck != resultFatal)
          preCheck = scan.defstrKeyword ? defineStringLine(run, line, pass, lineNumber) : 0;
      }
    }
    if (preCheck == resultFatal) {
      s.fatalError = 1;
      result = resultFatal;
      return true;
    }
    if (preCheck == resultOrgLine || preCheck == resultConstantDefined ||
        preCheck == resultStringDefined) {
      if (statements)
        observeStatementKind(run, ZQASM_STATEMENT_ASSEMBLED,
                             s.includeFileNames[static_cast<size_t>(s.includeLevel)], lineNumber,
                             line);
      if (listing) listPreCheckLine(run, line, lineNumber, preCheck, orgError);
      return false;
    }
  }

  // -1: the line was read from a file, not produced by a macro expansion.
  int r = processStatement(run, scan, pass, lineNumber, -1);
  // A statement no handler took (the last branch below) is tried as a macro call, and
  // told of once expanded; the others are told of here.
  const std::string& file = s.includeFileNames[static_cast<size_t>(s.includeLevel)];
  const bool callTried =
      r < 0 && r != resultEndOfSource && r != resultFatal && s.lastFieldCount >= 0;
  if (statements && !callTried) observeStatement(run, start, file, lineNumber, line, false);
  if (r == resultListedDirective || r == resultListedTable || r == resultMacroDone) {
    if (listing) flushLineDiagnostics(run, lineNumber);
  } else if (r >= 0) {
    if (listing) {
      writeListingLine(run, line, lineNumber, r);
      flushLineDiagnostics(run, lineNumber);
    }
  } else if (r == resultEndOfSource) {
    if (listing) {
      writeListingLine(run, line, lineNumber, 0);
      // Written here so that nothing raised on the END line is lost or pinned on a
      // line of the including file.
      flushLineDiagnostics(run, lineNumber);
    }
    result = 1;
    return true;
  } else if (r == resultFatal) {
    if (listing) writeListingLine(run, line, lineNumber, 0);
    s.fatalError = 1;
    result = resultFatal;
    return true;
  } else if (s.lastFieldCount < 0) {
    // Refused before any instruction split (bank convert area): the field buffers hold
    // an earlier statement, so the line is not tried as a macro call.
    if (listing) {
      writeListingLine(run, line, lineNumber, r);
      flushLineDiagnostics(run, lineNumber);
    }
  } else {
    // Unknown to every handler: perhaps a macro call, cut into fields by the encoder.
    s.macroAssemblingOn = 1;
    int expanded = expandMacro(run, line, pass, lineNumber, s.lastFieldCount);
    if (expanded == resultFatal) s.fatalError = 1;
    if (statements) observeStatement(run, start, file, lineNumber, line, expanded >= 0);
    if (listing) {
      if (expanded < 0) writeListingLine(run, line, lineNumber, expanded);
      flushLineDiagnostics(run, lineNumber);
    }
  }
  // A handler that ended the run (a full table, no memory for a record) may have said
  // so only through fatalError.
  if (s.fatalError) {
    result = resultFatal;
    return true;
  }
  return false;
}

}  // namespace

namespace {

bool anyText(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return !isBlank(c); });
}

// joinLine after a first piece that is not a whole line: the pieces that follow it.
[[gnu::noinline]] bool joinPieces(PieceReader& reader, std::string& line) {
  std::string piece;
  bool first = true;
  // Characters read for this line, dropped pieces included.
  size_t read = 0;
  for (;;) {
    const std::string& current = first ? line : piece;
    read += current.size();
    // A line feed counts as text, so only a piece of blanks and tabs alone is dropped,
    // and only while the line read so far is within the limit: an endless run of
    // blanks (or of NULs, read as blanks) then ends as an over-long line.
    // A piece holds a line feed only as its last character.
    bool hasNewline = !current.empty() && current.back() == '\n';
    bool hasText = read > kMaxLineLength || anyText(current);
    if (first && !hasText) line.clear();
    if (!first && hasText) line += piece;
    if (line.size() > kMaxLineLength) return true;
    first = false;
    if (hasNewline || !reader.next(piece)) return true;
  }
}

}  // namespace

bool joinLine(PieceReader& reader, std::string& line) {
  // Most lines are one piece: the first is read straight into the line.
  if (!reader.next(line)) return false;
  // The usual line: one piece, ended by its line feed (which counts as text).
  if (line.back() == '\n' && line.size() <= kMaxLineLength) {
    if (!anyText(line)) line.clear();
    return true;
  }
  return joinPieces(reader, line);
}

namespace {

// The include directories of the block in search order: slot 516, slot 774, then the
// list up to its first empty slot.
std::vector<std::string> includeDirectories(const AssemblerParams& params) {
  std::vector<std::string> directories;
  std::string first = slotText(params.includeDir1, sizeof params.includeDir1);
  std::string second = slotText(params.includeDir2, sizeof params.includeDir2);
  if (!first.empty()) directories.push_back(first);
  if (!second.empty()) directories.push_back(second);
  for (const auto& slot : params.includeDirs) {
    std::string directory = slotText(slot, sizeof slot);
    if (directory.empty()) break;
    directories.push_back(directory);
  }
  return directories;
}

// Where an include name was looked for, as the note of error 36 says it. A path is
// opened as it stands, so a relative one from the current directory (detectInclude).
std::string placesSearched(const AssemblerRun& run, const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find('/') != std::string::npos) {
    const bool absolute = name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':');
    return absolute ? "" : " relative to the current directory";
  }
  std::vector<std::string> directories;
  if (run.params != nullptr) directories = includeDirectories(*run.params);
  if (directories.empty()) return ": no include directory given";
  std::string places = " in ";
  for (size_t i = 0; i < directories.size(); ++i) places += (i ? ", " : "") + directories[i];
  return places;
}

}  // namespace

int findIncludeFile(AssemblerRun& run, const std::string& name, std::string& fullName) {
  const AssemblerParams* params = run.params;
  if (params == nullptr) return 0;
  // Only these directories: neither the including file's nor the current one.
  for (const std::string& directory : includeDirectories(*params)) {
    std::string path = directory;
    if (path.back() != '\\' && path.back() != '/') path += kPathSeparator;
    path += name;
    std::string resolved;
    if (findSourceFile(path, resolved)) {
      fullName = resolved;
      return 1;
    }
  }
  return 0;
}

int detectInclude(AssemblerRun& run, std::string& line, std::string& fullName, int pass) {
  // The keyword: "#include" or ".include" as the first word, any case.
  // After the blanks, "#" or "." must start the word; one not followed by "include"
  // hands the decision to the next character.
  const size_t pos = includeKeywordAt(line);
  if (pos == LineScan::npos) return 0;

  // The name: after an opener (double quote, "<", blank, tab), from the first letter,
  // digit, "_", "\\" or "/" up to a character that cannot be in a name; upper-cased.
  size_t i = pos + 8;
  while (i < line.size() && line[i] != '"' && line[i] != '<' && !isBlank(line[i])) ++i;
  if (i < line.size()) ++i;
  while (i < line.size() && !isNameStart(line[i])) ++i;
  const size_t nameStart = i;
  std::string name;
  while (i < line.size() && !endsName(line[i])) name.push_back(toUpper(line[i++]));

  auto notFound = [&]() {
    if (pass == 2) raiseError(run, 36);
    if (pass == 2)
      noteCulpritAt(run, 36, line.substr(nameStart, i - nameStart), "include file '%s' not found%s",
                    line.substr(nameStart, i - nameStart).c_str(),
                    placesSearched(run, name).c_str());
    return 2;
  };
  if (name.empty()) return notFound();

  // A name with a separator is a path, resolved against the current directory.
  const bool path = name.find('\\') != std::string::npos || name.find('/') != std::string::npos;
  const auto known = run.source.foundIncludes.find(name);
  if (known != run.source.foundIncludes.end()) {
    fullName = known->second;
  } else {
    std::string resolved;
    const bool found =
        path ? findSourceFile(name, resolved) : findIncludeFile(run, name, resolved) == 1;
    if (!found) return notFound();
    fullName = resolved;
    run.source.foundIncludes.emplace(name, resolved);
  }
  observeInclude(run, nameStart, i, fullName);
  if (path) return 1;
  // Show in the listing where the file was found.
  if (!line.empty() && line.back() == '\n') line.pop_back();
  line += " (" + fullName + ")\n";
  return 1;
}

int assembleFile(AssemblerRun& run, const std::string& fileName, int pass) {
  SourceState& s = run.source;
  IncludeLevelRestorer restorer(s);
  if (s.includeLevel < 0 || s.includeLevel > kMaxIncludeLevel) return -1;

  unsigned lineNumber = 1;
  // A text the host gave for the file is read in its place, exactly as the file would be.
  std::string overlaid;
  const std::string* text = persistentSettings().sourceOverlay.find(fileName, overlaid);
  // Binary: the piece reader itself reads the bytes as a Windows text stream delivers
  // them (CR LF, the Ctrl-Z end mark), and needs to see what follows the mark.
  SourceStream stream(text == nullptr ? openForReading(fileName, "rb") : nullptr);
  if (!stream && text == nullptr) {
    showMessage("%s open failed !", fileName.c_str());
    return -1;
  }
  s.includeFileNames[s.includeLevel] = fileName;
  observeFileRead(fileName, s.includeLevel == 0 ? ZQASM_FILE_SOURCE : ZQASM_FILE_INCLUDE);
  PieceReader reader = text != nullptr ? PieceReader(*text) : PieceReader(stream.get());
  reader.skipByteOrderMark();

  std::string line;
  int result = 1;
  bool stopped = false;   // reading ended before the end of the text
  bool lineEnded = true;  // the last line read ended with its line feed
  while (joinLine(reader, line)) {
    if (observerStopsRun(run)) {
      result = resultFatal;
      stopped = true;
      break;
    }
    s.lineNumber = lineNumber;
    lineEnded = !line.empty() && line.back() == '\n';
    if (s.includeLevel > 0) {
      s.includeTextRead += line.size();
      if (s.includeTextRead > kMaxIncludeText) {
        result = stopRecursiveInclude(
            run, std::to_string(kMaxIncludeText) + " characters of include files read", fileName);
        break;
      }
    }
    // Empty, over-long and feed-first lines are only listed. The rest of an over-long
    // physical line comes back as the next line, with its own number.
    if (line.empty() || line.size() > kMaxLineLength || line[0] == '\n') {
      writeSourceListingLine(run, line, lineNumber, pass);
      if (line.size() > kMaxLineLength && pass == 2) {
        raiseError(run, 67);
        flushLineDiagnostics(run, lineNumber);
      }
    } else if (pass == 0) {
      if ((stopped = passZeroLine(run, line, lineNumber, result))) break;
    } else if ((stopped = statementLine(run, line, lineNumber, pass, result))) {
      break;
    }
    // Diagnostics written for the line (over-long, include and pre-check lines too) may
    // have reached the error bound.
    if (s.fatalError) {
      result = resultFatal;
      stopped = true;
      break;
    }
    ++lineNumber;
    ++s.passLineCount;
  }
  // A Ctrl-Z byte ends the text as it ends a Windows text stream; program text after it
  // is never read, so pass 2 says so (warning 4) on the line that holds the byte.
  if (!stopped && result != resultFatal && pass == 2 && reader.textAfterEndMark()) {
    raiseWarning(run, 4);
    flushLineDiagnostics(run, lineEnded ? lineNumber : lineNumber - 1);
  }
  return result;
}

}  // namespace zq
