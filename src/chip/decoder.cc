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
#include "driver/diagnostics.h"
#include "driver/run.h"
#include "platform/text.h"

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

// The value written for a field of a two-value form: the field shifted down, plus 40h for
// a RAM operand, plus the first working register where the register rule applies.
uint32_t pairValue(uint32_t field, uint16_t mask, bool ramOperand, uint32_t registerBase) {
  return (field >> maskShift(mask)) + (ramOperand ? kRamBase : 0) + registerBase;
}

// The statements that select `entry` (index `index`) and would give `word` at `address`,
// in the order they are tried; nothing when the word lacks the record's fixed bits.
void addCandidates(const AssemblerRun& run, const OpcodeEntry& entry, int index, uint16_t word,
                   uint32_t address, std::vector<Candidate>& out) {
  const uint32_t d = (word - entry.opcode) & 0xFFFFu;
  const uint32_t field1 = d & entry.mask1, field2 = d & entry.mask2;
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
    if (nibble != 0 || d != field1) return;
    DecodedInstruction reading = base;
    uint32_t value =
        (kind == kKindShifted ? field1 >> maskShift(entry.mask1) : field1) + (ram1 ? kRamBase : 0);
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
  const uint32_t used1 = slot1 == Slot::kValue ? field1 : 0;
  const uint32_t used2 = slot2 == Slot::kValue ? field2 : 0;
  if (((used1 + used2) & 0xFFFFu) != d) return;
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
          hexNumber(pairValue(field1, entry.mask1, ram1, rule1 && plain == 0 ? registerBase : 0)));
      mask |= entry.mask1;
    }
    if (slot2 == Slot::kHl) {
      reading.operands.push_back("@HL");
    } else {
      reading.operands.push_back(
          hexNumber(pairValue(field2, entry.mask2, ram2, rule2 && plain == 0 ? registerBase : 0)));
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
