// Constant table: EQU constants defined in pass 1, checked in pass 2, visible to value
// operands, and reported in the ".EQU" file after the passes.
#ifndef ZQASM_SYMBOLS_CONSTANT_TABLE_H_
#define ZQASM_SYMBOLS_CONSTANT_TABLE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/flat_index.h"

namespace zq {

struct AssemblerRun;

constexpr int kMaxConstants = 4096;

struct ConstantRecord {
  std::string name;        // at most 64 characters
  int32_t value = 0;       // never negative
  int32_t lineNumber = 0;  // line of the definition in its file
  uint8_t duplicate = 0;   // an earlier record has the same name (with case)
  int16_t level = 0;       // includeLevel of the definition
};

struct ConstantTable {
  std::vector<ConstantRecord> records;  // index 0 unused; 1..count in definition order
  int32_t count = 0;
  // Indexes beside the records, valid until the ".EQU" writer sorts them:
  // the first record per name as written and per upper-cased name (the label-case option
  // chooses which one a lookup uses),
  // (the duplicate test always counts case, so it asks the first of them),
  NameIndex firstByName;
  NameIndex firstByFoldedName{true};
  // and the records per defining line number, for the pass-2 check.
  std::unordered_map<int32_t, std::vector<int32_t>> byLine;
};

// Finds the EQU-style keyword in `line`: a "." or the keyword's first letter, not at
// position 0, after a blank or tab; an optional "."; then `keyword` or `longForm` (any
// case) followed by a blank or tab. A ";" ends the search. Shared with DEFSTRING.
bool hasDefinitionKeyword(const std::string& line, const char* keyword, const char* longForm);

// The value field of an EQU or DEFINE: a plain number is read with its radix suffix (a
// malformed one fails silently); anything else goes to the expression evaluator, whose
// failure is reported in pass 2. Returns the value or -1.
int definitionValue(AssemblerRun& run, std::string_view text, int pass);

// Offered every line of passes 1 and 2 that the pass loop pre-checks (keyword "EQU").
// Returns 0 when the line is no definition, resultConstantDefined when it was handled
// (whatever the outcome), resultFatal when the 4,097th constant stops the run. Raises
// errors 11, 20 and the evaluator's errors in pass 2.
int defineConstant(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                   const char* keyword);
// The same for a line known to hold the keyword (the pass loop's line scan found it).
int defineConstantLine(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber);
// Value of the first constant named `name` (compared under the label-case option), or -1.
int findConstant(const AssemblerRun& run, std::string_view name);
// Writes the ".EQU" file and then the label file. Called by the driver after the passes.
void writeConstantFile(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_CONSTANT_TABLE_H_
