// Conditional assembly: the two condition stacks (lines of files, lines of macro
// expansions) and the IF-family handlers that switch assembling on and off. The driver
// clears both stacks before every pass; the directive processor calls handleConditional.
#ifndef ZQASM_DIRECTIVES_CONDITION_H_
#define ZQASM_DIRECTIVES_CONDITION_H_

#include <array>
#include <cstdint>
#include <string>

namespace zq {

struct AssemblerRun;

constexpr int kMaxConditionDepth = 21;  // open conditionals per stack
constexpr size_t kMaxComparisonTerms = 128;

struct ConditionStack {
  int16_t depth = 0;  // open conditionals, at most kMaxConditionDepth
  // Per level 1..21 (index 0 unused):
  //   states   - the last condition evaluated at that level (0 or 1);
  //   parentOn - assembling was on when the level was opened; a level opened in a
  //              skipped region stays off through all its branches;
  //   branchOn - the branch in progress is assembled. ENDIF restores the enclosing
  //              level's branchOn, so an ELSE branch that is on stays on after an
  //              inner conditional.
  std::array<uint8_t, kMaxConditionDepth + 2> states{};
  std::array<uint8_t, kMaxConditionDepth + 2> parentOn{};
  std::array<uint8_t, kMaxConditionDepth + 2> branchOn{};
  // Where each level was opened (file and line number in it), so that a level still open
  // when the pass ends is reported there. Filled on the stack of file lines only.
  std::array<std::string, kMaxConditionDepth + 2> openFile;
  std::array<uint32_t, kMaxConditionDepth + 2> openLine{};
};

struct ConditionState {
  ConditionStack sourceConditions;  // its active flag is SourceState::assemblingOn
  ConditionStack macroConditions;   // its active flag is SourceState::macroAssemblingOn
};

// Comparison operators of a term; 7 and 8 are the connectors "&&" and "||".
enum ConditionOperator : uint8_t {
  kOpNone = 0,
  kOpGt = 1,
  kOpGe = 2,
  kOpLt = 3,
  kOpLe = 4,
  kOpEq = 5,
  kOpNe = 6,
  kConnectAnd = 7,
  kConnectOr = 8,
};

// One parsed comparison: left operator right, or a lone operand in `left`.
struct ComparisonTerm {
  int32_t rawValue = -1;  // evaluator result of the last operand, -1 when none
  uint32_t left = 0;      // 16-bit operand values; a failed evaluation counts as 0
  uint32_t right = 0;
  uint8_t op = kOpNone;
  uint8_t connector = 0;  // kConnectAnd / kConnectOr towards the next term, 0 after the last
};

// Handles IF, IFDEF, IFNDEF, IFSAME, IFDIFF, IFBLANK, IFNBLANK, ELSE, ELSEIF and ENDIF
// (depth above 0 for the last three) on the stack chosen by macroContext. `arguments` is
// the text from the character that ended the keyword. Returns 0, or resultNotDirective
// for a condition that cannot be evaluated (nothing changes then). Raises error 34 in
// pass 2 for a 22nd open level, error 20 for an ELSEIF whose condition is malformed, and
// the errors of the evaluators below.
int handleConditional(AssemblerRun& run, int code, const std::string& arguments, int pass);

// End of a pass: in pass 2 each level of the file-line stack still open is error 28 at
// the line that opened it, in that line's own file (written at once, outermost first).
// Levels that macro expansions leave open are not reported.
void reportOpenConditionals(AssemblerRun& run, int pass);

// Condition of IF, IFDEF, IFNDEF or ELSEIF (`code`): 0 or 1, -1 when malformed. Inside
// an expansion " .PARAMCOUNT" right after the keyword stands for the argument count. In
// pass 2 an IF or ELSEIF operand draws the trap warnings the host asked for: 5 when it is
// taken as 0 for an undefined symbol, 7 to 9 for its value (9 only in a condition written
// without brackets, which are dropped before the operands are read).
int evaluateCondition(AssemblerRun& run, const std::string& arguments, int code, int pass);
// Parses and evaluates one term (no diagnostics but, with `warn`, the trap warnings of its
// operands as evaluateCondition raises them; `bracketed`: the condition had brackets, so
// no warning 9). 1, or -1 when an operator has no operand before it.
int evaluateComparison(AssemblerRun& run, const std::string& text, ComparisonTerm& term,
                       bool warn = false, bool bracketed = false);
// IFSAME / IFDIFF: 0 or 1; -1, in every pass, for other than two items or an item that
// cannot be evaluated (errors 20, 32 in pass 2).
int compareOperands(AssemblerRun& run, const std::string& arguments, int code, int pass);
// IFBLANK / IFNBLANK: 0 or 1; -1 outside an expansion (errors 54, 55, 56 in pass 2).
int testBlankParameter(AssemblerRun& run, const std::string& arguments, int code, int pass);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_CONDITION_H_
