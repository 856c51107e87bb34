// Label table. The global list keeps definition order (the label listing and the
// "first definition wins" rule depend on it); the indexes beside it keep the lookups and
// the pass-2 check of a line independent of the number of labels, and none of them
// builds a string per label.
#include "symbols/label_table.h"

#include <cstdio>
#include <new>

#include "chip/chip_file.h"
#include "directives/macro_state.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "services/run_observer.h"
#include "source/line_scan.h"
#include "source/source_state.h"
#include "symbols/local_labels.h"

namespace zq {

namespace {

constexpr int kErrorIllegalSymbol = 0;
constexpr int kErrorDuplicateLabel = 5;
constexpr int kErrorLabelMoved = 26;

bool folded(const AssemblerRun& run) { return !run.source.labelCaseSensitive; }

bool expandingMacro(const AssemblerRun& run) { return run.source.macroContext >= 0; }

// The macro being expanded, or nullptr when the context does not name a macro of the
// table.
MacroRecord* currentMacroRecord(AssemblerRun& run) {
  int context = run.source.macroContext;
  if (context < 0 || static_cast<size_t>(context) >= run.macros.macroTable.size()) return nullptr;
  return &run.macros.macroTable[static_cast<size_t>(context)];
}

bool startsSymbol(char c) { return isLetter(c) || c == '?' || c == '_'; }

// Pass 1: a new node at the end of the global list. 1, or resultFatal (table full, or no
// memory: a label dropped would leave the program wrong without an error).
int addGlobalLabel(AssemblerRun& run, std::string_view word, uint32_t lineNumber) {
  LabelTable& table = run.labels;
  SourceState& s = run.source;
  if (table.count + 1 > kMaxLabels)
    return reportFatal(run, MessageOwner::kActiveWindow, "Label quantities can't great than %d ",
                       kMaxLabels);
  const std::string_view cut = word.substr(0, kMaxSymbolName);
  if (table.firstByName.empty() && table.firstByName.foldCase() != folded(run))
    table.firstByName.reset(folded(run));
  const auto index = static_cast<int32_t>(table.nodes.size());
  try {
    // The first node of the name: this one when the name is new. The duplicate test
    // compares the cut names, so two long names that agree in their first 64 characters
    // are duplicates. While a macro is expanded only a node of the line being processed
    // counts.
    const int32_t firstOfName = table.firstByName.insert(cut, index);
    bool duplicate = firstOfName != index;
    if (duplicate && expandingMacro(run))
      duplicate = table.byNameAndLine.contains(nameAndLineKey(firstOfName, s.currentLineNumber));
    table.nodes.push_back(makeLabelNode(s, cut, lineNumber, duplicate));
    // One entry per node, in node order (the vectors grow with the node list).
    table.firstOfName.resize(static_cast<size_t>(index), -1);
    table.nameRepeated.resize(static_cast<size_t>(index), 0);
    table.firstOfName.push_back(firstOfName);
    table.nameRepeated.push_back(0);
    if (firstOfName != index && static_cast<size_t>(firstOfName) < table.nameRepeated.size())
      table.nameRepeated[static_cast<size_t>(firstOfName)] = 1;
    appendToChain(table.bySequence, table.nextSameSequence, table.nodes.back().sequence, index);
    table.byNameAndLine.insert(nameAndLineKey(firstOfName, lineNumber), true);
    table.lastLabelNode = index;
  } catch (const std::bad_alloc&) {
    // Index entries already made for the node are ignored by the lookups' range checks.
    if (table.nodes.size() > static_cast<size_t>(index)) table.nodes.pop_back();
    return reportFatal(run, MessageOwner::kActiveWindow, "LabelTab: ptr1->next==NULL");
  }
  ++table.count;
  return 1;
}

// True when pass 1 made more than one node of the name (cut as the nodes keep it).
// `node` is a node of that name when the caller knows one, else -1.
bool repeatedName(const LabelTable& table, std::string_view word, int32_t node) {
  int32_t first = -1;
  if (node >= 0 && static_cast<size_t>(node) < table.firstOfName.size()) {
    first = table.firstOfName[static_cast<size_t>(node)];
  } else {
    first = table.firstByName.find(word.substr(0, kMaxSymbolName));
  }
  return first >= 0 && static_cast<size_t>(first) < table.nameRepeated.size() &&
         table.nameRepeated[static_cast<size_t>(first)] != 0;
}

// Pass 2: checks the nodes that this same line created in pass 1 (same sequence).
// True when the node has the name `word`.
bool checkNode(AssemblerRun& run, const LabelNode& node, std::string_view word, bool local) {
  const SourceState& s = run.source;
  if (node.sequence != static_cast<uint16_t>(s.passLineCount)) return false;
  bool sameName = labelNamesEqual(run, node.name, word);
  if (node.duplicate == 1 && node.level == static_cast<uint8_t>(s.includeLevel)) {
    if (sameName && !local) raiseError(run, kErrorDuplicateLabel);
    if (sameName && !local)
      noteDuplicate(run, kErrorDuplicateLabel, "label", 'L', std::string(word), folded(run));
    return sameName;
  }
  uint32_t address = static_cast<uint32_t>(s.statementAddress);
  if (sameName && node.address != address) {
    std::printf("ERR: %lx, %lx\n", static_cast<unsigned long>(node.address),
                static_cast<unsigned long>(address));
    raiseError(run, kErrorLabelMoved);
  }
  return sameName;
}

// Pass 2 check of the label `word` against the table it went into in pass 1. Raises
// error 5 or 26. Returns a global node of the name that this line made, or -1.
int32_t checkLabel(AssemblerRun& run, std::string_view word, bool local) {
  if (local) {
    MacroRecord* macro = currentMacroRecord(run);
    if (macro == nullptr) return -1;
    // Only the nodes of the expansion in progress: sequence numbers are 16 bits and come
    // round again after 65,536 lines, expanded ones included.
    const std::vector<LabelNode>& list = macro->localLabels;
    for (int32_t i = firstLocalLabelOfExpansion(*macro);
         i >= 0 && static_cast<size_t>(i) < list.size(); i = nextInChain(macro->nextOfExpansion, i))
      checkNode(run, list[static_cast<size_t>(i)], word, true);
    return -1;
  }
  const LabelTable& table = run.labels;
  const SequenceChain* chain =
      table.bySequence.find(static_cast<uint16_t>(run.source.passLineCount));
  if (chain == nullptr) return -1;
  int32_t named = -1;
  for (int32_t i = chain->first; i >= 0 && static_cast<size_t>(i) < table.nodes.size();
       i = nextInChain(table.nextSameSequence, i)) {
    if (checkNode(run, table.nodes[static_cast<size_t>(i)], word, false) && named < 0) named = i;
  }
  return named;
}

}  // namespace

int defineLabel(AssemblerRun& run, const std::string& line, int pass, uint32_t lineNumber,
                size_t& afterLabel, int macroContext) {
  return defineLabel(run, scanLine(line), pass, lineNumber, afterLabel, macroContext);
}

int defineLabel(AssemblerRun& run, const LineScan& scan, int pass, uint32_t lineNumber,
                size_t& afterLabel, int macroContext) {
  SourceState& s = run.source;
  if (s.tableSegmentOpen || s.dataSegmentOpen) return -1;
  run.labels.lastLabelNode = -1;

  // The first word ends at a colon, a comment, a blank or the line end; only the colon
  // form may be indented.
  const std::string& line = *scan.line;
  const size_t end = scan.wordEnd;
  if (end == scan.firstNonBlank) return 0;
  const std::string_view word = scan.word();
  const bool colonForm = scan.colonForm;

  if (equalsNoCase(word, "END") || equalsNoCase(word, ".END")) return resultEndOfSource;
  if (word[0] == '#' || word[0] == '.') return -1;
  if (!colonForm) {
    if (!s.macroDefinitionOpen && isMnemonic(run, word)) return resultNotLabel;
    // Without a colon a label must start in the first column of the line.
    if (!startsSymbol(line[0])) return 0;
  }
  if (isValidSymbolName(word) != 0) {
    if (pass == 2) raiseError(run, kErrorIllegalSymbol);
    return -1;
  }
  afterLabel = end;

  // Skipped conditional blocks and macro bodies are passed over: the statement goes on
  // behind the name, nothing is recorded.
  if (!s.conditionOn() || s.macroDefinitionOpen) return 1;
  bool local = macroContext >= 0 && isMacroLocalName(run, word) == 1;

  if (pass == 1) {
    if (local) {
      addLocalLabel(run, word, lineNumber);
      return 1;
    }
    return addGlobalLabel(run, word, lineNumber);
  }
  // Pass 2 only checks against what pass 1 recorded; pass 0 never reaches here.
  if (pass != 2) return 1;
  const int32_t node = checkLabel(run, word, local);
  if (!local && observingDiagnostics() && repeatedName(run.labels, word, node))
    recordDefinition(run, 'L', word, folded(run), lineNumber);
  observeDefinition(run, local ? ZQASM_SYMBOL_LOCAL_LABEL : ZQASM_SYMBOL_LABEL, word,
                    s.statementAddress);
  return 1;
}

LabelNode makeLabelNode(const SourceState& s, std::string_view cut, uint32_t lineNumber,
                        bool duplicate) {
  LabelNode node;
  node.name.assign(cut.data(), cut.size());
  node.lineNumber = static_cast<uint16_t>(lineNumber);
  node.sequence = static_cast<uint16_t>(s.passLineCount);
  node.address = static_cast<uint32_t>(s.statementAddress);
  node.level = static_cast<uint8_t>(s.includeLevel);
  node.duplicate = duplicate ? 1 : 0;
  return node;
}

int findLabel(AssemblerRun& run, std::string_view name) {
  if (expandingMacro(run) && isMacroLocalName(run, name) == 1) {
    // The label of this very expansion: the k-th expansion of pass 2 reads the node of
    // the k-th expansion of pass 1, whether or not the earlier ones used their labels.
    LabelNode* node = findLocalLabel(run, name);
    if (node == nullptr) return -1;
    if (run.source.pass == 2) node->used = 1;
    return static_cast<int>(node->address);
  }
  // Stored names are cut to 64 characters and compared with the name as written, so a
  // longer name never matches.
  if (name.size() > kMaxSymbolName) return -1;
  const int32_t found = run.labels.firstByName.find(name);
  if (found < 0 || static_cast<size_t>(found) >= run.labels.nodes.size()) return -1;
  const LabelNode& node = run.labels.nodes[static_cast<size_t>(found)];
  return labelNamesEqual(run, node.name, name) ? static_cast<int>(node.address) : -1;
}

void appendToChain(IntegerMap<SequenceChain>& chains, std::vector<int32_t>& next, uint64_t key,
                   int32_t index) {
  if (next.size() == static_cast<size_t>(index)) {
    next.push_back(-1);
  } else if (next.size() < static_cast<size_t>(index)) {
    next.resize(static_cast<size_t>(index) + 1, -1);
  }
  SequenceChain& chain = chains.insert(key, SequenceChain{});
  if (chain.last >= 0 && static_cast<size_t>(chain.last) < next.size()) {
    next[static_cast<size_t>(chain.last)] = index;
  } else {
    chain.first = index;
  }
  chain.last = index;
}

namespace {

// Characters of a symbol name after its first: letters, digits, "_" and "\\".
struct SymbolCharacters {
  bool allowed[256] = {};
  constexpr SymbolCharacters() : allowed() {
    for (int c = 0; c < 256; ++c)
      allowed[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '\\';
  }
};
constexpr SymbolCharacters kSymbolCharacters;

}  // namespace

int isValidSymbolName(std::string_view name) {
  if (name.empty() || !startsSymbol(name[0])) return 1;
  for (size_t i = 1; i < name.size(); ++i)
    if (!kSymbolCharacters.allowed[static_cast<unsigned char>(name[i])]) return 1;
  return 0;
}

bool labelNamesEqual(const AssemblerRun& run, std::string_view a, std::string_view b) {
  // Names are mostly written alike, which one compare of the bytes settles.
  return a == b || (!run.source.labelCaseSensitive && equalsNoCase(a, b));
}

void freeLabelList(LabelTable& table) {
  table.nodes.clear();
  table.count = 0;
  table.lastLabelNode = -1;
  table.firstByName.clear();
  table.bySequence.clear();
  table.nextSameSequence.clear();
  table.byNameAndLine.clear();
  table.firstOfName.clear();
  table.nameRepeated.clear();
}

}  // namespace zq
