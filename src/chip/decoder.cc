// Instruction decoder; see decoder.h. Each record of the chip is read backwards by the
// form search of the encoder: its kind and form nibble say which statement shape selects
// it (a mnemonic alone, "@HL", one value, two values), its masks where the values stand.
#include "chip/decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "chip/chip_file.h"
#include "chip/encoder.h"
#include "chip/instruction_fields.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/run.h"

namespace zq {

namespace {

// Statements encoded per word at most: the most specific ones. A chip file may hold 32767
// records that all fit one word; no real instruction set has more than a few per word.
constexpr size_t kMaxTriedStatements = 64;

// Operand 1 or 2 of a shape: a value recovered from a field, or the text "@HL".
enum class Slot { kValue, kHl };

// One statement to try: the record it reads, its operands and what it says.
struct Candidate {
  DecodedInstruction reading;
};

int bitCount(uint32_t value) {
  int count = 0;
  for (; value != 0; value &= value - 1) ++count;
  return count;
}

// The value written for a field of a two-value form: the field's value, plus 40h for a
// RAM operand, plus the first working register where the register rule applies.
uint32_t pairValue(uint32_t value, bool ramOperand, uint32_t registerBase) {
  return (value + (ramOperand ? kRamBase : 0) + registerBase) & 0xFFFFu;
}

// Whether `value` passes the encoder's test of a two-value field whose limit is `limit`.
bool fitsField(uint32_t value, uint32_t limit) { return value <= limit && bitsCheck(limit, value); }

// The field values x and y (shifted down) with opcode + (x << s1) + (y << s2) giving
// `d` + opcode in 16 bits; an operand written "@HL" (`use1`, `use2` false) adds nothing.
// Masks that do not overlap and stay within 12 bits once shifted down part `d` at once;
// others are searched: every value the smaller field allows is tried, the other field's
// value following from it.
bool pairValues(const OpcodeEntry& entry, uint32_t d, bool use1, bool use2, uint32_t& x,
                uint32_t& y) {
  const int s1 = maskShift(entry.mask1), s2 = maskShift(entry.mask2);
  const uint32_t limit1 = use1 ? static_cast<uint32_t>(entry.mask1) >> s1 : 0;
  const uint32_t limit2 = use2 ? static_cast<uint32_t>(entry.mask2) >> s2 : 0;
  const uint32_t mask1 = use1 ? entry.mask1 : 0, mask2 = use2 ? entry.mask2 : 0;
  x = y = 0;
  if ((mask1 & mask2) == 0 && limit1 <= 0x0FFF && limit2 <= 0x0FFF) {
    if (((d & mask1) + (d & mask2)) != d) return false;
    x = (d & mask1) >> s1;
    y = (d & mask2) >> s2;
    return true;
  }
  // The other field's value once the first holds `value`.
  auto rest = [d](uint32_t placed, int shift, uint32_t limit, uint32_t& value) {
    const uint32_t left = (d - placed) & 0xFFFFu;
    if ((left & ((1u << shift) - 1)) != 0) return false;
    value = left >> shift;
    return fitsField(value, limit);
  };
  // Field A is searched, field B follows; A is the one with fewer values to try.
  const bool firstSearched = !use2 || (use1 && limit1 <= limit2);
  const uint32_t limitA = firstSearched ? limit1 : limit2;
  const int shiftA = firstSearched ? s1 : s2, shiftB = firstSearched ? s2 : s1;
  const uint32_t limitB = firstSearched ? limit2 : limit1;
  uint32_t& a = firstSearched ? x : y;
  uint32_t& b = firstSearched ? y : x;
  auto tryValue = [&](uint32_t value) {
    if (!fitsField(value, limitA) || !rest((value << shiftA) & 0xFFFFu, shiftB, limitB, b))
      return false;
    a = value;
    return true;
  };
  if (limitA <= 0x0FFF) {
    // Below 1000h only the limit's own bits pass: its subsets, in rising order.
    for (uint32_t value = 0;; value = ((value | ~limitA) + 1) & limitA) {
      if (tryValue(value)) return true;
      if (value == limitA) break;
    }
    return false;
  }
  for (uint32_t value = 0; value <= limitA; ++value)
    if (tryValue(value)) return true;
  return false;
}

// The statements that select `entry` (index `index`) and would give `word` at `address`,
// in the order they are tried; nothing when the word lacks the record's fixed bits.
void addCandidates(const AssemblerRun& run, const OpcodeEntry& entry, int index, uint16_t word,
                   uint32_t address, std::vector<Candidate>& out) {
  const uint32_t d = (word - entry.opcode) & 0xFFFFu;
  const int nibble = entry.form & kFormNibble;
  const int kind = entry.kind;
  const bool ram1 = entry.form & kRamOperand1, ram2 = entry.form & kRamOperand2;

  DecodedInstruction base;
  base.record = index;
  base.mnemonic = upperCase(std::string(entry.mnemonic, strnlen(entry.mnemonic, 6)));
  auto add = [&](const DecodedInstruction& reading, uint32_t fieldMask) {
    Candidate candidate{reading};
    candidate.reading.fixedBits = 16 - bitCount(fieldMask & 0xFFFFu);
    out.push_back(candidate);
  };

  // Shapes by the form search: kind 0 alone or "@HL"; kinds 1, 5, 11 one value (nibble 0);
  // kinds 2, 3 "@HL" on one side (nibble 15) or two values; kinds 22, 23 two values.
  if (kind == kKindPlain) {
    if (d != 0 || (nibble != 0 && nibble != kFormHl)) return;
    DecodedInstruction reading = base;
    if (nibble == kFormHl) reading.operands.push_back("@HL");
    add(reading, 0);
    return;
  }
  if (kind == kKindAddress || kind == kKindShifted || kind == kKindBits) {
    // One value: the word is the opcode plus the value (kind 5: shifted into place), in
    // 16 bits. Kinds 1 and 5 check only its size against the field, so a value may reach
    // bits outside the mask, as 39Fh does under the mask 0F0Fh.
    if (nibble != 0) return;
    const int shift = kind == kKindShifted ? maskShift(entry.mask1) : 0;
    const uint32_t limit = static_cast<uint32_t>(entry.mask1) >> shift;
    if ((d & ((1u << shift) - 1)) != 0 || (d >> shift) > limit) return;
    std::vector<uint32_t> fields{d >> shift};
    // The bit-select rule sets bit 5 along with bit 6 on some models: the word with both
    // may come from a value with bit 6 alone.
    if (kind == kKindBits && (d & 0x60) == 0x60) fields.push_back(d & ~0x20u);
    for (uint32_t field : fields) {
      // Kind 11 takes only values whose bits pass the check against the mask.
      if (kind == kKindBits && !bitsCheck(entry.mask1, field)) continue;
      DecodedInstruction reading = base;
      uint32_t value = (field + (ram1 ? kRamBase : 0)) & 0xFFFFu;
      if (kind == kKindAddress && isConditionalJump(base.mnemonic)) {
        // The field is an offset in the half page of the instruction, within its bank.
        const uint32_t bank = run.source.bankedRom ? (address & 0xF000u) : 0;
        value += bank + (address & kPageHalf);
        reading.branch = Branch::kConditional;
      } else if (kind == kKindAddress && isCallOrJump(base.mnemonic)) {
        // A banked CALL/JMP holds the address within the bank of the instruction.
        if (run.source.bankedRom) value += address & 0xF000u;
        reading.branch = Branch::kCallOrJump;
      }
      reading.target = value;
      reading.operands.push_back(hexNumber(value, reading.branch == Branch::kNone ? 2 : 4));
      add(reading, entry.mask1);
    }
    return;
  }
  const bool pair = kind == kKindPair || kind == kKindPairHlFirst || kind == kKindRegisterFirst ||
                    kind == kKindRegisterSecond;
  if (!pair) return;
  Slot slot1 = Slot::kValue, slot2 = Slot::kValue;
  if (nibble == kFormHl) {
    if (kind == kKindPair) {
      slot2 = Slot::kHl;
    } else if (kind == kKindPairHlFirst) {
      slot1 = Slot::kHl;
    } else {
      return;  // a register form with "@HL" takes no statement
    }
  }
  uint32_t x = 0, y = 0;
  if (!pairValues(entry, d, slot1 == Slot::kValue, slot2 == Slot::kValue, x, y)) return;
  const uint32_t registerBase = workingRegisterBase(chipModel(run));
  // The register rule takes a value at or above the first working register down to the
  // field; a smaller value is taken as it is, with a warning, and is tried last.
  const bool rule1 = kind == kKindRegisterFirst, rule2 = kind == kKindRegisterSecond;
  for (int plain = 0; plain < 2; ++plain) {
    if (plain == 1 && !rule1 && !rule2) break;
    DecodedInstruction reading = base;
    uint32_t mask = 0;
    if (slot1 == Slot::kHl) {
      reading.operands.push_back("@HL");
    } else {
      reading.operands.push_back(
          hexNumber(pairValue(x, ram1, rule1 && plain == 0 ? registerBase : 0)));
      mask |= entry.mask1;
    }
    if (slot2 == Slot::kHl) {
      reading.operands.push_back("@HL");
    } else {
      reading.operands.push_back(
          hexNumber(pairValue(y, ram2, rule2 && plain == 0 ? registerBase : 0)));
      mask |= entry.mask2;
    }
    add(reading, mask);
  }
}

}  // namespace

std::string DecodedInstruction::text() const {
  std::string text = mnemonic;
  for (size_t i = 0; i < operands.size(); ++i) {
    text += i == 0 ? " " : ", ";
    text += operands[i];
  }
  return text;
}

std::string hexNumber(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  std::string number = text;
  if (!isDigit(number[0])) number.insert(number.begin(), '0');
  return number + "h";
}

int encodeStatementAt(AssemblerRun& run, const std::string& statement, uint32_t address,
                      uint16_t& word) {
  SourceState& source = run.source;
  dropLineDiagnostics(run);
  source.statementAddress = source.locationCounter = static_cast<int32_t>(address & 0xFFFF);
  const int n = splitStatement(run, statement);
  if (n < 1 || n > kMaxFields) return -1;
  // The form search looks at the field after the last operand.
  source.field[static_cast<size_t>(n) + 1].clear();
  source.wordText.clear();
  const int result = encodeInstruction(run, n, 2);
  const DiagnosticsState& d = run.diagnostics;
  const bool refused = result != 2 || !d.lineErrors.empty() || source.wordText.size() != 4;
  const bool warned = !d.lineWarnings.empty();
  dropLineDiagnostics(run);
  if (refused) return -1;
  word = static_cast<uint16_t>(readHexChars(source.wordText.data(), 4));
  return warned ? 0 : 1;
}

DecodeResult decodeWord(AssemblerRun& run, uint16_t word, uint32_t address,
                        DecodedInstruction& out) {
  const ChipState& chip = run.chip;
  const size_t count = chip.instructionCount > 0 ? static_cast<size_t>(chip.instructionCount) : 0;
  std::vector<Candidate> candidates;
  for (size_t i = 0; i < count && i < chip.opcodes.size(); ++i) {
    const OpcodeEntry& entry = chip.opcodes[i];
    // The table ends at an empty mnemonic; one stored in lower case never matches.
    if (entry.mnemonic[0] == '\0') break;
    if (isLowerLetter(entry.mnemonic[0])) continue;
    addCandidates(run, entry, static_cast<int>(i), word, address, candidates);
  }
  if (candidates.empty()) return DecodeResult::kNoRecord;
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) {
                     return a.reading.fixedBits > b.reading.fixedBits;
                   });
  if (candidates.size() > kMaxTriedStatements) candidates.resize(kMaxTriedStatements);
  const DecodedInstruction* warning = nullptr;
  for (Candidate& candidate : candidates) {
    uint16_t encoded = 0;
    const int result = encodeStatementAt(run, candidate.reading.text(), address, encoded);
    if (result < 0 || encoded != word) continue;
    if (result == 1) {
      out = candidate.reading;
      return DecodeResult::kReassembles;
    }
    if (warning == nullptr) {
      candidate.reading.warns = true;
      warning = &candidate.reading;
    }
  }
  if (warning != nullptr) {
    out = *warning;
    return DecodeResult::kReassembles;
  }
  out = candidates.front().reading;
  return DecodeResult::kNoText;
}

}  // namespace zq
