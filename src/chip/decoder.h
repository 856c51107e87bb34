// Instruction decoder: the encoder read backwards. For a word at an address it takes
// each record of the chip whose fixed bits the word has, recovers the operand values
// from the record's fields, writes the statement in the source syntax, and keeps it only
// when the encoder, handed that statement at that address, builds the same word without
// a diagnostic. The records and the field rules (instruction_fields.h) are the ones the
// encoder reads, so every reading it returns is proven by the encoder itself.
//
// For example MOV (flag 10h, mask 1 03F0h, mask 2 000Fh, opcode 2000h):
//
//   word 2053h - opcode = 0053h  ->  field 1 = 05h (+ 40h, a RAM operand) = 45h
//                                     field 2 = 03h                         = 03h
//   "MOV 45h, 03h" encodes to 2053h again: kept.
#ifndef ZQASM_CHIP_DECODER_H_
#define ZQASM_CHIP_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zq {

struct AssemblerRun;

enum class Branch {
  kNone,
  kConditional,  // JB0 ... JC: a destination in the half page of the instruction
  kCallOrJump,   // CALL, JMP: a destination in the bank (routed across banks)
};

struct DecodedInstruction {
  int record = -1;                    // index of the record in the opcode table
  int fixedBits = 0;                  // bits of the word that no written operand fills
  std::string mnemonic;               // upper case
  std::vector<std::string> operands;  // source syntax: "45h", "@HL"
  Branch branch = Branch::kNone;
  size_t targetOperand = 0;  // operands[targetOperand] is the destination
  uint32_t target = 0;       // the destination as written
  bool warns = false;        // the encoder warns on the statement (the word is the same)

  // "MNEMONIC op1, op2".
  std::string text() const;
};

enum class DecodeResult {
  kReassembles,  // `out` encodes back to the word
  kNoRecord,     // no record has the word's fixed bits
  kNoText,       // records fit, but no statement of theirs encodes to the word; `out`
                 // holds the most specific of those statements
};

// The most specific reading of `word` at `address`: among the statements that encode back
// to it, the one whose record has the most fixed bits, the first in file order among
// equals; a statement that draws a warning only when no other does. The run holds the
// loaded chip and the ROM (programRomTop, bankedRom); its line diagnostics are cleared.
DecodeResult decodeWord(AssemblerRun& run, uint16_t word, uint32_t address,
                        DecodedInstruction& out);

// Encodes `statement` as an instruction at `address`, as pass 2 would, without recording
// it. 1 with `word` set when it encodes without a diagnostic, 0 when it encodes with
// warnings only, -1 when the encoder refuses it or reports an error.
int encodeStatementAt(AssemblerRun& run, const std::string& statement, uint32_t address,
                      uint16_t& word);

// A number in the source syntax: hexadecimal, at least `digits` digits, "h" behind and a
// "0" in front when it would begin with a letter (05h, 45h, 0FFh, 0D00Ah).
std::string hexNumber(uint32_t value, int digits = 2);

}  // namespace zq

#endif  // ZQASM_CHIP_DECODER_H_
