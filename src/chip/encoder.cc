// Instruction encoder. Every instruction is one 16-bit word: the record's opcode plus the
// operand values placed in the record's mask fields, for example (mask 1 = 03F0h,
// mask 2 = 000Fh):
//
//   15          10 9           4 3       0
//  +--------------+-------------+---------+
//  |    opcode    |  operand 1  |operand 2|     word = opcode + (x << 4) + y
//  +--------------+-------------+---------+
//
// A field's shift is the index of the lowest set bit of its mask; its limit is the mask
// shifted down by that amount. All diagnostics are raised in pass 2 only; passes 0 and 1
// fail silently on the same conditions so that addresses advance alike in every pass.
#include "chip/encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "chip/bank_fixup.h"
#include "chip/instruction_fields.h"
#include "chip/object_file.h"
#include "platform/text.h"
#include "services/run.h"
#include "services/run_observer.h"
#include "symbols/expression.h"
#include "symbols/substitution.h"

namespace zq {

// The checks of the two operands of a statement, raised once the word is encoded: an
// operand refused by an error gets no warning besides.
struct OperandChecks {
  OperandFindings x, y;
};

namespace {

constexpr uint16_t kBitSelectOpcode = 0xED00;

// Diagnostic numbers raised here.
constexpr int kErrorOperand = 6;
constexpr int kErrorAddressOverlap = 13;
constexpr int kErrorAddressRange = 14;
constexpr int kErrorOutOfPage = 44;
constexpr int kErrorRamBelow40 = 45;
constexpr int kErrorPageNumber = 48;
constexpr int kErrorStopForbidden = 49;
constexpr int kErrorOtherBank = 62;
constexpr int kErrorReservedRam = 66;
constexpr int kWarningWorkingRegister = 3;

// The mnemonic's form as chosen for the statement's field count.
struct FormChoice {
  int index = -1;  // record in the opcode table
  int kind = 0;
  int required = 0;           // field count the record asks for
  int hlOperand = 0;          // 0, or the operand (1 or 2) written "@HL": not evaluated
  bool pageForm = false;      // "CALL"/"JMP" page, address
  uint8_t mnemonicClass = 0;  // class bits of the record's mnemonic
};

// Passes 0 and 1 run the same checks without a word; only pass 2 reports.
void reportError(AssemblerRun& run, int pass, int number) {
  if (pass == 2) raiseError(run, number);
}

// Model rules compare the four characters after "ZQ" of the loaded chip's name.
bool modelIsOneOf(const AssemblerRun& run, std::initializer_list<const char*> models) {
  for (const char* candidate : models)
    if (chipModelIs(run, candidate)) return true;
  return false;
}

// Working registers are numbered from 18h on model 4410 and from 70h elsewhere.
uint32_t workingRegister(AssemblerRun& run, uint32_t value, int pass) {
  uint32_t base = workingRegisterBase(chipModel(run));
  if (value >= base) return value - base;
  if (pass == 2) raiseWarning(run, kWarningWorkingRegister);
  return value;
}

// The operand of a field that holds a character constant: evaluated from a copy in which
// the constant is replaced by its code. Apart from the usual path, which copies nothing.
[[gnu::noinline]] int evaluateQuotedField(AssemblerRun& run, std::string_view field, int pass,
                                          int symbolClass, OperandFindings* findings) {
  std::string text(field);
  replaceCharConstants(text);
  return evaluateOperand(run, text, pass, symbolClass, findings);
}

// Evaluates a field; a failed (negative) operand counts as 0.
uint32_t evaluateField(AssemblerRun& run, int index, int pass, int symbolClass) {
  const std::string_view field = run.source.field[static_cast<size_t>(index)];
  bool quote = false;
  for (size_t i = 0; i < field.size() && !quote; ++i) quote = field[i] == '\'';
  const int value = quote ? evaluateQuotedField(run, field, pass, symbolClass, nullptr)
                          : evaluateOperand(run, field, pass, symbolClass);
  return value < 0 ? 0 : static_cast<uint32_t>(value) & 0xFFFF;
}

// evaluateField in pass 2 with the operand's checks for the trap warnings 7 to 9 into
// `findings`, and one more: a "$+n" beyond 16 bits, which is cut here.
[[gnu::noinline]] uint32_t evaluateFieldChecked(AssemblerRun& run, int index, int symbolClass,
                                                OperandFindings& findings) {
  const std::string_view field = run.source.field[static_cast<size_t>(index)];
  const int value = field.find('\'') != std::string_view::npos
                        ? evaluateQuotedField(run, field, 2, symbolClass, &findings)
                        : evaluateOperand(run, field, 2, symbolClass, &findings);
  if (value > 0xFFFF && findings.truncated.empty()) {
    // Written as the source writes hexadecimal numbers: 10FFEh, 0FFEh.
    char note[64];
    const unsigned low = static_cast<unsigned>(value) & 0xFFFFu;
    std::snprintf(note, sizeof note, "operand %s%Xh is cut to 16 bits: %s%Xh",
                  (value >> 16) > 9 ? "0" : "", static_cast<unsigned>(value),
                  (low >> 12) > 9 ? "0" : "", low);
    findings.truncated = note;
  }
  return value < 0 ? 0 : static_cast<uint32_t>(value) & 0xFFFF;
}

// An operand field of 8 bits stores a negative number down to -128 whole.
bool isByteField(uint16_t mask) { return (static_cast<uint32_t>(mask) >> maskShift(mask)) == 0xFF; }

// The RAM flags of one operand: errors 45 and 66. A form may carry both flags of an
// operand; then the value must pass both tests.
bool ramFlagsAllow(AssemblerRun& run, int pass, uint32_t value, bool ramOperand, bool notReserved) {
  if (ramOperand && value < kRamBase) {
    reportError(run, pass, kErrorRamBelow40);
    return false;
  }
  if (notReserved && value >= kRamBase && value <= kReservedRamEnd) {
    reportError(run, pass, kErrorReservedRam);
    return false;
  }
  return true;
}

// Searches the records of the mnemonic in file order. Returns the record index, or
// resultUnknownMnemonic, or resultBadOperandCount when the first record that ends the
// search asks for another field count (or every record of the mnemonic was skipped).
//
// A record of the mnemonic is either skipped or ends the search, by the statement's
// field count n and where "@HL" is written (HL1: operand 1, HL2: operand 2):
//   n = 1          never skipped; asks for 1 + (kind != 0) + (form nibble != 0)
//   n = 2, value   skipped unless nibble 0; asks for 2 with kinds 1, 5, 11
//   n = 2, HL1     skipped unless nibble 15; asks for 2 with kind 0
//   n = 3, values  skipped with nibble 15; asks for 3 with kinds 2, 3, 22, 23 and the
//                  page form of "CALL"/"JMP"
//   n = 3, HL1     never skipped; asks for 3 with nibble 15 and kind 3
//   n = 3, HL2     skipped unless nibble 15; asks for 3 with kind 2
//   otherwise      the first record ends the search with a count that does not fit
int findForm(const AssemblerRun& run, int n, FormChoice& choice) {
  const auto& field = run.source.field;
  const std::string_view mnemonic = field[1];
  bool hl1 = n >= 2 && equalsNoCase(field[2], "@HL");
  bool hl2 = n >= 3 && equalsNoCase(field[3], "@HL");
  const std::vector<int>* records = findMnemonicRecords(run, mnemonic);
  if (records == nullptr) return resultUnknownMnemonic;
  for (int i : *records) {
    const OpcodeEntry& entry = run.chip.opcodes[static_cast<size_t>(i)];
    int nibble = entry.form & kFormNibble;
    int kind = entry.kind;
    bool hlSet = false;
    bool pageForm = false;
    int required = 0;
    if (n == 1) {
      required = 1 + (kind != kKindPlain) + (nibble != 0);
    } else if (n == 2 && !hl1) {
      if (nibble != 0) continue;
      required = (kind == kKindAddress || kind == kKindShifted || kind == kKindBits) ? 2 : 3;
    } else if (n == 2) {
      if (nibble != kFormHl) continue;
      required = kind == kKindPlain ? 2 : 3;
      hlSet = true;
    } else if (n == 3 && !hl1 && !hl2) {
      if (nibble == kFormHl) continue;
      if (kind == kKindPair || kind == kKindPairHlFirst || kind == kKindRegisterFirst ||
          kind == kKindRegisterSecond) {
        required = 3;
      } else if (kind == kKindAddress && (mnemonicClassOf(run.chip, i) & kMnemonicCallOrJump)) {
        required = 3;
        pageForm = true;
      } else {
        required = 4;
      }
    } else if (n == 3 && hl1 && !hl2) {
      required = (nibble == kFormHl && kind == kKindPairHlFirst) ? 3 : 4;
      hlSet = true;
    } else if (n == 3 && hl2 && !hl1) {
      if (nibble != kFormHl) continue;
      required = kind == kKindPair ? 3 : 4;
      hlSet = true;
    } else if (n == 3) {
      required = 4;
    } else {
      required = 0;  // four fields or more: no record takes them
    }
    if (required != n) return resultBadOperandCount;
    choice.index = i;
    choice.mnemonicClass = mnemonicClassOf(run.chip, i);
    choice.kind = kind;
    choice.required = required;
    choice.hlOperand = hlSet ? (kind == kKindPair ? 2 : 1) : 0;
    choice.pageForm = pageForm;
    return i;
  }
  return resultBadOperandCount;
}

// Stores the full destination of a "CALL"/"JMP" for the bank convert area. Pass 2 only,
// so that no entry of pass 1 survives at an address that pass 2 filled otherwise.
void storeFarTarget(AssemblerRun& run, int pass, uint32_t target) {
  if (pass != 2 || !run.source.bankedRom) return;
  int32_t loc = run.source.statementAddress;
  auto& table = run.object.farTargetTable;
  if (loc >= 0 && loc < kFarTargetEntries && static_cast<size_t>(loc) < table.size())
    table[static_cast<size_t>(loc)] = static_cast<uint16_t>(target);
}

// A banked "CALL"/"JMP" leaves its bank only through the bank convert area, which serves
// banks 0 to 2 and builds its trampolines inside the ROM. Error 14 for a destination
// above the ROM top, or in another bank than a caller above 2FFFh; like the test for
// 2FFFh (error 6, made by the caller) it lets the encoding go on.
void checkFarTarget(AssemblerRun& run, int pass, uint32_t loc, uint32_t target) {
  if (target > kBankedTop) return;
  const bool aboveRom = static_cast<int64_t>(target) > run.source.programRomTop;
  const bool unrouted = loc > kBankedTop && (loc >> 12) != (target >> 12);
  if (aboveRom || unrouted) reportError(run, pass, kErrorAddressRange);
}

// A jump or call target beyond the ROM top would be encoded as an address that is not
// there (a conditional jump keeps 11 bits, a CALL/JMP 12): error 14, and the encoding
// goes on, as for the banked far targets. Called once the target fits its field, so a
// target that the field refuses stays error 6 alone. The banked CALL/JMP is checked by
// checkFarTarget before its address is cut.
void checkTargetInRom(AssemblerRun& run, int pass, uint32_t target) {
  if (static_cast<int64_t>(target) > run.source.programRomTop)
    reportError(run, pass, kErrorAddressRange);
}

// "; the chip allows: LDA value | LDA @HL": the forms of the statement's mnemonic, each
// once, in file order.
std::string allowedForms(const AssemblerRun& run) {
  const std::vector<int>* records = findMnemonicRecords(run, run.source.field[1]);
  if (records == nullptr) return std::string();
  std::vector<std::string> forms;
  for (int i : *records) {
    const OpcodeEntry& entry = run.chip.opcodes[static_cast<size_t>(i)];
    std::string form = run.source.field[1].str();
    for (char& c : form) c = toUpper(c);
    const std::string operands = operandForm(form, entry.form, entry.kind);
    if (!operands.empty()) form += " " + operands;
    if (std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(form);
  }
  std::string text = "; the chip allows: ";
  for (size_t i = 0; i < forms.size(); ++i) text += (i > 0 ? " | " : "") + forms[i];
  return text;
}

// `value` as the source writes hexadecimal: 0Fh, 12Ch, 0FFFh.
std::string hexText(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%Xh", value);
  return text[0] >= 'A' ? "0" + std::string(text) : std::string(text);
}

// Error 6 for operand `operand` (1 or 2) of the statement, valued `value`, with a note
// that names it, says what is wrong (`problem`) and lists the mnemonic's forms.
void reportOperand(AssemblerRun& run, int pass, int operand, uint32_t value,
                   const std::string& problem) {
  reportError(run, pass, kErrorOperand);
  if (pass != 2 || !observingDiagnostics()) return;
  const FieldText& field = run.source.field[static_cast<size_t>(operand) + 1];
  noteCulpritAt(run, kErrorOperand, field, "operand %d of '%s' is %s, %s%s", operand,
                run.source.field[1].c_str(), hexText(value).c_str(), problem.c_str(),
                allowedForms(run).c_str());
}

// The problem of a value beyond its field's limit, or of one whose bits the field does not
// have (`limit` the field's value mask).
std::string fieldProblem(uint32_t value, uint32_t limit) {
  if (value > limit) return "more than its field holds (at most " + hexText(limit) + ")";
  return "which its field (bits " + hexText(limit) + ") cannot hold";
}

// One operand of a two-operand form: working-register rule, RAM offset, range and bits
// check, shift into place. False (after error 6) when the value does not fit.
bool placeOperand(AssemblerRun& run, int pass, int operand, uint32_t& value, uint16_t mask,
                  bool registerRule, bool ramOperand) {
  const uint32_t written = value;
  if (registerRule) value = workingRegister(run, value, pass);
  int shift = maskShift(mask);
  uint32_t limit = static_cast<uint32_t>(mask) >> shift;
  if (ramOperand) value = (value - kRamBase) & 0xFFFF;
  if (value > limit || !bitsCheck(limit, value)) {
    reportOperand(run, pass, operand, written,
                  (registerRule || ramOperand ? "placed as " + hexText(value) + ", " : std::string()) +
                      fieldProblem(value, limit));
    return false;
  }
  value <<= shift;
  return true;
}

// Mnemonic with one operand (n = 2, not "@HL"): kinds 1, 5 and 11.
bool encodeOneOperand(AssemblerRun& run, int pass, const OpcodeEntry& entry, uint8_t mnemonicClass,
                      uint32_t x, uint32_t& word) {
  uint32_t loc = static_cast<uint32_t>(run.source.statementAddress) & 0xFFFF;
  bool banked = run.source.bankedRom;
  // The destination as written, before the cuts below.
  const uint32_t target = x;
  const bool jumpTarget =
      entry.kind == kKindAddress && ((mnemonicClass & kMnemonicConditionalJump) ||
                                     (!banked && (mnemonicClass & kMnemonicCallOrJump)));
  if (entry.kind == kKindAddress && (mnemonicClass & kMnemonicConditionalJump)) {
    // The jump cannot leave its bank; within the bank only the in-bank address counts,
    // so the half-page rules below see bank 1 and 2 targets as they see bank 0 ones.
    if (banked) {
      if ((loc >> 12) != (x >> 12)) reportError(run, pass, kErrorOtherBank);
      x &= 0x0FFF;
    }
    // The field holds an offset within the half page of the instruction.
    if ((loc & 0x0FFF) >= kPageHalf) {
      if (x >= kPageHalf) {
        x -= kPageHalf;
      } else {
        reportError(run, pass, kErrorOutOfPage);
      }
    } else if (x >= kPageHalf) {
      reportError(run, pass, kErrorOutOfPage);
    }
  }
  // Kind 5 takes a value for the field, the other kinds a value already in place.
  int shift = maskShift(entry.mask1);
  uint32_t limit =
      entry.kind == kKindShifted ? static_cast<uint32_t>(entry.mask1) >> shift : entry.mask1;
  if (entry.form & kRamOperand1) x = (x - kRamBase) & 0xFFFF;
  // A banked "CALL"/"JMP" keeps the in-bank address; the bank convert area routes it
  // to another bank through the far target stored by the caller.
  if (banked) {
    if (x > kBankedTop)
      reportOperand(run, pass, 1, target, "beyond the banked ROM (at most 2FFFh)");
    if (mnemonicClass & kMnemonicCallOrJump) {
      checkFarTarget(run, pass, loc, x);
      x &= 0x0FFF;
    }
  }
  if (x > limit) {
    reportOperand(run, pass, 1, target, fieldProblem(x, limit));
    return false;
  }
  if (jumpTarget) checkTargetInRom(run, pass, target);
  if (entry.kind == kKindShifted) {
    x <<= shift;
  } else if (entry.kind == kKindBits) {
    if (!bitsCheck(entry.mask1, x)) {
      reportOperand(run, pass, 1, target, fieldProblem(x, entry.mask1));
      return false;
    }
    // Bit-select on these models: bit 6 of the operand carries bit 5 with it.
    if (entry.opcode == kBitSelectOpcode && (x & 0x40) &&
        modelIsOneOf(run, {"3915", "3916", "4435", "4422", "4423"}))
      x |= 0x20;
  }
  word = entry.opcode + x;
  return true;
}

// "CALL"/"JMP" page, address: the page is checked (0 or 1) but not encoded.
bool encodePageForm(AssemblerRun& run, int pass, const OpcodeEntry& entry, uint32_t page,
                    uint32_t address, uint32_t& word) {
  if (page > 1) {
    reportError(run, pass, kErrorPageNumber);
    return false;
  }
  const uint32_t written = address;
  if (run.source.bankedRom) {
    if (address > kBankedTop) {
      reportOperand(run, pass, 2, written, "beyond the banked ROM (at most 2FFFh)");
      return false;
    }
    checkFarTarget(run, pass, static_cast<uint32_t>(run.source.statementAddress) & 0xFFFF, address);
    address &= 0x0FFF;
  }
  int shift = maskShift(entry.mask1);
  uint32_t limit = static_cast<uint32_t>(entry.mask1) >> shift;
  if (address > limit || !bitsCheck(limit, address)) {
    reportOperand(run, pass, 2, written, fieldProblem(address, limit));
    return false;
  }
  if (!run.source.bankedRom) checkTargetInRom(run, pass, address);
  word = entry.opcode + (address << shift);
  return true;
}

// What a line had pending before an encoding. Raising only appends a number not yet
// pending, so cutting the lists back to their lengths drops exactly what came after.
struct PendingMark {
  size_t errors, warnings;
  bool errorsPending, warningsPending;
};

PendingMark markPending(const DiagnosticsState& d) {
  return {d.lineErrors.size(), d.lineWarnings.size(), d.errorsPending, d.warningsPending};
}

void backToMark(DiagnosticsState& d, const PendingMark& mark) {
  if (d.lineErrors.size() > mark.errors) d.lineErrors.resize(mark.errors);
  if (d.lineWarnings.size() > mark.warnings) d.lineWarnings.resize(mark.warnings);
  d.errorsPending = mark.errorsPending;
  d.warningsPending = mark.warningsPending;
}

// Code text "LL HH" (low byte first, as the record takes its bytes) and word text "HHLL",
// each byte as two upper-case hexadecimal digits.
void setCodeTexts(AssemblerRun& run, uint32_t word) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const char low[2] = {kDigits[word >> 4 & 0xF], kDigits[word & 0xF]};
  const char high[2] = {kDigits[word >> 12 & 0xF], kDigits[word >> 8 & 0xF]};
  const char code[5] = {low[0], low[1], ' ', high[0], high[1]};
  run.source.codeText = std::string_view(code, sizeof code);
  const char hex[4] = {high[0], high[1], low[0], low[1]};
  run.source.wordText = std::string_view(hex, sizeof hex);
}

// Characters the splitter must look at; every other character is copied into its field
// as it stands. NUL, ";" and line feed end the text, blank and tab separate field 1 and
// are dropped from the others, "," separates the later fields, and a quote may open a
// quoted blank.
struct SplitStops {
  bool stops[256] = {};
  constexpr SplitStops() : stops() {
    for (char c : {'\0', ';', '\n', ' ', '\t', ',', '\''})
      stops[static_cast<unsigned char>(c)] = true;
  }
};
constexpr SplitStops kSplitStops;

bool endsText(char c) { return c == '\0' || c == ';' || c == '\n'; }

bool stopsSplit(char c) { return kSplitStops.stops[static_cast<unsigned char>(c)]; }

// The first character from `p` on, before `end`, that the splitter must look at; `end`
// when there is none. Four at a time while four are left.
const char* nextStop(const char* p, const char* end) {
  for (; end - p >= 4; p += 4) {
    if (stopsSplit(p[0])) return p;
    if (stopsSplit(p[1])) return p + 1;
    if (stopsSplit(p[2])) return p + 2;
    if (stopsSplit(p[3])) return p + 3;
  }
  while (p < end && !stopsSplit(*p)) ++p;
  return p;
}

// Splitting without substitution. Field 1 ends at a blank or tab; later fields end at
// a comma and lose their blanks and tabs. The text ends at ";", a line feed, a NUL or its
// end; a separator followed only by blanks up to such an end ends it too. Fields keep
// their first kMaxFieldLength characters; the rest of a longer one is dropped, and
// state.fieldCut is set (never cleared here: the caller starts the split).
int splitOnce(SourceState& state, std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  auto at = [end](const char* q) -> char { return q < end ? *q : '\0'; };
  while (isBlank(at(p))) ++p;
  if (endsText(at(p))) return 0;

  // A field is stored straight from the text while it is one piece of it; only a field
  // of the operands that loses a blank is gathered piece by piece.
  int n = 1;
  const char* fieldStart = p;
  char gathered[kMaxFieldLength];
  size_t length = 0;
  bool gathering = false;
  auto append = [&](const char* from, const char* to) {
    while (from < to && length < kMaxFieldLength) gathered[length++] = *from++;
    if (from < to && state.fieldCut == 0) state.fieldCut = n;
  };
  // The field's text ends here, before any blanks that close it.
  const char* contentEnd = p;
  auto store = [&]() {
    FieldText& field = state.field[static_cast<size_t>(n)];
    if (gathering) {
      append(fieldStart, contentEnd);
      field.assign(std::string_view(gathered, length));
    } else {
      const size_t size = static_cast<size_t>(contentEnd - fieldStart);
      if (size > kMaxFieldLength && state.fieldCut == 0) state.fieldCut = n;
      field.assign(std::string_view(fieldStart, size));
    }
  };
  while (true) {
    // The characters that need no care, in one piece.
    p = nextStop(p, end);
    contentEnd = p;
    char c = at(p);
    if (n > 1 && isBlank(c)) {
      // Blanks of the operands are dropped. Before a comma or the end they only close
      // the field; before more text the field goes on after them, gathered.
      const char* after = p + 1;
      while (isBlank(at(after))) ++after;
      c = at(after);
      if (!endsText(c) && c != ',') {
        append(fieldStart, p);
        gathering = true;
        p = fieldStart = after;
        continue;
      }
      p = after;
    }
    if (endsText(c)) {
      store();
      return n;
    }
    if (c == '\'' && at(p + 1) == ' ' && at(p + 2) == '\'') {
      // A quoted blank is a character constant, not a separator.
      p += 3;
      continue;
    }
    const bool separator = n == 1 ? isBlank(c) : c == ',';
    if (separator) {
      store();
      const char* next = p + 1;
      while (isBlank(at(next))) ++next;
      if (endsText(at(next))) return n;
      // Nothing of a 33rd field is kept; the caller refuses the statement.
      if (n == kMaxFields) return kMaxFields + 1;
      ++n;
      p = fieldStart = next;
      length = 0;
      gathering = false;
      continue;
    }
    // A comma of field 1 or a lone quote is text.
    ++p;
  }
}

}  // namespace

namespace {

// A field that may be a DEFSTRING name (from `first` on): each field equal to a name takes
// its text, and the rebuilt statement is split once more, without a second substitution.
// Returns the field count, unchanged when no field was a name.
[[gnu::noinline]] int substituteStrings(AssemblerRun& run, int n, int first) {
  SourceState& state = run.source;
  bool replaced = false;
  for (int f = first; f <= n; ++f) {
    const auto& field = state.field[static_cast<size_t>(f)];
    if (!run.substitutions.mayBeStringName(field)) continue;
    std::string substitute;
    if (observedUse(run, ZQASM_SYMBOL_STRING, field, findString(run, field, substitute)) >= 0) {
      if (substitute.size() > kMaxFieldLength && state.fieldCut == 0) state.fieldCut = f;
      state.field[static_cast<size_t>(f)] = substitute;
      replaced = true;
    }
  }
  if (!replaced) return n;
  // Separators as the first split expects them: a blank after field 1, then commas.
  std::string rebuilt = state.field[1].str();
  for (int f = 2; f <= n; ++f) {
    rebuilt += f == 2 ? " " : ",";
    rebuilt += state.field[static_cast<size_t>(f)];
  }
  rebuilt += '\n';
  return splitOnce(state, rebuilt);
}

}  // namespace

int splitStatement(AssemblerRun& run, std::string_view text) {
  SourceState& state = run.source;
  state.fieldCut = 0;
  const int n = splitOnce(state, text);
  if (n > kMaxFields) return n;
  // DEFSTRING names stand for operand texts. Most fields cannot be one, which is told
  // here without a call.
  for (int f = 1; f <= n; ++f)
    if (run.substitutions.mayBeStringName(state.field[static_cast<size_t>(f)]))
      return substituteStrings(run, n, f);
  return n;
}

namespace {

[[gnu::noinline]] int encodeChecked(AssemblerRun& run, int n) {
  OperandChecks checks;
  return encodeInstruction(run, n, 2, &checks);
}

}  // namespace

int encodeInstruction(AssemblerRun& run, int n, int pass, OperandChecks* checks) {
  if (n < 1) return 0;
  if (checks == nullptr && pass == 2 && run.source.operandChecks) return encodeChecked(run, n);
  FormChoice form;
  int found = findForm(run, n, form);
  if (found == resultUnknownMnemonic) return found;
  if (found < 0) {
    reportError(run, pass, kErrorOperand);
    if (pass == 2 && observingDiagnostics()) {
      std::string operands;
      for (int f = 2; f <= n; ++f) operands += (f > 2 ? ", " : "") + run.source.field[static_cast<size_t>(f)].str();
      noteCulpritAt(run, kErrorOperand, run.source.field[1], "no form of '%s' takes %s%s%s%s",
                    run.source.field[1].c_str(), n == 1 ? "no operands" : "the operands '",
                    operands.c_str(), n == 1 ? "" : "'", allowedForms(run).c_str());
    }
    return resultBadOperandCount;
  }
  const OpcodeEntry& entry = run.chip.opcodes[static_cast<size_t>(form.index)];
  const std::string_view mnemonic = run.source.field[1];

  // Operand values, each checked against its RAM flags as soon as it is known.
  uint32_t x = 0, y = 0;
  if (n >= 2 && form.hlOperand != 1) {
    // Branch targets see labels only; every other operand sees values only.
    int symbolClass = kClassValue;
    if (n == 2 && form.kind == kKindAddress) {
      if (form.mnemonicClass & kMnemonicConditionalJump) {
        symbolClass = kClassBranch;
      } else if (form.mnemonicClass & kMnemonicCallOrJump) {
        symbolClass = kClassCallJump;
      }
    }
    x = checks ? evaluateFieldChecked(run, 2, symbolClass, checks->x)
               : evaluateField(run, 2, pass, symbolClass);
    if (!ramFlagsAllow(run, pass, x, entry.form & kRamOperand1, entry.form & kNotReservedOperand1))
      return -1;
  }
  if (n >= 3 && form.hlOperand != 2) {
    const int symbolClass = form.pageForm ? kClassBranch : kClassValue;
    y = checks ? evaluateFieldChecked(run, 3, symbolClass, checks->y)
               : evaluateField(run, 3, pass, symbolClass);
    if (!ramFlagsAllow(run, pass, y, entry.form & kRamOperand2, entry.form & kNotReservedOperand2))
      return -1;
  }

  // Sums wrap at 16 bits: the word is taken modulo 10000h below.
  uint32_t word = entry.opcode;
  if (n == 1) {
    // Mask options that select power source C or D leave the chip without "STOP". The
    // rule is left to pass 2, so pass 1 still counts the word.
    if (pass == 2 && run.chip.stopForbidden && equalsNoCase(mnemonic, "STOP")) {
      raiseError(run, kErrorStopForbidden);
      return -1;
    }
  } else if (n == 2 && form.hlOperand == 1) {
    // "@HL" alone: the opcode says it all.
  } else if (n == 2) {
    if (!encodeOneOperand(run, pass, entry, form.mnemonicClass, x, word)) return -1;
    if (form.kind == kKindAddress && (form.mnemonicClass & kMnemonicCallOrJump))
      storeFarTarget(run, pass, x);
  } else if (form.pageForm) {
    if (!encodePageForm(run, pass, entry, x, y, word)) return -1;
    // The page only selects; the far target is the address operand as written.
    storeFarTarget(run, pass, y);
  } else {
    if (form.hlOperand != 1 &&
        !placeOperand(run, pass, 1, x, entry.mask1, form.kind == kKindRegisterFirst,
                      entry.form & kRamOperand1))
      return -1;
    if (form.hlOperand != 2 &&
        !placeOperand(run, pass, 2, y, entry.mask2, form.kind == kKindRegisterSecond,
                      entry.form & kRamOperand2))
      return -1;
    word = entry.opcode + x + y;
  }
  if (checks != nullptr) {
    // In the page form operand 1 is the page, which is not stored, and the address lies
    // in field 1.
    raiseOperandFindings(run, checks->x, !form.pageForm && isByteField(entry.mask1));
    raiseOperandFindings(run, checks->y, isByteField(form.pageForm ? entry.mask1 : entry.mask2));
  }
  setCodeTexts(run, word & 0xFFFF);
  return 2;
}

int assembleInstruction(AssemblerRun& run, std::string_view text, int pass, int& fieldCount,
                        uint32_t lineNumber) {
  int n = splitStatement(run, text);
  fieldCount = n;
  // A cut operand (or macro argument) is reported, and the statement goes on as split,
  // so that it takes its words in every pass alike.
  reportFieldCut(run, pass);
  if (n > kMaxFields) {
    // The statement is dropped; without a message the line would vanish unnoticed.
    reportError(run, pass, kErrorOperand);
    if (pass == 2)
      noteCulprit(run, kErrorOperand, "more than %d operands", static_cast<int>(kMaxFields - 1));
    return -1;
  }
  // An empty statement takes no address, so it cannot overlap one.
  if (n == 0) return 0;
  if (pass == 2 && orgAddressUsed(run)) raiseError(run, kErrorAddressOverlap);
  // Forms look at the field after the last operand; it must not hold an older split.
  run.source.field[static_cast<size_t>(n) + 1].clear();
  const PendingMark mark = markPending(run.diagnostics);
  int result = encodeInstruction(run, n, pass);
  if (result <= 0) return result;
  const int32_t movedTo =
      isBankEndAddress(run.source.statementAddress) ? bankEndDestination(run) : -1;
  if (movedTo >= 0) {
    // The word at the old address only told that the instruction moves. It is encoded
    // again where it stands now, so that its jump checks and "$" see that address.
    backToMark(run.diagnostics, mark);
    const int moved = moveToNextBank(run, pass, movedTo);
    if (moved != 1) return moved;
    result = encodeInstruction(run, n, pass);
    if (result <= 0) return result;
  }
  // Bank rules, record, map line and the advance of locationCounter.
  return finishInstruction(run, result, pass, lineNumber);
}

std::string operandForm(std::string_view mnemonic, uint8_t form, uint8_t kind) {
  const int nibble = form & kFormNibble;
  const bool far = equalsNoCase(mnemonic, "CALL") || equalsNoCase(mnemonic, "JMP");
  switch (kind) {
    case kKindPlain:
      return nibble == kFormHl ? "@HL" : nibble == 0 ? "" : "operand";
    case kKindAddress:
      return far ? "address  |  page, address" : "address";
    case kKindPair:
      return nibble == kFormHl ? "value, @HL" : "value, value";
    case kKindPairHlFirst:
      return nibble == kFormHl ? "@HL, value" : "value, value";
    case kKindShifted:
      return "value";
    case kKindBits:
      return "bits";
    case kKindRegisterFirst:
      return "Ry, value";
    case kKindRegisterSecond:
      return "value, Ry";
    default:
      return "?";
  }
}

// Reads back code texts ("A5 D3" gives A5h), listing words and BANKCONVERTAREA bounds.
// Leading zeros and blanks are skipped; "0x" is accepted as a prefix.
uint32_t readHex(const std::string& text, int count) {
  size_t limit = count < 0 ? text.size() : std::min(text.size(), static_cast<size_t>(count));
  return readHexChars(text.data(), limit);
}

uint32_t readHexChars(const char* text, size_t length) {
  size_t limit = std::min<size_t>(length, 8);
  uint32_t value = 0;
  bool taken = false;
  for (size_t i = 0; i < limit; ++i) {
    char c = text[i];
    uint32_t digit;
    if (!taken && (c == '0' || isBlank(c))) continue;
    if (isDigit(c)) {
      digit = static_cast<uint32_t>(c - '0');
    } else if (isHexDigit(c)) {
      digit = static_cast<uint32_t>(toUpper(c) - 'A' + 10);
    } else if (i == 1 && (c == 'X' || c == 'x')) {
      digit = 0;  // "0x" prefix
    } else {
      break;
    }
    value = value * 16 + digit;
    taken = true;
  }
  return value;
}

}  // namespace zq
