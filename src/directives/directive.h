// Directive processor: recognises the directive keywords (".X", or "#X" for the nine
// that allow it), carries out the simple directives and hands the others to their
// handlers. Called by the statement router for every statement of passes 1 and 2.
#ifndef ZQASM_DIRECTIVES_DIRECTIVE_H_
#define ZQASM_DIRECTIVES_DIRECTIVE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

struct AssemblerRun;

struct DirectiveEntry {
  const char* keyword;  // upper case
  int directiveCode;
  bool hashAllowed;  // may also be written with "#"
};

// Directive codes; aliases share a code.
enum DirectiveCode : int {
  kDirByte = 1,
  kDirDefine = 2,
  kDirDs = 3,
  kDirDsu = 4,
  kDirElse = 6,
  kDirElseIf = 7,
  kDirEnd = 8,
  kDirEndIf = 9,
  kDirEndMacro = 10,
  kDirExitMacro = 11,
  kDirIf = 12,
  kDirIfDef = 13,
  kDirIfDiff = 14,
  kDirIfNDef = 15,
  kDirIfSame = 17,
  kDirMacro = 18,
  kDirWord = 19,
  kDirChip = 20,
  kDirData = 21,
  kDirEndData = 22,
  kDirTable = 23,
  kDirEndTable = 24,
  kDirCode = 25,
  kDirEndCode = 26,
  kDirHead = 27,
  kDirLocalLabel = 28,
  kDirError = 29,
  kDirEndHead = 30,
  kDirIfBlank = 31,
  kDirIfNBlank = 32,
  kDirDnOverlap = 33,
  kDirBankConvertArea = 34,
  kDirSortLabelFile = 35,
  kDirSortEquFile = 36,
  kDirSortRamFile = 37,
};

// Settings written by directives and read by other handlers. Reset per run by the
// driver (the bank convert bounds live in PersistentSettings instead).
struct DirectiveState {
  int32_t dnOverlapAllowed = 0;  // DNOVERLAP ON/OFF; read by the RAM name checks
  char labelSortOrder = 0;       // 'A', 'D' or 0
  char constantSortOrder = 0;
  char ramSortOrder = 0;
  std::string directiveLine;   // statement last handed to processDirective
  size_t directiveArgPos = 0;  // just after the character that ended its keyword
  std::string directiveWord;   // last word read by nextDirectiveWord
  // Code of the directive processDirective last recognised, -1 when none; the statement
  // facts clear it before a statement and read it after.
  int lastDirectiveCode = -1;
};

// The 45 keywords, in the order hosts know them; aliases share a code.
constexpr size_t kDirectiveCount = 45;
extern const DirectiveEntry directiveTable[kDirectiveCount];

// Looks `keyword` up (already upper case). Returns the entry or nullptr.
const DirectiveEntry* findDirective(std::string_view keyword);

// Recognises and carries out the directive at `position` of `line` (after any label), for
// passes 1 and 2, whether or not assembling is on. Returns resultNotDirective (-1), 0
// (taken), resultReserved (DS), resultExitMacro, resultListedDirective, resultListedTable
// or resultEndOfSource. Raises errors 7, 28, 32, 33, 53, 57, 59, 60, 61 (pass 2 only),
// besides those of the conditional and macro handlers it calls.
// The data handlers get as their position the index of the character that ended the
// keyword, the start of their argument text.
int processDirective(AssemblerRun& run, const std::string& line, size_t position, int pass,
                     uint32_t lineNumber);

// Reads the next word of the current directive's arguments into directiveWord: skips
// blanks and tabs, stops at a blank, tab, line feed or the end. False when none.
bool nextDirectiveWord(AssemblerRun& run);

}  // namespace zq

#endif  // ZQASM_DIRECTIVES_DIRECTIVE_H_
