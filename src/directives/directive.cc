// Directive processor. Recognition runs in a fixed order (prefix, keyword, open macro
// definition, "#" rule, condition stack, unbalanced ELSE/ENDIF) before the directive is
// carried out here or handed to the handler of its subsystem.
#include "directives/directive.h"

#include <utility>

#include "chip/encoder.h"
#include "chip/object_file.h"
#include "directives/condition.h"
#include "directives/macro.h"
#include "directives/segment.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "symbols/expression.h"
#include "symbols/substitution.h"

namespace zq {

// Keywords are unique, so the order only mirrors the table hosts know.
const DirectiveEntry directiveTable[kDirectiveCount] = {
    {"BYTE", kDirByte, false},
    {"DEFINE", kDirDefine, true},
    {"DB", kDirByte, false},
    {"DW", kDirWord, false},
    {"DS", kDirDs, false},
    {"DSU", kDirDsu, false},
    {"ELSE", kDirElse, true},
    {"ELSEIF", kDirElseIf, true},
    {"END", kDirEnd, false},
    {"ENDIF", kDirEndIf, true},
    {"ENDM", kDirEndMacro, false},
    {"ENDMAC", kDirEndMacro, false},
    {"ENDMACRO", kDirEndMacro, false},
    {"EXITMAC", kDirExitMacro, false},
    {"EXITMACRO", kDirExitMacro, false},
    {"IF", kDirIf, true},
    {"IFDEF", kDirIfDef, true},
    {"IFDIFF", kDirIfDiff, false},
    {"IFNDEF", kDirIfNDef, true},
    {"IFSAME", kDirIfSame, false},
    {"MAC", kDirMacro, false},
    {"MACRO", kDirMacro, false},
    {"WORD", kDirWord, false},
    {"CHIP", kDirChip, false},
    {"CHIPNAME", kDirChip, false},
    {"DATA", kDirData, false},
    {"ENDD", kDirEndData, false},
    {"ENDDATA", kDirEndData, false},
    {"TABLE", kDirTable, false},
    {"ENDT", kDirEndTable, false},
    {"ENDTAB", kDirEndTable, false},
    {"ENDTABLE", kDirEndTable, false},
    {"CODE", kDirCode, false},
    {"ENDC", kDirEndCode, false},
    {"HEAD", kDirHead, false},
    {"ENDH", kDirEndHead, false},
    {"LOCALLABEL", kDirLocalLabel, false},
    {"ERROR", kDirError, false},
    {"IFBLANK", kDirIfBlank, true},
    {"IFNBLANK", kDirIfNBlank, true},
    {"DNOVERLAP", kDirDnOverlap, false},
    {"BANKCONVERTAREA", kDirBankConvertArea, false},
    {"SORTLABELFILE", kDirSortLabelFile, false},
    {"SORTEQUFILE", kDirSortEquFile, false},
    {"SORTRAMFILE", kDirSortRamFile, false},
};

namespace {

// Longest keyword looked up; "BANKCONVERTAREA" needs 15.
constexpr size_t kMaxKeywordLength = 16;

// Error numbers raised here.
constexpr int kErrIllegalArea = 7;
constexpr int kErrAddressOverlap = 13;
constexpr int kErrUnbalancedCondition = 28;
constexpr int kErrMissingQuote = 32;
constexpr int kErrMissingParameter = 33;
constexpr int kErrMissingErrorText = 53;
constexpr int kErrDnOverlapSyntax = 57;
constexpr int kErrBankAreaBounds = 59;
constexpr int kErrBankAreaTooSmall = 60;
constexpr int kErrBankAreaTooLarge = 61;

// Keywords and argument words end only here; a ";" does not end them, so ".ENDIF;x" is
// one unknown keyword and ".DNOVERLAP ON;x" has the word "ON;x".
bool endsWord(char c) { return isBlank(c) || c == '\n'; }

// DS: reserves program words. Only the first field counts; it is a value operand
// evaluated with the current pass (the evaluator reports its own errors in pass 2), and
// a failed or negative evaluation reserves nothing. In pass 2 the words are held as code
// holds its words: reserving a word already held, or placing code or an ORG on a reserved
// one later, is an overlap (error 13 here). Returns resultReserved or 0.
int reserveWords(AssemblerRun& run, const std::string& arguments, int pass) {
  const int fieldCount = splitStatement(run, arguments);
  reportFieldCut(run, pass);
  if (fieldCount < 1) {
    if (pass == 2) raiseError(run, kErrMissingParameter);
    return 0;
  }
  int value = evaluateOperand(run, run.source.field[1], pass, kClassValue);
  if (value < 0) value = 0;
  const uint32_t words = static_cast<uint32_t>(value) & 0xFFFF;
  if (pass == 2 && reserveProgramWords(run, run.source.locationCounter, words))
    raiseError(run, kErrAddressOverlap);
  if (pass == 2)
    observePlacement(run, ZQASM_PLACE_RESERVED, static_cast<uint32_t>(run.source.locationCounter),
                     words);
  run.source.advanceLocationCounter(words);
  return resultReserved;
}

// DATA and TABLE open their segment only when neither is open (the two never nest).
void openSegment(AssemblerRun& run, int32_t& flag, int pass) {
  SourceState& s = run.source;
  if (s.dataSegmentOpen || s.tableSegmentOpen) {
    if (pass == 2) raiseError(run, kErrIllegalArea);
    return;
  }
  flag = 1;
}

// ENDD/ENDT close `flag` only when it is open and `other` is not.
void closeSegment(AssemblerRun& run, int32_t& flag, int32_t other, int pass) {
  if (flag && !other) {
    flag = 0;
  } else if (pass == 2) {
    raiseError(run, kErrIllegalArea);
  }
}

// ERROR: joins the double-quoted pieces of the arguments into the line's user error text.
// A line feed ends the scan even inside quotes: it is the end of the line, and keeping it
// would break the one-line "[[[ %s ]]]" listing form.
void userError(AssemblerRun& run, const std::string& arguments) {
  std::string text;
  bool inQuotes = false;
  bool closingSeen = false;
  for (char c : arguments) {
    if (c == '\n') break;
    if (c == '"') {
      if (inQuotes) closingSeen = true;
      inQuotes = !inQuotes;
      continue;
    }
    if (inQuotes) {
      text.push_back(c);
    } else if (c == ';') {
      break;
    }
  }
  run.diagnostics.userErrorText = text;
  if (!closingSeen) raiseError(run, kErrMissingQuote);
  if (text.empty()) raiseError(run, kErrMissingErrorText);
}

// DNOVERLAP ON|1|OFF|0 (any case). Another word: error 57 in pass 2, flag unchanged.
void dnOverlap(AssemblerRun& run, int pass) {
  if (!nextDirectiveWord(run)) return;
  const std::string& word = run.directives.directiveWord;
  if (equalsNoCase(word, "ON") || word == "1") {
    run.directives.dnOverlapAllowed = 1;
  } else if (equalsNoCase(word, "OFF") || word == "0") {
    run.directives.dnOverlapAllowed = 0;
  } else if (pass == 2) {
    raiseError(run, kErrDnOverlapSyntax);
  }
}

// SORTLABELFILE/SORTEQUFILE/SORTRAMFILE: 'A', 'D' or 0 (unsorted); no word changes nothing.
void sortOrder(AssemblerRun& run, char& order) {
  if (!nextDirectiveWord(run)) return;
  const std::string& word = run.directives.directiveWord;
  if (equalsNoCase(word, "A")) {
    order = 'A';
  } else if (equalsNoCase(word, "D")) {
    order = 'D';
  } else {
    order = 0;
  }
}

// BANKCONVERTAREA start end, both hexadecimal. The bounds are process-wide: only bounds
// that pass every check are kept, so a refused line leaves the area (of this run and of
// the runs after it) as it was, in every pass alike. A start without an end is refused
// with error 33. Without words the bounds stay and are checked as they are.
void bankConvertArea(AssemblerRun& run, int pass) {
  PersistentSettings& settings = persistentSettings();
  uint16_t start = settings.bankConvertStart;
  uint16_t end = settings.bankConvertEnd;
  // readHex looks at eight characters at most, skips leading zeros and blanks, allows
  // "0x" and stops at the first other character, so "01FFh" reads as 1FFh. Values above
  // FFFFh keep their low 16 bits.
  if (nextDirectiveWord(run)) {
    start = static_cast<uint16_t>(readHex(run.directives.directiveWord, 8));
    if (!nextDirectiveWord(run)) {
      if (pass == 2) raiseError(run, kErrMissingParameter);
      return;
    }
    end = static_cast<uint16_t>(readHex(run.directives.directiveWord, 8));
  }
  if (start > end) std::swap(start, end);
  // 16-bit size, as the bounds are: 0000h..FFFFh counts as size 0.
  const uint16_t size = static_cast<uint16_t>(end - start + 1);
  const bool outside = start < 0x30 || end > 0x7FF;
  if (pass == 2) {
    if (outside) raiseError(run, kErrBankAreaBounds);
    if (size < 8) raiseError(run, kErrBankAreaTooSmall);
    if (size > 512) raiseError(run, kErrBankAreaTooLarge);
  }
  if (outside || size < 8 || size > 512) return;
  settings.bankConvertStart = start;
  settings.bankConvertEnd = end;
}

}  // namespace

const DirectiveEntry* findDirective(std::string_view keyword) {
  if (keyword.empty()) return nullptr;
  // The first letter settles most entries without a string compare.
  for (const DirectiveEntry& entry : directiveTable) {
    if (entry.keyword[0] == keyword[0] && keyword == entry.keyword) return &entry;
  }
  return nullptr;
}

bool nextDirectiveWord(AssemblerRun& run) {
  DirectiveState& d = run.directives;
  const std::string& line = d.directiveLine;
  size_t pos = d.directiveArgPos;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  const size_t start = pos;
  while (pos < line.size() && !endsWord(line[pos])) ++pos;
  d.directiveWord.assign(line, start, pos - start);
  // Step past the character that ended the word, but never beyond the text.
  d.directiveArgPos = pos < line.size() ? pos + 1 : pos;
  return pos > start;
}

int processDirective(AssemblerRun& run, const std::string& line, size_t position, int pass,
                     uint32_t lineNumber) {
  SourceState& s = run.source;

  size_t pos = position;
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  if (pos >= line.size() || (line[pos] != '.' && line[pos] != '#')) return resultNotDirective;
  const bool hashPrefix = line[pos] == '#';

  // The keyword ends only at a blank, tab, line feed or the end: ".ENDIF;x" is no directive.
  const size_t keywordStart = pos + 1;
  size_t keywordEnd = keywordStart;
  while (keywordEnd < line.size() && !endsWord(line[keywordEnd])) ++keywordEnd;
  if (keywordEnd - keywordStart > kMaxKeywordLength) return resultNotDirective;
  char keyword[kMaxKeywordLength];
  for (size_t k = keywordStart; k < keywordEnd; ++k) keyword[k - keywordStart] = toUpper(line[k]);
  const DirectiveEntry* entry = findDirective(std::string_view(keyword, keywordEnd - keywordStart));
  if (entry == nullptr) return resultNotDirective;
  const int code = entry->directiveCode;
  run.directives.lastDirectiveCode = code;

  // Inside a macro definition the router stores the lines; only the end is acted on,
  // whatever its prefix.
  if (s.macroDefinitionOpen) {
    if (code == kDirEndMacro) s.macroDefinitionOpen = 0;
    return 0;
  }
  if (hashPrefix && !entry->hashAllowed) return resultNotDirective;

  // Lines of an expansion have their own condition stack and flag.
  const bool inExpansion = s.macroContext >= 0;
  const ConditionStack& stack =
      inExpansion ? run.conditions.macroConditions : run.conditions.sourceConditions;
  const bool assembling = (inExpansion ? s.macroAssemblingOn : s.assemblingOn) != 0;

  // With nothing open these are dropped here, so the conditional handler always finds a
  // level to act on.
  if ((code == kDirElse || code == kDirElseIf || code == kDirEndIf) && stack.depth == 0) {
    if (pass == 2) raiseError(run, kErrUnbalancedCondition);
    return 0;
  }

  // The directives that read their words one by one get the line; the others get the
  // text from the character that ended the keyword, made only for those that read it.
  if (code == kDirDnOverlap || code == kDirBankConvertArea || code == kDirSortLabelFile ||
      code == kDirSortEquFile || code == kDirSortRamFile) {
    run.directives.directiveLine = line;
    run.directives.directiveArgPos = keywordEnd < line.size() ? keywordEnd + 1 : keywordEnd;
  }
  auto arguments = [&line, keywordEnd]() { return line.substr(keywordEnd); };

  switch (code) {
    // The data directives test the segment and the flag themselves and may list the line.
    case kDirByte:
      return byteDataDirective(run, line, keywordEnd, false, pass, lineNumber);
    case kDirWord:
      return byteDataDirective(run, line, keywordEnd, true, pass, lineNumber);
    case kDirDsu: {
      // DSU is taken even when its handler declines the line.
      const int result = stringDataDirective(run, line, keywordEnd, pass, lineNumber);
      return result == resultNotDirective ? 0 : result;
    }
    case kDirDefine:
      if (assembling) defineSymbol(run, line, pass, lineNumber);
      return 0;
    case kDirDs:
      return assembling ? reserveWords(run, arguments(), pass) : 0;
    case kDirElse:
    case kDirElseIf:
    case kDirEndIf:
    case kDirIf:
    case kDirIfDef:
    case kDirIfDiff:
    case kDirIfNDef:
    case kDirIfSame:
    case kDirIfBlank:
    case kDirIfNBlank:
      return handleConditional(run, code, arguments(), pass);
    case kDirEnd:
      return resultEndOfSource;
    case kDirEndMacro:
      // Outside a definition (the last line of every expanded body) there is nothing to end.
      s.macroDefinitionOpen = 0;
      return 0;
    case kDirExitMacro:
      return assembling ? resultExitMacro : 0;
    // A head is taken in skipped regions too: its body must still be skipped to the end.
    case kDirMacro:
      return defineMacroHead(run, arguments(), pass);
    case kDirLocalLabel:
      if (pass == 1 && inExpansion) declareLocalLabels(run, arguments(), pass);
      return 0;
    // Segments and settings act whether or not assembling is on.
    case kDirData:
      openSegment(run, s.dataSegmentOpen, pass);
      return 0;
    case kDirTable:
      openSegment(run, s.tableSegmentOpen, pass);
      return 0;
    case kDirEndData:
      closeSegment(run, s.dataSegmentOpen, s.tableSegmentOpen, pass);
      return 0;
    case kDirEndTable:
      closeSegment(run, s.tableSegmentOpen, s.dataSegmentOpen, pass);
      return 0;
    case kDirError:
      // Only where the line is assembled: a guard in a macro body that is skipped stays quiet.
      if (pass == 2 && assembling) userError(run, arguments());
      return 0;
    case kDirDnOverlap:
      dnOverlap(run, pass);
      return 0;
    case kDirBankConvertArea:
      bankConvertArea(run, pass);
      return 0;
    case kDirSortLabelFile:
      sortOrder(run, run.directives.labelSortOrder);
      return 0;
    case kDirSortEquFile:
      sortOrder(run, run.directives.constantSortOrder);
      return 0;
    case kDirSortRamFile:
      sortOrder(run, run.directives.ramSortOrder);
      return 0;
    default:  // CHIP, CHIPNAME, CODE, ENDC, HEAD, ENDH: accepted, no action
      return 0;
  }
}

}  // namespace zq
