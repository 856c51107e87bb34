// The ORG pre-check and the statement router.
#include "driver/statement.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "chip/chip_file.h"
#include "chip/encoder.h"
#include "chip/object_file.h"
#include "directives/directive.h"
#include "directives/macro.h"
#include "directives/segment.h"
#include "platform/nearest_name.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "source/line_fields.h"
#include "source/line_scan.h"
#include "source/numbers.h"
#include "symbols/expression.h"
#include "symbols/label_table.h"

namespace zq {

namespace {

constexpr int kErrorIllegalOpcode = 1;

// Longest ORG operand the check takes; a longer one is refused with error 8.
constexpr size_t kMaxOrgOperand = 183;

// In-bank addresses: banks are 1000h words.
constexpr int32_t kBankSize = 0x1000;

bool endsStatement(char c) { return c == '\n' || c == ';'; }

// The code text of a statement that has made no word yet.
constexpr std::string_view kBlankCodeText = "           ";
static_assert(kBlankCodeText.size() == 11, "eleven blanks");

size_t skipBlanks(const std::string& text, size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

// True when the statement is the BANKCONVERTAREA directive itself, with or without a
// label in front: it moves the area, and must be able to move it away from where the
// location counter stands. The label is passed over as the label handler takes it (a
// word ended by a colon, or a word in the first column).
bool isBankConvertAreaLine(const LineScan& scan) {
  const std::string& line = *scan.line;
  size_t pos = scan.firstNonBlank;
  if (pos < line.size() && line[pos] != '.' && (scan.colonForm || pos == 0)) {
    pos = scan.wordEnd;
    while (pos < line.size() && (isBlank(line[pos]) || line[pos] == ':')) ++pos;
  }
  if (pos >= line.size() || line[pos] != '.') return false;
  size_t end = ++pos;
  while (end < line.size() && !isBlank(line[end]) && line[end] != '\n') ++end;
  return equalsNoCase(line.substr(pos, end - pos), "BANKCONVERTAREA");
}

// The nearest of the chip's mnemonics and the macros to an unknown first word, or for a
// word written with "." or "#" the nearest directive (see mayMakeSuggestion).
std::string suggestMnemonic(AssemblerRun& run, std::string_view word) {
  if (word.empty() || !mayMakeSuggestion(run)) return std::string();
  // ".ORGX" is looked for among the directives, and suggested as written, with its mark.
  if (word[0] == '.' || word[0] == '#') {
    NearestName nearest(word.substr(1));
    for (const DirectiveEntry& entry : directiveTable)
      if (word[0] == '.' || entry.hashAllowed) nearest.offer(entry.keyword);
    // Keywords that lines are read for before the directives.
    nearest.offer("INCLUDE");
    if (word[0] == '.') nearest.offer("ORG");
    return nearest.best().empty() ? std::string() : didYouMean(word[0] + nearest.best());
  }
  NearestName nearest(word);
  const ChipState& chip = run.chip;
  for (int i = 0; i < chip.instructionCount && static_cast<size_t>(i) < chip.opcodes.size(); ++i) {
    const char* mnemonic = chip.opcodes[static_cast<size_t>(i)].mnemonic;
    nearest.offer(std::string_view(mnemonic, strnlen(mnemonic, sizeof chip.opcodes[0].mnemonic)));
  }
  for (const MacroRecord& macro : run.macros.macroTable) nearest.offer(macro.name);
  return didYouMean(nearest.best());
}

// Error 1 for the statement in the fields, with its suggestion. Kept out of the router,
// which runs for every statement, as the rare case it is.
[[gnu::noinline]] void reportUnknownStatement(AssemblerRun& run) {
  raiseError(run, kErrorIllegalOpcode);
  const FieldText& word = run.source.field[1];
  // A macro call loses the error again when it is expanded: no suggestion is spent on it.
  const std::string suggestion =
      callsDefinedMacro(run, word) ? std::string() : suggestMnemonic(run, word);
  noteCulpritAt(run, kErrorIllegalOpcode, word, "illegal opcode '%s'%s", word.c_str(),
                suggestion.c_str());
}

}  // namespace

int checkOrgLine(AssemblerRun& run, const std::string& line, int pass, int& orgError) {
  orgError = 0;
  if (line.empty()) return 0;
  LineScan scan = scanLine(line);
  scan.orgAt = orgKeywordAt(line);
  return checkOrgLine(run, scan, pass, orgError);
}

int checkOrgLine(AssemblerRun& run, const LineScan& scan, int pass, int& orgError) {
  SourceState& s = run.source;
  const std::string& line = *scan.line;
  orgError = 0;
  // "ORG" followed by a blank or tab before any ";"; it may end a longer word.
  const size_t keyword = scan.orgAt;
  if (line.empty() || keyword == LineScan::npos) return 0;
  const size_t keywordEnd = keyword + 3;

  size_t start = skipBlanks(line, keywordEnd);
  size_t end = start;
  while (end < line.size() && !endsStatement(line[end]) && !isBlank(line[end])) ++end;
  std::string operand = line.substr(start, end - start);

  auto refuse = [&]() {
    if (pass == 2) {
      orgError = 8;
      raiseError(run, 8);
    }
  };

  // A label or anything else beside ORG and its operand is an error, but the address
  // is still taken.
  const int count = splitFields(s, line, 0);
  reportFieldCut(run, pass);
  if (count != 2) refuse();
  if (operand.empty() || operand.size() > kMaxOrgOperand) {
    refuse();
    return resultOrgLine;
  }

  // Only an operand with an operator goes to the evaluator; a plain one is read as a
  // single number, so a bare symbol is refused.
  bool hasOperator = false;
  for (char c : operand) hasOperator = hasOperator || isOperatorChar(c);
  // The trap warnings 7 to 9 are checked where the host asked for them, and raised once
  // the address is taken (0 to the ROM top).
  std::optional<OperandFindings> findings;
  if (s.operandChecks && pass == 2) findings.emplace();
  int value;
  if (hasOperator) {
    value = findings ? evaluateExpressionChecked(run, operand, kClassValue, *findings)
                     : evaluateExpression(run, operand, kClassValue);
  } else {
    value = parseNumber(operand, static_cast<int>(operand.size()) - 1);
    if (findings && value >= 0) checkPlainNumber(operand, *findings);
  }
  if (value < 0 || value > s.programRomTop) {
    refuse();
    if (pass == 2 && value > s.programRomTop)
      noteCulpritAt(run, 8, operand, "origin %s beyond the ROM top %s",
                  hexNumberText(static_cast<uint32_t>(value)).c_str(),
                  hexNumberText(static_cast<uint32_t>(s.programRomTop)).c_str());
    return resultOrgLine;
  }

  if (findings) raiseOperandFindings(run, *findings, false);
  s.locationCounter = value;
  if (pass == 2) observePlacement(run, ZQASM_PLACE_ORIGIN, static_cast<uint32_t>(value), 0);
  // An origin inside code already placed: reported, yet listed with the new address.
  if (pass == 2 && orgAddressUsed(run) == 1) raiseError(run, 23);
  s.lastCodeAddress = value;
  ++s.orgCount;
  return resultOrgLine;
}

int processStatement(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                     int macroContext) {
  return processStatement(run, scanLine(line), pass, lineNumber, macroContext);
}

int processStatement(AssemblerRun& run, const LineScan& scan, int pass, uint32_t lineNumber,
                     int macroContext) {
  SourceState& s = run.source;
  const std::string& line = *scan.line;
  s.codeText = kBlankCodeText;
  s.macroContext = macroContext;
  s.currentLineNumber = lineNumber;
  s.statementAddress = s.locationCounter;
  s.lastFieldCount = -1;

  // No statement of any kind may stand in the bank convert area; this comes first. The
  // directive that moves the area is not held there.
  if (s.bankedRom) {
    // The in-bank address, also of a negative counter (its two's complement).
    const int32_t inBank = s.locationCounter & (kBankSize - 1);
    const PersistentSettings& settings = persistentSettings();
    if (inBank >= settings.bankConvertStart && inBank <= settings.bankConvertEnd &&
        !isBankConvertAreaLine(scan)) {
      raiseError(run, 58);
      return -1;
    }
  }

  const size_t firstWord = scan.firstNonBlank;
  if (firstWord >= line.size() || endsStatement(line[firstWord])) return 0;

  size_t afterLabel = firstWord;
  int labelResult = defineLabel(run, scan, pass, lineNumber, afterLabel, macroContext);
  if (labelResult == resultEndOfSource || labelResult == resultFatal) return labelResult;

  // A mnemonic in the first word skips the directive and segment handlers.
  size_t pos = firstWord;
  if (labelResult == resultNotLabel) {
    if (!s.conditionOn()) return 0;
  } else {
    // Pass 1 stores each line of a macro being defined as part of its body.
    if (s.macroDefinitionOpen && pass == 1) appendMacroLine(run, line, lineNumber);
    if (labelResult == 1) {
      pos = afterLabel < line.size() ? afterLabel : line.size();
      while (pos < line.size() && (isBlank(line[pos]) || line[pos] == ':')) ++pos;
    }
    pos = skipBlanks(line, pos);
    if (pos >= line.size() || endsStatement(line[pos])) return 0;

    // END ends the source also where defineLabel does not look (after a label, inside
    // a DATA or TABLE segment).
    // Only a word that opens with "." or "#" can be a directive.
    const int directiveResult = line[pos] == '.' || line[pos] == '#'
                                    ? processDirective(run, line, pos, pass, lineNumber)
                                    : resultNotDirective;
    if (directiveResult >= 0 || directiveResult == resultEndOfSource) return directiveResult;

    // Directives act also in skipped regions; nothing after them does.
    if (!s.conditionOn() || s.macroDefinitionOpen) return 0;

    // Both handlers decline a statement outside their segment.
    if (s.dataSegmentOpen || s.tableSegmentOpen) {
      const std::string statement = line.substr(pos);
      if (defineRamName(run, statement, pass) >= 0) return 0;
      if (defineTableData(run, statement, pass) >= 0) return 0;
    }
  }

  if (s.locationCounter <= s.programRomTop) {
    int fieldCount = 0;
    int result =
        assembleInstruction(run, std::string_view(line).substr(pos), pass, fieldCount, lineNumber);
    // No handler knew the statement. A line of a file that calls a macro loses the error
    // again when the pass loop expands it; a body line is reported by the expansion.
    if (result == resultUnknownMnemonic && pass == 2 && macroContext == -1)
      reportUnknownStatement(run);
    s.lastFieldCount = fieldCount;
    return result;
  }
  // Beyond the ROM: the statement still takes its word, and the listing writer raises
  // error 22 for the result.
  s.outOfRangeAddress = s.locationCounter;
  s.advanceLocationCounter(1);
  return resultRomOverflow;
}

}  // namespace zq
