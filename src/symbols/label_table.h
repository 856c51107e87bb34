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

namespace zq {

struct AssemblerRun;
struct LineScan;
struct SourceState;

constexpr int kMaxLabels = 8192;
constexpr size_t kMaxSymbolName = 64;

struct LabelNode {
  std::string name;  // at most 64 characters
  uint16_t lineNumber = 0;
  uint16_t sequence = 0;   // passLineCount when defined (low 16 bits)
  uint32_t address = 0;    // statementAddress of the defining statement
  uint8_t duplicate = 0;   // an earlier node of the same table has the same name
  uint8_t level = 0;       // includeLevel of the defining line
  uint16_t used = 0;       // macro-local node found in pass 2
  uint32_t expansion = 0;  // macro-local node: ordinal (in its pass) of the expansion
                           // of its macro that made it
};

// First and last node of one 16-bit sequence number, chained through nextSameSequence.
struct SequenceChain {
  int32_t first = -1;
  int32_t last = -1;
};

struct LabelTable {
  std::vector<LabelNode> nodes;  // global labels in definition order
  int32_t count = 0;
  int32_t lastLabelNode = -1;  // the node added by this statement, or -1
  // Indexes beside the list, filled in pass 1 with each node; none builds a string.
  // The first node per name (folded unless names are case-sensitive),
  NameIndex firstByName;
  // the nodes of each sequence number in list order, for the pass-2 check of the line
  // that made them (-1 ends a chain),
  IntegerMap<SequenceChain> bySequence;
  std::vector<int32_t> nextSameSequence;
  // and, for the duplicate test of labels defined while a macro is expanded, every name
  // with the 16-bit line numbers of its nodes: nameAndLineKey of the name's first node.
  IntegerMap<bool> byNameAndLine;
  // Per node: the first node of its name, and 1 when it is the first node of a name that
  // a later node has again. Only such names can be reported as duplicates, so only
  // theirs need their place noted.
  std::vector<int32_t> firstOfName;
  std::vector<uint8_t> nameRepeated;

  // The name of the label added by this statement (cut as its node keeps it), or empty.
  std::string_view lastLabelName() const {
    if (lastLabelNode < 0 || static_cast<size_t>(lastLabelNode) >= nodes.size()) return {};
    return nodes[static_cast<size_t>(lastLabelNode)].name;
  }
};

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
