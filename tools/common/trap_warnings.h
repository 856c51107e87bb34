// The trap warnings as the programs of tools/ offer them: their names (as
// ZqasmSetWarnings takes them), a set of them as one bit per name, and the lists that
// -W options and configuration files write.
#ifndef ZQASM_TOOLS_COMMON_TRAP_WARNINGS_H_
#define ZQASM_TOOLS_COMMON_TRAP_WARNINGS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "services/diagnostics.h"

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

// Every warning of the library, as the command line's -W options name them. A set of
// them is one bit per warning number; those below kFirstTrapWarning are on by default.
constexpr size_t kWarningCount = zq::kWarningTextCount;
constexpr uint32_t kAllWarnings = (1u << kWarningCount) - 1;
constexpr uint32_t kDefaultWarnings = (1u << zq::kFirstTrapWarning) - 1;

// The number of the warning called `name`, or -1.
int warningNumber(const std::string& name);
// The name of warning `number` ("define-redefined"), "" for no such number.
const char* warningName(int number);
// The set `on` as ZqasmSetWarnings takes it: the names on beyond the defaults, "no-NAME"
// for each default one off; "" for the defaults.
std::string warningList(uint32_t on);
// "unknown warning 'NAME'; the warnings are ...", every name listed, `extra` (a name of
// the program's own, may be empty) last.
std::string unknownWarning(const std::string& name, const std::string& extra);

}  // namespace zqcli

#endif  // ZQASM_TOOLS_COMMON_TRAP_WARNINGS_H_
