// Macros. Heads and bodies are recorded in pass 1 and only skipped in pass 2; calls expand
// in both passes, each body line substituted and routed like a source line, with its own
// line number for labels and the call's line number in the listing and the error file.
#include "directives/macro.h"

#include <new>
#include <string_view>
#include <utility>

#include "directives/segment.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "source/numbers.h"

namespace zq {

namespace {

constexpr int kErrSymbolTooLong = 3;
constexpr int kErrNotEnoughParameters = 30;
constexpr int kErrTooManyParameters = 43;
constexpr int kErrLineTooLong = 67;
constexpr int kErrTooManyMacroParameters = 68;
constexpr int kWarnBlankParameter = 2;

// What a blank argument is replaced by ("0 ; *** Parameter %d IS BLANK ***"), by
// parameter; a runaway expansion meets them a million times.
constexpr std::array<std::string_view, kMaxParameters> kBlankParameterTexts = {
    "0 ; *** Parameter 1 IS BLANK ***",
    "0 ; *** Parameter 2 IS BLANK ***",
    "0 ; *** Parameter 3 IS BLANK ***",
    "0 ; *** Parameter 4 IS BLANK ***",
    "0 ; *** Parameter 5 IS BLANK ***",
    "0 ; *** Parameter 6 IS BLANK ***",
    "0 ; *** Parameter 7 IS BLANK ***",
    "0 ; *** Parameter 8 IS BLANK ***",
    "0 ; *** Parameter 9 IS BLANK ***",
    "0 ; *** Parameter 10 IS BLANK ***",
    "0 ; *** Parameter 11 IS BLANK ***",
    "0 ; *** Parameter 12 IS BLANK ***",
    "0 ; *** Parameter 13 IS BLANK ***",
    "0 ; *** Parameter 14 IS BLANK ***",
    "0 ; *** Parameter 15 IS BLANK ***",
    "0 ; *** Parameter 16 IS BLANK ***",
};

// Characters that may follow a parameter name for it to be replaced. The character
// before the name is not looked at, so a name also ends a longer word.
bool endsParameterName(char c) {
  return c == '\0' || c == '\n' || c == ' ' || c == ',' || c == '=' || isOperatorChar(c);
}

// Characters of a word in the sense of symbol names: letters, digits, "_", and the "?"
// and "\\" that names may hold.
bool isWordCharacter(char c) {
  return isLetter(c) || isDigit(c) || c == '_' || c == '?' || c == '\\';
}

// The record of the expansion in progress, or nullptr for a file line.
MacroRecord* currentMacro(AssemblerRun& run) {
  int context = run.source.macroContext;
  if (context < 0 || static_cast<size_t>(context) >= run.macros.macroTable.size()) return nullptr;
  return &run.macros.macroTable[static_cast<size_t>(context)];
}

// Stores the name collected by the head scan into the next slot (the 17th stays empty).
void storeParameter(MacroRecord& record, int count, const std::string& name) {
  try {
    record.parameterNames[static_cast<size_t>(count)] = name.substr(0, kMaxParameterName);
  } catch (const std::bad_alloc&) {
    // The name is lost, as a body line would be.
  }
}

// The own file of the statement being processed: the file being read, or for a line of
// an expansion the file of the expanding macro's head, which holds its body.
std::string statementFile(const AssemblerRun& run) {
  const SourceState& s = run.source;
  const int context = s.macroContext;
  if (context >= 0 && static_cast<size_t>(context) < run.macros.macroTable.size())
    return run.macros.macroTable[static_cast<size_t>(context)].headFile;
  const int level = s.includeLevel >= 0 && s.includeLevel <= kMaxIncludeLevel ? s.includeLevel : 0;
  return s.includeFileNames[static_cast<size_t>(level)];
}

}  // namespace

int parseMacroParameters(MacroRecord& record, const std::string& arguments, int64_t passLineCount) {
  record.definitionLine = passLineCount;
  record.localLabels.clear();
  record.localLabelsByExpansion.clear();
  record.nextOfExpansion.clear();
  record.firstLocalByName.clear();
  record.localNameAndLine.clear();
  record.localLabelCount = 0;
  record.parameterNames = {};
  record.body.clear();
  record.tooManyParameters = 0;
  record.longParameterName = 0;

  int count = 0;
  std::string name;
  bool stopped = false;
  for (char c : arguments) {
    if (c == ';' || c == '\n') break;
    if (isBlank(c)) continue;  // blanks anywhere, even inside a name, are dropped
    if (c != ',') {
      if (name.size() < kMaxParameterName) {
        name.push_back(c);
      } else {
        record.longParameterName = 1;
      }
      continue;
    }
    // An empty name keeps its slot empty, which ends the reachable parameters there.
    if (!name.empty()) {
      if (count >= kMaxParameters) {
        // A 17th name followed by more: counted as too many, like a 17th at the end.
        stopped = true;
        count = kMaxParameters + 1;
        break;
      }
      storeParameter(record, count, name);
    }
    ++count;
    name.clear();
  }
  // A trailing comma adds no parameter.
  if (!stopped && !name.empty()) {
    if (count < kMaxParameters) storeParameter(record, count, name);
    ++count;
  }
  if (count > kMaxParameters) {
    record.tooManyParameters = 1;
    return -1;
  }
  return 0;
}

int defineMacroHead(AssemblerRun& run, const std::string& arguments, int pass) {
  SourceState& s = run.source;
  MacroState& m = run.macros;
  if (pass == 1 && m.macroTable.size() >= kMaxMacros) {
    // Like a full label table: the run cannot go on without the definition.
    reportFatal(run, MessageOwner::kActiveWindow, "Macro quantities can't great than %d ",
                static_cast<int>(kMaxMacros));
    return 0;
  }
  // From here to the ENDM-family line nothing is assembled.
  ++s.macroDefinitionOpen;
  // Kept in every pass for error 64, which the driver raises when the definition is
  // still open after the last pass.
  m.openHeadFile = statementFile(run);
  m.openHeadLine = s.currentLineNumber;
  if (pass == 2) {
    // A cut name would match the start of longer words; only a head that defines a
    // macro that can be called is checked.
    MacroRecord scratch;
    parseMacroParameters(scratch, arguments, s.passLineCount);
    if (scratch.longParameterName && s.conditionOn()) raiseError(run, kErrSymbolTooLong);
    observeMacroHead(run);
  }
  if (pass != 1) return 0;

  MacroRecord record;
  // The head's label, which defineLabel recorded in pass 1 only; empty in a skipped
  // region or without a label, so that such a macro cannot be called.
  record.name = std::string(run.labels.lastLabelName().substr(0, kMaxMacroName));
  const int level = s.includeLevel >= 0 && s.includeLevel <= kMaxIncludeLevel ? s.includeLevel : 0;
  record.definitionFile =
      s.includeFileNames[static_cast<size_t>(level)].substr(0, kMaxDefinitionFile);
  record.headFile = m.openHeadFile;
  record.headLine = m.openHeadLine;
  parseMacroParameters(record, arguments, s.passLineCount);
  const bool tooMany = record.tooManyParameters != 0;
  m.macroTable.push_back(std::move(record));
  m.macroCount = static_cast<int16_t>(m.macroTable.size());
  if (tooMany) {
    // Reported in pass 1, at once, at the head; the macro keeps its first 16 parameters.
    raiseError(run, kErrTooManyMacroParameters);
    flushLineDiagnosticsAt(run, m.openHeadFile, m.openHeadLine);
  }
  return 0;
}

void appendMacroLine(AssemblerRun& run, const std::string& line, uint32_t lineNumber) {
  MacroState& m = run.macros;
  if (m.macroCount <= 0 || static_cast<size_t>(m.macroCount) > m.macroTable.size()) return;
  try {
    MacroLine stored;
    stored.text = line;
    stored.lineNumber = static_cast<uint16_t>(lineNumber);
    m.macroTable[static_cast<size_t>(m.macroCount) - 1].body.push_back(std::move(stored));
  } catch (const std::bad_alloc&) {
    // The line is lost without a diagnostic.
  }
}

int substituteParameters(AssemblerRun& run, std::string& line, size_t macroIndex, int pass) {
  run.macros.wordParameter.clear();
  run.macros.substitutedLength = std::string::npos;
  if (macroIndex >= run.macros.macroTable.size()) return 0;
  const MacroRecord& record = run.macros.macroTable[macroIndex];
  // Without arguments the names stay as written and the count is not checked.
  if (record.argumentCount == 0) return 0;
  // Nor in a line that tests an argument for blanks (IFBLANK, IFNBLANK, any case, after
  // "." or "#", anywhere in the line).
  for (size_t at = 0; at < line.size(); ++at)
    if ((line[at] == '.' || line[at] == '#') &&
        (matchesNoCase(line, at + 1, "IFBLANK") || matchesNoCase(line, at + 1, "IFNBLANK")))
      return 0;

  // Statement part (without the blanks and tabs that end it) and comment part.
  const size_t semicolon = line.find(';');
  // Most body lines name no parameter: then the line stays as it is and only the counts
  // are checked. A replacement may bring in another parameter's name, but only after a
  // first replacement, so looking for the names in the statement as written tells.
  std::string_view written = std::string_view(line).substr(0, semicolon);
  while (!written.empty() && isBlank(written.back())) written.remove_suffix(1);
  if (written.empty()) return 0;
  int named = 0;
  bool replacing = false;
  for (size_t k = 0; k < static_cast<size_t>(kMaxParameters); ++k) {
    const std::string& name = record.parameterNames[k];
    if (name.empty()) break;
    ++named;
    for (size_t at = written.find(name); !replacing && at != std::string_view::npos;
         at = written.find(name, at + 1)) {
      const size_t after = at + name.size();
      replacing = endsParameterName(after < written.size() ? written[after] : '\0');
    }
  }
  if (!replacing) {
    if (named < record.argumentCount) return kErrTooManyParameters;
    if (named > record.argumentCount) return kErrNotEnoughParameters;
    return 0;
  }
  // The statement is rewritten in a text of the run that keeps its storage.
  std::string& statement = run.macros.statementText;
  statement.assign(written.data(), written.size());

  int visited = 0;
  int replacements = 0;
  // A name is replaced whatever stands before it, so it may end a longer word (parameter
  // H in "1H"); warning 6 tells of the first such place, for the expander to raise.
  const bool watchWords = pass == 2 && trapWarningOn(kWarnParameterInWord);
  for (size_t k = 0; k < static_cast<size_t>(kMaxParameters); ++k) {
    const std::string& name = record.parameterNames[k];
    if (name.empty()) break;
    ++visited;
    const bool blank = static_cast<int>(k) < record.argumentCount && record.arguments[k].empty();
    std::string_view replacement;
    if (static_cast<int>(k) + 1 > record.argumentCount) {
      replacement = "1";
    } else if (blank) {
      replacement = kBlankParameterTexts[k];
    } else {
      replacement = record.arguments[k];
    }
    for (size_t at = statement.find(name); at != std::string::npos; at = statement.find(name, at)) {
      const size_t after = at + name.size();
      if (!endsParameterName(after < statement.size() ? statement[after] : '\0')) {
        ++at;
        continue;
      }
      // Arguments may hold other parameters' names and separators; the line stays
      // within the line limit, so substitutions cannot grow it without end. A line that
      // cannot take its argument is refused rather than kept with the name in it.
      if (statement.size() - name.size() + replacement.size() > kMaxLineLength)
        return kErrLineTooLong;
      if (watchWords && at > 0 && isWordCharacter(statement[at - 1]) &&
          run.macros.wordParameter.empty()) {
        size_t start = at - 1;
        while (start > 0 && isWordCharacter(statement[start - 1])) --start;
        MacroState& m = run.macros;
        m.wordParameter = name;
        m.parameterWord.assign(statement, start, after - start);
        m.parameterWordResult.assign(statement, start, at - start);
        m.parameterWordResult.append(replacement.data(), replacement.size());
      }
      statement.replace(at, name.size(), replacement.data(), replacement.size());
      if (blank && pass == 2) raiseWarning(run, kWarnBlankParameter);
      at += replacement.size();
      ++replacements;
    }
  }

  if (replacements > 0) {
    // The substituted statement with its comment, then the body line as written.
    std::string& rewritten = run.macros.rewrittenLine;
    rewritten = statement;
    if (semicolon != std::string::npos) rewritten.append(line, semicolon, std::string::npos);
    run.macros.substitutedLength =
        rewritten.size() - (!rewritten.empty() && rewritten.back() == '\n' ? 1 : 0);
    for (char& c : rewritten)
      if (c == '\n') c = ' ';
    size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    rewritten += " ; ";
    rewritten.append(line, first, std::string::npos);
    line.swap(rewritten);
  }
  if (visited < record.argumentCount) return kErrTooManyParameters;
  if (visited > record.argumentCount) return kErrNotEnoughParameters;
  return 0;
}

void declareLocalLabels(AssemblerRun& run, const std::string& arguments, int pass) {
  MacroRecord* macro = currentMacro(run);
  if (pass != 1 || macro == nullptr) return;
  if (macro->localLabelNames.size() >= kMaxLocalLabelNames) return;
  std::string copy;
  if (stripBlanks(run, arguments, copy, pass) == 0) return;
  // Every pass-1 expansion adds the names again, until the 256 slots are full.
  for (const std::string& name : splitList(copy)) {
    if (macro->localLabelNames.size() >= kMaxLocalLabelNames) break;
    macro->localLabelNames.push_back(name.substr(0, kMaxSymbolName));
  }
}

bool callsDefinedMacro(const AssemblerRun& run, std::string_view name) {
  const MacroState& m = run.macros;
  if (m.macroCount == 0 || name.empty()) return false;
  for (const MacroRecord& record : m.macroTable)
    if (record.name == name) return run.source.passLineCount >= record.definitionLine;
  return false;
}

}  // namespace zq

