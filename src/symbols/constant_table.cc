// EQU constants. Pass 1 fills the table in definition order; pass 2 finds the records a
// line made (by its line number) to report duplicates and to give the listing the value.
#include "symbols/constant_table.h"

#include <algorithm>
#include <cstdio>

#include "platform/output_line.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/output_files.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "source/line_fields.h"
#include "source/line_scan.h"
#include "source/numbers.h"
#include "symbols/expression.h"
#include "symbols/label_table.h"
#include "symbols/symbol_listing.h"

namespace zq {

namespace {

constexpr int kErrorSyntax = 20;
constexpr int kErrorDuplicateConstant = 11;

// Pass 1: enters a record. resultFatal when the table is full.
int enterConstant(AssemblerRun& run, const std::string& name, int32_t value,
                  uint32_t lineNumber) {
  ConstantTable& table = run.constants;
  if (table.count >= kMaxConstants) {
    // The count stays at the capacity, so the ".EQU" writer reads only filled records.
    // The files close after the fatal text is in them.
    reportFatal(run, MessageOwner::kActiveWindow,
                "CONSTANT (%s)\nDefine quantities CAN'T OVER %d ( line=%u )\nCompiler ABORT.\n",
                name.c_str(), kMaxConstants, lineNumber);
    closeOutputFiles(run);
    return resultFatal;
  }
  const int32_t index = ++table.count;
  // Records are made as constants come; record 0 stays unused.
  if (table.records.size() < static_cast<size_t>(index) + 1)
    table.records.resize(static_cast<size_t>(index) + 1);
  ConstantRecord& record = table.records[static_cast<size_t>(index)];
  record.name = name.substr(0, kMaxSymbolName);
  record.value = value;
  record.lineNumber = static_cast<int32_t>(lineNumber);
  // The test compares the stored names with case, whatever the label-case option says.
  record.duplicate = table.firstByName.insert(record.name, index) == index ? 0 : 1;
  record.level = run.source.includeLevel;
  table.firstByFoldedName.insert(record.name, index);
  table.byLine[record.lineNumber].push_back(index);
  return resultConstantDefined;
}

// Pass 2: the records this line number made, in any file. A duplicate of this include
// level is reported; any other gives the listing its value (the last one wins).
void checkConstantLine(AssemblerRun& run, uint32_t lineNumber) {
  const ConstantTable& table = run.constants;
  const auto found = table.byLine.find(static_cast<int32_t>(lineNumber));
  if (found == table.byLine.end()) return;
  for (int32_t index : found->second) {
    const ConstantRecord& record = table.records[static_cast<size_t>(index)];
    if (record.duplicate == 1 && record.level == run.source.includeLevel) {
      raiseError(run, kErrorDuplicateConstant);
      noteDuplicate(run, kErrorDuplicateConstant, "constant", 'C', record.name, false);
    } else {
      run.source.lastConstantValue = static_cast<uint16_t>(record.value);
    }
  }
}

}  // namespace

namespace {

// definitionValue in pass 2 with the trap warnings 7 to 9 asked for: the same value, and
// the warnings of a value that is defined. A constant holds 32 bits, so a whole
// negative number, read as its byte, is one of them.
[[gnu::noinline]] int checkedDefinitionValue(AssemblerRun& run, std::string_view text, int kind) {
  OperandFindings findings;
  int value;
  if (kind == -1 || kind == -100) {
    value = parseNumber(text, static_cast<int>(text.size()) - 1);
    if (value < 0) return -1;
    checkPlainNumber(text, findings);
  } else {
    value = evaluateExpressionChecked(run, text, kClassValue, findings);
    if (value < 0) {
      raiseError(run, -value);
      if (value == -12) noteUndefinedSymbol(run);
      return -1;
    }
  }
  raiseOperandFindings(run, findings, false);
  return value;
}

}  // namespace

int definitionValue(AssemblerRun& run, std::string_view text, int pass) {
  const int kind = classifyOperand(text);
  if (run.source.operandChecks && pass == 2) return checkedDefinitionValue(run, text, kind);
  if (kind == -1 || kind == -100) {
    const int value = parseNumber(text, static_cast<int>(text.size()) - 1);
    return value < 0 ? -1 : value;
  }
  const int value = evaluateExpression(run, text, kClassValue);
  if (value < 0) {
    if (pass == 2) raiseError(run, -value);
    if (pass == 2 && value == -12) noteUndefinedSymbol(run);
    return -1;
  }
  return value;
}

bool hasDefinitionKeyword(const std::string& line, const char* keyword, const char* longForm) {
  // Nothing from the first ";" on counts; the keyword follows a blank or tab.
  for (size_t p = 0; p < line.size() && line[p] != ';'; ++p)
    if (isBlank(line[p]) && definitionKeywordAt(line, p + 1, keyword, longForm)) return true;
  return false;
}

int defineConstant(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                   const char* keyword) {
  if (!hasDefinitionKeyword(line, keyword, "EQUAL")) return 0;
  return defineConstantLine(run, line, pass, lineNumber);
}

int defineConstantLine(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber) {
  SourceState& s = run.source;
  // Name, keyword, value: the value is one word, so "X EQU 1 + 2" has too many fields.
  // A definition with the wrong field count enters nothing.
  const int count = splitFields(s, line, 0);
  reportFieldCut(run, pass);
  if (count != 3) {
    if (pass == 2) raiseError(run, kErrorSyntax);
    return resultConstantDefined;
  }
  std::string value = s.field[3].str();
  replaceCharConstants(value);
  const int evaluated = definitionValue(run, value, pass);
  if (evaluated < 0) return resultConstantDefined;

  if (pass == 1) return enterConstant(run, s.field[1].str(), evaluated, lineNumber);
  if (pass == 2) checkConstantLine(run, lineNumber);
  if (pass == 2) recordDefinition(run, 'C', s.field[1], false, lineNumber);
  if (pass == 2) observeDefinition(run, ZQASM_SYMBOL_CONSTANT, s.field[1], evaluated);
  return resultConstantDefined;
}

int findConstant(const AssemblerRun& run, std::string_view name) {
  const ConstantTable& table = run.constants;
  // Stored names are at most 64 characters, so a longer name is never found.
  if (name.size() > kMaxSymbolName || table.count == 0) return -1;
  const NameIndex& index =
      run.source.labelCaseSensitive ? table.firstByName : table.firstByFoldedName;
  const int32_t found = index.find(name);
  if (found < 0 || static_cast<size_t>(found) >= table.records.size()) return -1;
  return table.records[static_cast<size_t>(found)].value;
}

void writeConstantFile(AssemblerRun& run) {
  sortConstants(run);
  sortLabels(run);
  FILE* out = run.files.wants(kOutputEqu) ? openForWriting(run.files.equName, "w") : nullptr;
  if (out != nullptr) {
    std::fprintf(out, "Line   Constant Name                     Value  Dup  Deep\n");
    std::fprintf(out, "=====  ================================  =====  ===  ====\n");
    const ConstantTable& table = run.constants;
    for (int32_t i = 1; i <= table.count; ++i) {
      const ConstantRecord& record = table.records[static_cast<size_t>(i)];
      // "%5d  %32s  %04lXh  %d    %d\n"
      OutputLine line;
      line.decimal(record.lineNumber, 5).text("  ").rightAligned(record.name, 32).text("  ");
      line.hex(static_cast<unsigned long>(record.value), 4).text("h  ").decimal(record.duplicate);
      line.text("    ").decimal(record.level).text("\n").writeTo(out);
    }
    closeOutputStream(run.files, out, run.files.equName);
  }
  if (run.files.wants(kOutputLbl)) writeLabelFile(run, run.files.lblName);
}

}  // namespace zq
