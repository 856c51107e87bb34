// The macro table and the expansions in progress: the records pass 1 fills from the heads
// and bodies, and the limits every expansion is held to. The run object holds one
// MacroState; macro.h has the handlers that fill it, the driver's expansion reads it.
#ifndef ZQASM_DIRECTIVES_MACRO_STATE_H_
#define ZQASM_DIRECTIVES_MACRO_STATE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/flat_index.h"
#include "symbols/label_state.h"

namespace zq {

constexpr size_t kMaxMacros = 256;
constexpr size_t kMaxMacroName = 63;
constexpr size_t kMaxDefinitionFile = 257;
constexpr int kMaxParameters = 16;
constexpr size_t kParameterSlots = 17;  // the 17th parameter slot always stays empty
// Longest parameter name; a longer one is refused on its head (error 3), since a cut
// name would also match the start of longer words.
constexpr size_t kMaxParameterName = 79;
constexpr size_t kMaxLocalLabelNames = 256;
// Expansions in progress at once; a deeper call is refused with error 69, so a macro
// that calls itself ends instead of exhausting the stack.
constexpr int kMaxMacroNesting = 64;
// Body lines and their characters expanded per pass; beyond either bound every call is
// refused with error 70. A macro that calls itself twice per level would otherwise run
// 2^64 lines deep in the limit. The byte bound also holds, in pass 2, for the characters
// that expansions write to the listing and the error file, their diagnostic lines
// included (SourceState::outputTextBytes): a body line of a few characters may list as
// a long one with a warning under it. Pass 2 then refuses a call wherever pass 1 did, and
// perhaps earlier. The bounds are set for runaways: a program that fits the largest ROM
// uses a fraction of them.
constexpr int32_t kMaxExpandedLines = 1000000;
constexpr uint64_t kMaxExpandedBytes = uint64_t{64} << 20;
// The work of the expansions of a pass: their characters and the steps of the expression
// evaluator on their lines (SourceState::evaluationSteps), against one budget; beyond it
// every call is refused with error 70 as well. A body line of a few characters may
// evaluate a long operand twice over (".IF P==P" with a parameter of 127 terms). Pass 2
// refuses the calls from the first one pass 1 refused for it, so that both passes place
// the same lines; on its own it holds pass 2 to twice the budget (its checks of the trap
// warnings evaluate some operands the longer way).
constexpr uint64_t kMaxExpansionWork = uint64_t{64} << 20;

// expandMacro's answer for a call refused by one of the two limits above.
constexpr int resultMacroTooDeep = -9905;

struct MacroLine {
  std::string text;         // the whole source line as read, line feed included
  uint16_t lineNumber = 0;  // its line number in its file
};

struct MacroRecord {
  std::string name;            // up to 63 characters; empty for a head without label
  std::string definitionFile;  // file being read at the head, cut to 257 characters
  std::string headFile;        // the head's own file, whole (for its diagnostics)
  uint32_t headLine = 0;       // the head's line in headFile
  int64_t definitionLine = 0;  // passLineCount at the head
  std::array<std::string, kParameterSlots> parameterNames;  // first empty slot ends them
  std::array<std::string, kParameterSlots> arguments;       // of the expansion in progress
  int16_t argumentCount = 0;  // arguments of the call in progress (all of them, even
                              // those beyond the 17 slots); 0 outside an expansion
  std::vector<MacroLine> body;
  std::vector<LabelNode> localLabels;        // created in pass 1, in definition order
  std::vector<std::string> localLabelNames;  // LOCALLABEL names, at most 256
  int16_t localLabelCount = 0;
  uint16_t tooManyParameters = 0;  // the head named more than 16 parameters
  uint16_t longParameterName = 0;  // a parameter name longer than kMaxParameterName
  // Expansions of this macro started in the current pass (reset by beginPass) and the
  // ordinal of the one in progress. Local label nodes carry the ordinal that made them,
  // so the k-th expansion of pass 2 finds the labels of the k-th expansion of pass 1.
  uint32_t expansionCount = 0;
  uint32_t currentExpansion = 0;
  // Indexes beside localLabels (pass 1 fills them with the nodes): the nodes of each
  // expansion ordinal in list order (chained through nextOfExpansion), the first node of
  // each name, and every name with the lines of its nodes for the duplicate flag.
  // Lookups then cost the same however many expansions there were.
  IntegerMap<SequenceChain> localLabelsByExpansion;
  std::vector<int32_t> nextOfExpansion;
  NameIndex firstLocalByName;
  IntegerMap<bool> localNameAndLine;
};

// An expansion in progress: the macro (index into macroTable) and its body line being
// processed, for the run observer's account of where a diagnostic stands.
struct ExpansionFrame {
  size_t macro = 0;
  uint32_t bodyLine = 0;
};

struct MacroState {
  std::vector<MacroRecord> macroTable;  // at most 256 records, in definition order
  int16_t macroCount = 0;
  int macroNestingDepth = 0;        // expansions in progress; written to the .MAP
  std::vector<ExpansionFrame> expansionFrames;  // the same expansions, outermost first
  std::string macroDefinitionFile;  // definitionFile of the macro being expanded
  int32_t expandedLines = 0;        // body lines expanded in this pass
  uint64_t expandedBytes = 0;       // their characters, after substitution
  // Evaluator steps of the expansions ended in this pass, and SourceState::evaluationSteps
  // when the outermost expansion in progress began.
  uint64_t expansionSteps = 0;
  uint64_t stepsAtExpansionStart = 0;
  // Calls that came to the budget checks in this pass, and the first of them that pass 1
  // refused for the work budget (0 for none; kept for pass 2).
  uint64_t callsChecked = 0;
  uint64_t firstCallOverWork = 0;
  // Pass 2: characters written by the expansions ended in this pass, and outputTextBytes
  // when the outermost expansion in progress began.
  uint64_t expansionOutput = 0;
  uint64_t outputAtExpansionStart = 0;
  // The head of the definition opened last in this pass (its own file and line), which
  // error 64 names when the definition is never closed.
  std::string openHeadFile;
  uint32_t openHeadLine = 0;
  // Work texts of substituteParameters, kept so that their storage is reused.
  std::string statementText;
  std::string rewrittenLine;
  // Length of the substituted statement and comment at the head of the line
  // substituteParameters last rewrote (before " ; " and the body line as written);
  // std::string::npos when it left the line as it was.
  size_t substitutedLength = std::string::npos;
  // Left by substituteParameters in pass 2 when warning 6 is asked for: the first
  // parameter of the line replaced inside a longer word, that word as it stood and what
  // it became; wordParameter is empty when there is none. expandMacro raises the warning
  // once it knows the line was assembled.
  std::string wordParameter;
  std::string parameterWord;
  std::string parameterWordResult;
};

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_MACRO_STATE_H_
