// Macro-local labels, kept in the record of their macro.
#include "symbols/local_labels.h"

#include <new>
#include <string>
#include <utility>

#include "directives/macro_state.h"
#include "services/diagnostics.h"
#include "services/run.h"
#include "source/source_state.h"
#include "symbols/label_table.h"

namespace zq {

namespace {

// The macro being expanded, or nullptr when the context does not name a macro of the
// table.
MacroRecord* currentMacroRecord(AssemblerRun& run) {
  int context = run.source.macroContext;
  if (context < 0 || static_cast<size_t>(context) >= run.macros.macroTable.size()) return nullptr;
  return &run.macros.macroTable[static_cast<size_t>(context)];
}

}  // namespace

int isMacroLocalName(const AssemblerRun& run, std::string_view name) {
  int context = run.source.macroContext;
  if (context < 0 || static_cast<size_t>(context) >= run.macros.macroTable.size()) return 0;
  for (const std::string& local :
       run.macros.macroTable[static_cast<size_t>(context)].localLabelNames)
    if (local == name) return 1;
  return 0;
}

void addLocalLabel(AssemblerRun& run, std::string_view name, uint32_t lineNumber) {
  SourceState& s = run.source;
  MacroRecord* macro = currentMacroRecord(run);
  if (macro == nullptr) return;
  const std::string_view cut = name.substr(0, kMaxSymbolName);
  NameIndex& firstByName = macro->firstLocalByName;
  if (firstByName.empty() && firstByName.foldCase() != !s.labelCaseSensitive)
    firstByName.reset(!s.labelCaseSensitive);
  // A duplicate is an earlier node of this macro with the same name, made on the line
  // being processed (16-bit line numbers, as the nodes keep them).
  const int32_t first = firstByName.find(cut);
  const bool duplicate =
      first >= 0 && macro->localNameAndLine.contains(nameAndLineKey(first, s.currentLineNumber));
  const auto index = static_cast<int32_t>(macro->localLabels.size());
  try {
    LabelNode node = makeLabelNode(s, cut, lineNumber, duplicate);
    node.expansion = macro->currentExpansion;
    macro->localLabels.push_back(std::move(node));
    const int32_t firstOfName = firstByName.insert(cut, index);
    appendToChain(macro->localLabelsByExpansion, macro->nextOfExpansion, macro->currentExpansion,
                  index);
    macro->localNameAndLine.insert(nameAndLineKey(firstOfName, lineNumber), true);
  } catch (const std::bad_alloc&) {
    // A library may not end its host: the run stops on its fatal path instead.
    reportFatal(run, MessageOwner::kActiveWindow, "Macro LabelTab: ptr1->next==NULL");
    return;
  }
  ++macro->localLabelCount;
}

int32_t firstLocalLabelOfExpansion(const MacroRecord& macro) {
  const SequenceChain* chain = macro.localLabelsByExpansion.find(macro.currentExpansion);
  return chain == nullptr ? -1 : chain->first;
}

LabelNode* findLocalLabel(AssemblerRun& run, std::string_view name) {
  MacroRecord* macro = currentMacroRecord(run);
  if (macro == nullptr) return nullptr;
  for (int32_t i = firstLocalLabelOfExpansion(*macro);
       i >= 0 && static_cast<size_t>(i) < macro->localLabels.size();
       i = nextInChain(macro->nextOfExpansion, i)) {
    LabelNode& node = macro->localLabels[static_cast<size_t>(i)];
    if (labelNamesEqual(run, node.name, name)) return &node;
  }
  return nullptr;
}

}  // namespace zq
