// Instruction encoder: splits an instruction statement, finds the form of the mnemonic
// in the chip's table, evaluates and checks the operands and builds the 16-bit word.
//
// Every instruction is one word: the record's opcode plus each operand shifted to the
// lowest set bit of its mask. For example MOV (flag 10h, mask 1 03F0h, mask 2 000Fh):
//
//   15          10 9             4 3       0
//   |  opcode 2000h  | RAM - 40h     | value   |      MOV 45h, 3  ->  2053h
//
// Conditional jumps keep 11 bits (mask 07FFh) within the current 2K page; CALL and JMP
// keep 12 bits (mask 0FFFh) within the current bank. The word leaves the encoder twice as
// text: the code text "LL HH" (low byte first, read back into the instruction record)
// and the word text "HHLL" (the listing's code column).
#ifndef ZQASM_CHIP_ENCODER_H_
#define ZQASM_CHIP_ENCODER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

struct AssemblerRun;

// Instruction statement. 1 assembled, 0 empty, -1 more than 32 fields or refused,
// resultUnknownMnemonic (nothing raised: the router reports it, a line that calls a macro
// is none), resultBadOperandCount, resultRomOverflow (moved from the last word of a bank
// beyond the ROM), or resultFatal. An instruction that moves to the next bank is encoded
// for the address it moves to.
int assembleInstruction(AssemblerRun& run, std::string_view text, int pass, int& fieldCount,
                        uint32_t lineNumber);
// Splits a statement into field[1..]; applies DEFSTRING substitution. Returns the count
// (33 when a 33rd field was met). A field longer than kMaxFieldLength keeps its first
// characters and sets SourceState::fieldCut (see reportFieldCut).
int splitStatement(AssemblerRun& run, std::string_view text);
// The checks of a statement's operands for the trap warnings 7 to 9 (encoder.cc).
struct OperandChecks;
// Encodes the split statement. 2 success, 0 n < 1, -1 refused, resultUnknownMnemonic,
// resultBadOperandCount. In pass 2 with SourceState::operandChecks it checks the
// operands itself, into `checks`, and raises what they find once the word is encoded.
int encodeInstruction(AssemblerRun& run, int n, int pass, OperandChecks* checks = nullptr);
// The operands a chip record takes, as a statement writes them: "value, @HL", "address  |
// page, address" for the two forms of CALL and JMP, "" for none. The form nibble 15 puts
// "@HL" in place of an operand (the second for kind 2, the first for kind 3, the only one
// for kind 0).
std::string operandForm(std::string_view mnemonic, uint8_t form, uint8_t kind);
// Reads up to `count` (all when negative, at most 8) hexadecimal characters.
uint32_t readHex(const std::string& text, int count);
// The same over the `length` characters at `text`.
uint32_t readHexChars(const char* text, size_t length);

}  // namespace zq

#endif  // ZQASM_CHIP_ENCODER_H_
