// Bank convert area: trampolines that let CALL and JMP cross banks on banked chips,
// built once after pass 2 by the object writer on the word image, before ".OBJ" is
// written. Also lists the areas and marks the redirected lines of the listing.
#ifndef ZQASM_CHIP_BANK_CONVERT_H_
#define ZQASM_CHIP_BANK_CONVERT_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zq {

struct AssemblerRun;

constexpr int kConvertBanks = 3;
constexpr int32_t kMaxConvertAreaSize = 512;

// The areas as the three phases leave them. A trampoline is two words at the same
// offset pair: "SF2" (FE40h/FE50h/FE60h selects bank 0/1/2) at offset k - 1 in the
// caller's bank, "JMP" (D000h + in-bank address) at offset k in the target bank; the
// caller's CALL/JMP is pointed at the SF2, and execution goes on in the new bank.
//
//   offset:   0           1       2 ...
//   bank b:   JMP end+1   (first trampolines, from 1 in banks 1, 2 and from 2 in bank 0)
struct BankConvertTables {
  // Words per bank, indexed by offset from the area start; word 0 jumps over the area.
  // At least kMaxConvertAreaSize words each; more only when the area overflows.
  std::array<std::vector<uint16_t>, kConvertBanks> words;
  // Next free offset per bank (c0, c1, c2); they start at 2, 1 and 1.
  std::array<int32_t, kConvertBanks> counters{{2, 1, 1}};
  // Per ROM address below 3000h: the bank it was redirected to, or -1.
  std::vector<int16_t> redirectedTo;
  // The addresses redirected, in ascending order.
  std::vector<uint32_t> redirected;

  int32_t usedSize() const;
};

// Runs the three phases for areas from `start` to `end` (in-bank offsets): fills the
// tables from the far targets (FFFFh none, one per address below 3000h) and points the
// low 12 bits of each redirected word of `image` at its trampoline. Addresses above
// `romTop` are not scanned by phases 1 and 2, as they hold no code. `image` itself is not
// given the area words.
BankConvertTables buildTrampolines(const std::vector<uint16_t>& farTargets, int32_t romTop,
                                   uint16_t start, uint16_t end, std::vector<uint16_t>& image);

// Rewrites the listing line of a redirected instruction: its word column gets the low 12
// bits of `imageWord`, and " ;*** CALL BANK n ***" (or JMP) replaces its line end.
void markRedirectedLine(std::string& line, uint16_t imageWord, int bank);

// Cuts the area to 512 words (the cut persists), builds the trampolines into `words`
// (3002h words), writes the area summary and lines to the listing and ".SYM", and marks
// the redirected listing lines. False, after counting one more error and writing its text
// to the error file, when the trampolines do not fit the area or the area does not fit
// below the last word of a bank; false also after error 22 on the line of each redirected
// instruction whose trampoline needs a word above the ROM top.
bool runBankConvertArea(AssemblerRun& run, std::vector<uint16_t>& words);

}  // namespace zq

#endif  // ZQASM_CHIP_BANK_CONVERT_H_
