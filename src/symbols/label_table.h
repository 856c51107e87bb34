// Label table: labels are recorded in pass 1 and checked in pass 2 by defineLabel;
// branch-target operands resolve them through findLabel (first definition wins).
#ifndef ZQASM_SYMBOLS_LABEL_TABLE_H_
#define ZQASM_SYMBOLS_LABEL_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flat_index.h"
#include "symbols/label_state.h"

namespace zq {

struct AssemblerRun;
struct LineScan;
struct SourceState;

// Returns 1 (label), 0 (no label), -1 (no label processing), resultNotLabel,
// resultEndOfSource or resultFatal. `afterLabel` receives the index behind the name.
int defineLabel(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                size_t& afterLabel, int macroContext);
// The same for a line already scanned (the first word is the scan's).
int defineLabel(AssemblerRun& run, const LineScan& scan, int pass, uint32_t lineNumber,
                size_t& afterLabel, int macroContext);
// Address of the label or -1. In pass 2 a macro-local node that is found gets used = 1.
// The indexes are valid until the label listing sorts the nodes after the passes.
int findLabel(AssemblerRun& run, std::string_view name);
// A node for the label `cut` (already cut to 64 characters) defined by the statement
// being processed: its line, sequence number, address and include depth.
LabelNode makeLabelNode(const SourceState& s, std::string_view cut, uint32_t lineNumber,
                        bool duplicate);
// Key of the duplicate indexes: a name, by the index of its first node, and a line number
// (low 16 bits).
inline uint64_t nameAndLineKey(int32_t firstNode, uint32_t line) {
  return static_cast<uint64_t>(static_cast<uint32_t>(firstNode)) << 16 | (line & 0xFFFFu);
}
// The node after `index` in a chain whose links are `next`, or -1.
inline int32_t nextInChain(const std::vector<int32_t>& next, int32_t index) {
  return static_cast<size_t>(index) < next.size() ? next[static_cast<size_t>(index)] : -1;
}
// Appends `index` to the chain of `key`, whose links are in `next`.
void appendToChain(IntegerMap<SequenceChain>& chains, std::vector<int32_t>& next, uint64_t key,
                   int32_t index);
// Empties the global table and its indexes (start of a run, end of a run).
void freeLabelList(LabelTable& table);
// 0 when valid, 1 otherwise.
int isValidSymbolName(std::string_view name);
// Compares two label names under the label-case option.
bool labelNamesEqual(const AssemblerRun& run, std::string_view a, std::string_view b);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_LABEL_TABLE_H_
