// Macros. Heads and bodies are recorded in pass 1 and only skipped in pass 2; calls expand
// in both passes, each body line substituted and routed like a source line, with its own
// line number for labels and the call's line number in the listing and the error file.
#include "directives/macro.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "directives/segment.h"
#include "driver/statement.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/listing.h"
#include "services/run.h"
#include "symbols/expression.h"

namespace zq {

namespace {

constexpr int kErrIllegalOpcode = 1;
constexpr int kErrSymbolTooLong = 3;
constexpr int kErrOperand = 6;
constexpr int kErrDefinedLater = 29;
constexpr int kErrNotEnoughParameters = 30;
constexpr int kErrTooManyParameters = 43;
constexpr int kErrLineTooLong = 67;
constexpr int kErrTooManyMacroParameters = 68;
constexpr int kErrMacroTooDeep = 69;
constexpr int kErrMacroTooLong = 70;
constexpr int kWarnBlankParameter = 2;

const char* const kFrameLine = ";****************************************\n";

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

// A call line reached the expander as an unknown mnemonic: the encoder's error 1 is no
// error after all. In pass 2 whatever else the line drew (its label, for one) stays;
// before pass 2 nothing is reported, and everything goes.
void dropIllegalOpcode(AssemblerRun& run, int pass) {
  if (pass != 2) {
    dropLineDiagnostics(run);
    return;
  }
  std::vector<int>& errors = run.diagnostics.lineErrors;
  errors.erase(std::remove(errors.begin(), errors.end(), kErrIllegalOpcode), errors.end());
  run.diagnostics.errorsPending = !errors.empty();
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

// Arguments of the expansion in progress, saved around a call so that a macro that calls
// itself finds its own arguments again afterwards.
struct ArgumentSet {
  std::array<std::string, kParameterSlots> arguments;
  int16_t argumentCount = 0;
  uint32_t expansion = 0;
};

// Writes a body line to the listing under the call's line number (pass 2) with its
// diagnostics; `result` picks the listing form.
void listBodyLine(AssemblerRun& run, const std::string& buffer, uint32_t callLine, int result,
                  bool operandError) {
  writeListingLine(run, buffer, callLine, result);
  if (operandError) raiseError(run, kErrOperand);
  flushLineDiagnostics(run, callLine);
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

int expandMacro(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                int fieldCount) {
  SourceState& s = run.source;
  MacroState& m = run.macros;
  // A head without a name (in a skipped region) can never be called.
  if (m.macroCount == 0 || s.field[1].empty()) return -1;
  size_t index = 0;
  while (index < m.macroTable.size() && m.macroTable[index].name != s.field[1]) ++index;
  if (index >= m.macroTable.size()) return -1;
  // A body line may add a record (a head inside the body), so the record is read
  // through its index, never kept by reference across a routed line.
  auto record = [&m, index]() -> MacroRecord& { return m.macroTable[index]; };

  if (s.passLineCount < record().definitionLine) {
    if (pass == 2) raiseError(run, kErrDefinedLater);
    return -1;
  }
  const uint64_t output =
      m.expansionOutput +
      (m.macroNestingDepth > 0 ? s.outputTextBytes - m.outputAtExpansionStart : 0);
  const uint64_t work =
      m.expandedBytes + m.expansionSteps +
      (m.macroNestingDepth > 0 ? s.evaluationSteps - m.stepsAtExpansionStart : 0);
  const uint64_t call = ++m.callsChecked;
  bool overWork;
  if (pass == 2) {
    overWork = (m.firstCallOverWork != 0 && call >= m.firstCallOverWork) ||
               work >= 2 * kMaxExpansionWork;
  } else {
    overWork = work >= kMaxExpansionWork;
    if (overWork && m.firstCallOverWork == 0) m.firstCallOverWork = call;
  }
  if (m.macroNestingDepth >= kMaxMacroNesting || m.expandedLines >= kMaxExpandedLines ||
      m.expandedBytes >= kMaxExpandedBytes || output >= kMaxExpandedBytes || overWork) {
    dropIllegalOpcode(run, pass);
    if (pass == 2)
      raiseError(run,
                 m.macroNestingDepth >= kMaxMacroNesting ? kErrMacroTooDeep : kErrMacroTooLong);
    return resultMacroTooDeep;
  }

  // Moved out and back rather than copied: a runaway makes a million calls.
  ArgumentSet saved{std::move(record().arguments), record().argumentCount,
                    record().currentExpansion};
  const int32_t savedContext = s.macroContext;
  record().arguments = {};
  // Fields 2 and on are the arguments; the slots keep the first 17 (a 33rd field of the
  // splitter holds nothing).
  const int lastField = fieldCount < kMaxFields ? fieldCount : kMaxFields;
  int16_t count = 0;
  for (int f = 2; f <= lastField; ++f, ++count) {
    if (static_cast<size_t>(count) < kParameterSlots)
      record().arguments[static_cast<size_t>(count)] = s.field[static_cast<size_t>(f)];
  }
  record().argumentCount = count;
  record().currentExpansion = ++record().expansionCount;

  if (++m.macroNestingDepth == 1) {
    m.outputAtExpansionStart = s.outputTextBytes;
    m.stepsAtExpansionStart = s.evaluationSteps;
  }
  dropIllegalOpcode(run, pass);
  if (pass == 2) {
    // The call line's own diagnostics follow it, before the body's lines.
    writeListingLine(run, line, lineNumber, 0);
    flushLineDiagnostics(run, lineNumber);
    const char* name = record().name.c_str();
    if (FILE* listing = run.files.listing)
      std::fprintf(listing, "%s;*** CALL MACRO : %s ***\n%s", kFrameLine, name, kFrameLine);
    s.listingLineCount += 3;
    s.outputTextBytes += 2 * std::strlen(kFrameLine) + std::strlen(name) + 23;
  }
  m.macroDefinitionFile = record().definitionFile;
  m.expansionFrames.push_back(ExpansionFrame{index, 0});
  observeExpansionStart(run, index);

  // The call line's diagnostics may have reached the error bound.
  bool fatal = s.fatalError != 0;
  std::string buffer;  // one for the body's lines, so that it keeps its storage
  for (size_t k = 0; !fatal && k < record().body.size(); ++k) {
    if (observerStopsRun(run)) {
      fatal = true;
      break;
    }
    buffer = record().body[k].text;
    const uint16_t bodyLine = record().body[k].lineNumber;
    m.expansionFrames.back().bodyLine = bodyLine;
    const int mismatch = substituteParameters(run, buffer, index, pass);
    if (mismatch != 0) {
      // A line too long for its arguments is reported also in a branch that is off: the
      // rest of the body is dropped here either way.
      if (pass == 2 && (s.macroAssemblingOn || mismatch == kErrLineTooLong))
        raiseError(run, mismatch);
      break;
    }
    observeExpansionLine(run, k, buffer);
    ++m.expandedLines;
    m.expandedBytes += buffer.size();
    s.pass = pass;
    const bool assemblingBefore = s.macroAssemblingOn != 0;
    const bool statements = observingStatements(run);
    StatementStart start;
    if (statements) start = startStatement(run, true);
    const int r = processStatement(run, buffer, pass, bodyLine, static_cast<int32_t>(index));
    // The statements are told of without the body line the listing shows after them.
    const std::string toldText =
        statements ? buffer.substr(0, m.substitutedLength) : std::string();
    if (statements && r != resultUnknownMnemonic)
      observeStatement(run, start, record().headFile, bodyLine, toldText, false);
    // A line that was assembled, or that switched assembling on (ELSEIF), and took a
    // parameter inside a word; before a nested call, so that it stays with this line. The
    // word is quoted first: an editor marks the first name its message quotes.
    if (!m.wordParameter.empty()) {
      if (assemblingBefore || s.macroAssemblingOn)
        raiseWarningNoted(run, kWarnParameterInWord,
                          "macro parameter replaced inside the word '%s' (parameter '%s'), "
                          "giving '%s'",
                          m.parameterWord.c_str(), m.wordParameter.c_str(),
                          m.parameterWordResult.c_str());
      m.wordParameter.clear();
    }
    if (r == resultFatal || s.fatalError) {
      fatal = true;
      break;
    }
    if (r >= 0) {
      if (pass == 2) {
        // Data directives and nested calls have listed themselves.
        const bool listed =
            r == resultMacroDone || r == resultListedDirective || r == resultListedTable;
        if (!listed) writeListingLine(run, buffer, lineNumber, r == resultExitMacro ? 0 : r);
        flushLineDiagnostics(run, lineNumber);
      }
    } else if (r == resultUnknownMnemonic) {
      // A call inside the body: it keeps the conditional flag of this expansion.
      const std::string definitionFile = m.macroDefinitionFile;
      const int32_t assemblingOn = s.macroAssemblingOn;
      const int nested = expandMacro(run, buffer, pass, lineNumber, s.lastFieldCount);
      m.macroDefinitionFile = definitionFile;
      s.macroAssemblingOn = assemblingOn;
      if (statements)
        observeStatement(run, start, record().headFile, bodyLine, toldText, nested >= 0);
      if (nested == resultFatal || s.fatalError) {
        fatal = true;
        break;
      }
      if (pass == 2) {
        if (nested < 0) {
          listBodyLine(run, buffer, lineNumber, nested, nested != resultMacroTooDeep);
        } else {
          flushLineDiagnostics(run, lineNumber);
        }
      }
    } else if (pass == 2) {
      listBodyLine(run, buffer, lineNumber, r, true);
    }
    // The line's diagnostics reached the error bound.
    if (s.fatalError) {
      fatal = true;
      break;
    }
    if (r == resultExitMacro) break;
    ++s.passLineCount;
  }

  // The outer expansion of a macro that called itself gets its own arguments back.
  record().arguments = std::move(saved.arguments);
  record().argumentCount = saved.argumentCount;
  record().currentExpansion = saved.expansion;
  if (--m.macroNestingDepth == 0) {
    m.expansionOutput += s.outputTextBytes - m.outputAtExpansionStart;
    m.expansionSteps += s.evaluationSteps - m.stepsAtExpansionStart;
  }
  observeExpansionEnd(run);
  m.expansionFrames.pop_back();
  s.macroContext = savedContext;
  return fatal ? resultFatal : resultMacroDone;
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

int isMacroLocalName(const AssemblerRun& run, std::string_view name) {
  int context = run.source.macroContext;
  if (context < 0 || static_cast<size_t>(context) >= run.macros.macroTable.size()) return 0;
  for (const std::string& local :
       run.macros.macroTable[static_cast<size_t>(context)].localLabelNames)
    if (local == name) return 1;
  return 0;
}

void addLocalLabel(AssemblerRun& run, std::string_view name, uint32_t lineNumber) {
  SourceState& s = run.source;
  MacroRecord* macro = currentMacro(run);
  if (macro == nullptr) return;
  const std::string_view cut = name.substr(0, kMaxSymbolName);
  NameIndex& firstByName = macro->firstLocalByName;
  if (firstByName.empty() && firstByName.foldCase() != !s.labelCaseSensitive)
    firstByName.reset(!s.labelCaseSensitive);
  // A duplicate is an earlier node of this macro with the same name, made on the line
  // being processed (16-bit line numbers, as the nodes keep them).
  const int32_t first = firstByName.find(cut);
  const bool duplicate =
      first >= 0 && macro->localNameAndLine.contains(nameAndLineKey(first, s.currentLineNumber));
  const auto index = static_cast<int32_t>(macro->localLabels.size());
  try {
    LabelNode node = makeLabelNode(s, cut, lineNumber, duplicate);
    node.expansion = macro->currentExpansion;
    macro->localLabels.push_back(std::move(node));
    const int32_t firstOfName = firstByName.insert(cut, index);
    appendToChain(macro->localLabelsByExpansion, macro->nextOfExpansion, macro->currentExpansion,
                  index);
    macro->localNameAndLine.insert(nameAndLineKey(firstOfName, lineNumber), true);
  } catch (const std::bad_alloc&) {
    // A library may not end its host: the run stops on its fatal path instead.
    reportFatal(run, MessageOwner::kActiveWindow, "Macro LabelTab: ptr1->next==NULL");
    return;
  }
  ++macro->localLabelCount;
}

int32_t firstLocalLabelOfExpansion(const MacroRecord& macro) {
  const SequenceChain* chain = macro.localLabelsByExpansion.find(macro.currentExpansion);
  return chain == nullptr ? -1 : chain->first;
}

LabelNode* findLocalLabel(AssemblerRun& run, std::string_view name) {
  MacroRecord* macro = currentMacro(run);
  if (macro == nullptr) return nullptr;
  for (int32_t i = firstLocalLabelOfExpansion(*macro);
       i >= 0 && static_cast<size_t>(i) < macro->localLabels.size();
       i = nextInChain(macro->nextOfExpansion, i)) {
    LabelNode& node = macro->localLabels[static_cast<size_t>(i)];
    if (labelNamesEqual(run, node.name, name)) return &node;
  }
  return nullptr;
}

}  // namespace zq
