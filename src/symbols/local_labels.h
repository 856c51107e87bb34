// Macro-local labels: the label nodes of the macro being expanded
// (MacroRecord::localLabels), made afresh by each expansion of it and found only by that
// expansion. The label handler and the label lookup call these for a name of the macro's
// LOCALLABEL list.
#ifndef ZQASM_SYMBOLS_LOCAL_LABELS_H_
#define ZQASM_SYMBOLS_LOCAL_LABELS_H_

#include <cstdint>
#include <string_view>

namespace zq {

struct AssemblerRun;
struct LabelNode;
struct MacroRecord;

// 1 when a macro is being expanded and `name` is one of its LOCALLABEL names.
int isMacroLocalName(const AssemblerRun& run, std::string_view name);
// Adds a macro-local label node (pass 1). Out of memory takes the fatal path.
void addLocalLabel(AssemblerRun& run, std::string_view name, uint32_t lineNumber);
// Index into macro.localLabels of the first node made by the expansion in progress (the
// one with its ordinal), or -1; the others follow through nextOfExpansion in list order.
int32_t firstLocalLabelOfExpansion(const MacroRecord& macro);
// The node named `name` made by the expansion in progress, or nullptr.
LabelNode* findLocalLabel(AssemblerRun& run, std::string_view name);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_LOCAL_LABELS_H_
