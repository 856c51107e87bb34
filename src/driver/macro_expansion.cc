// Expansion of a macro call: each body line of the macro substituted and routed like a
// source line, with its own line number for labels and the call's line number in the
// listing and the error file.
#include "driver/macro_expansion.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "directives/macro.h"
#include "driver/statement.h"
#include "services/diagnostics.h"
#include "services/listing.h"
#include "services/run.h"
#include "services/run_observer.h"

namespace zq {

namespace {

constexpr int kErrIllegalOpcode = 1;
constexpr int kErrOperand = 6;
constexpr int kErrDefinedLater = 29;
constexpr int kErrLineTooLong = 67;
constexpr int kErrMacroTooDeep = 69;
constexpr int kErrMacroTooLong = 70;

const char* const kFrameLine = ";****************************************\n";

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

}  // namespace zq
