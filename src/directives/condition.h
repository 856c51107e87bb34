// Conditional assembly: the two condition stacks (lines of files, lines of macro
// expansions) and the IF-family handlers that switch assembling on and off.
#ifndef ZQASM_DIRECTIVES_CONDITION_H_
#define ZQASM_DIRECTIVES_CONDITION_H_

#include <array>
#include <cstdint>
#include <string>

namespace zq {

struct AssemblerRun;

struct ConditionStack {
  int16_t depth = 0;                // open conditionals, at most 21
  std::array<uint8_t, 23> states{}; // last condition evaluated per level 1..21
};

struct ConditionState {
  ConditionStack sourceConditions;  // its active flag is SourceState::assemblingOn
  ConditionStack macroConditions;   // its active flag is SourceState::macroAssemblingOn
};

// Handles IF, IFDEF, IFNDEF, IFSAME, IFDIFF, IFBLANK, IFNBLANK, ELSE, ELSEIF and ENDIF
// (depth above 0 for the last three) on the stack chosen by macroContext. `arguments` is
// the text from the character that ended the keyword. Returns 0 or resultNotDirective.
int handleConditional(AssemblerRun& run, int code, const std::string& arguments, int pass);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_CONDITION_H_
