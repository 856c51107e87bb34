// Label table: labels are recorded in pass 1 and checked in pass 2 by defineLabel;
// branch-target operands resolve them through findLabel (first definition wins).
#ifndef ZQASM_SYMBOLS_LABEL_TABLE_H_
#define ZQASM_SYMBOLS_LABEL_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zq {

struct AssemblerRun;

constexpr int kMaxLabels = 8192;
constexpr size_t kMaxSymbolName = 64;

struct LabelNode {
  std::string name;  // at most 64 characters
  uint16_t lineNumber = 0;
  uint16_t sequence = 0;  // passLineCount when defined (low 16 bits)
  uint32_t address = 0;   // statementAddress of the defining statement
  uint8_t duplicate = 0;  // an earlier node of the same table has the same name
  uint8_t level = 0;      // includeLevel of the defining line
  uint16_t used = 0;      // macro-local node found in pass 2
  uint32_t expansion = 0;  // macro-local node: ordinal (in its pass) of the expansion
                           // of its macro that made it
};

struct LabelTable {
  std::vector<LabelNode> nodes;  // global labels in definition order
  int32_t count = 0;
  std::string lastLabelName;  // full name of the label added by this statement
  // Index beside the list: name key (folded unless case-sensitive) to the first node.
  std::unordered_map<std::string, size_t> firstByName;
  // Nodes per sequence number, for the pass-2 check of the defining line.
  std::unordered_map<uint16_t, std::vector<size_t>> bySequence;
  // Name key and defining line number (low 16 bits) of every node, for the duplicate
  // test of labels defined while a macro is expanded.
  std::unordered_set<std::string> byNameAndLine;
};

// Returns 1 (label), 0 (no label), -1 (no label processing), resultNotLabel,
// resultEndOfSource or resultFatal. `afterLabel` receives the index behind the name.
int defineLabel(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                size_t& afterLabel, int macroContext);
// Address of the label or -1. In pass 2 a macro-local node that is found gets used = 1.
// The indexes are valid until the label listing sorts the nodes after the passes.
int findLabel(AssemblerRun& run, const std::string& name);
// Key of a name and a line number (low 16 bits) in the duplicate indexes: the name folded
// to upper case unless names are case-sensitive.
std::string labelLineKey(const AssemblerRun& run, const std::string& name, uint32_t line);
// Empties the global table and its indexes (start of a run, end of a run).
void freeLabelList(LabelTable& table);
// 0 when valid, 1 otherwise.
int isValidSymbolName(const std::string& name);
// Compares two label names under the label-case option.
bool labelNamesEqual(const AssemblerRun& run, const std::string& a, const std::string& b);

}  // namespace zq

#endif  // ZQASM_SYMBOLS_LABEL_TABLE_H_
