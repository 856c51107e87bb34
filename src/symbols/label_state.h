// The label table's records: the label nodes of the global list and of each macro's
// local labels, and the table with its indexes. Pass 1 fills them through label_table.h;
// the run object holds the table, each macro record its local nodes.
#ifndef ZQASM_SYMBOLS_LABEL_STATE_H_
#define ZQASM_SYMBOLS_LABEL_STATE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/flat_index.h"

namespace zq {

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

}  // namespace zq

#endif  // ZQASM_SYMBOLS_LABEL_STATE_H_
