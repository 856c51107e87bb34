// The trap warnings as the programs of tools/ offer them: their names (as
// ZqasmSetWarnings takes them), a set of them as one bit per name, and the lists that
// -W options and configuration files write.
#ifndef ZQASM_TOOLS_COMMON_TRAP_WARNINGS_H_
#define ZQASM_TOOLS_COMMON_TRAP_WARNINGS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/diagnostics.h"

namespace zqcli {

// The library's list, in the order of their numbers; bit k of a set stands for
// kTrapWarningNames[k].
constexpr size_t kTrapWarningCount = zq::kTrapWarningCount;
using zq::kTrapWarningNames;
constexpr uint32_t kAllTrapWarnings = (1u << kTrapWarningCount) - 1;

// The bit of the warning called `name`, or 0 for no such warning.
uint32_t trapWarningBit(const std::string& name);

// Reads "all", "none", or a comma-separated list of names (blanks around names are
// ignored) into `bits`. False, with the first name that is no warning in `unknown`, when
// the list names one; `bits` is then unchanged.
bool parseTrapWarnings(const std::string& text, uint32_t& bits, std::string& unknown);

// The set as ZqasmSetWarnings takes it: the names joined by commas, "" for none.
std::string trapWarningList(uint32_t bits);

// "unknown warning 'NAME'; the warnings are ...": the message for a name that is none.
std::string unknownTrapWarning(const std::string& name);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_COMMON_TRAP_WARNINGS_H_
