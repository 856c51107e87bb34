// A program image read back word by word, for the disassembler: which words are
// instructions (decoded, decoder.h), which belong to the bank convert area that the
// assembler builds by itself, which are unwritten, and which no statement can put where
// they stand. On banked chips it also finds the area's bounds and tells each routed CALL
// or JMP by the trampoline its word points at:
//
//   bank 0:  0011  C102   CALL -> 0102h in the area of bank 0
//            0102  FE50   SF2 50h: select bank 1 ...
//   bank 1:  1103  D001   ... and go on at 1103h: JMP 001h, so the real target is 1001h
//
// and proves the reading by building the areas again from the targets found, as the
// assembler will (buildTrampolines), and comparing them with the image.
#ifndef ZQASM_CHIP_IMAGE_READER_H_
#define ZQASM_CHIP_IMAGE_READER_H_

#include <cstdint>
#include <vector>

#include "chip/decoder.h"

namespace zq {

struct AssemblerRun;

enum class WordRole {
  kEmpty,        // unwritten (or a run of the fill word of a whole image)
  kInstruction,  // `instruction` encodes back to the word here
  kArea,         // a word of a bank convert area, written by the assembler
  kUnwritable,   // no statement puts this word here (`reason`)
};

enum class Unwritable {
  kNone,
  kNoRecord,   // no record of the chip has the word's fixed bits
  kNoText,     // records fit, but none of their statements gives the word
  kBankEnd,    // 0FFFh and 1FFFh of a banked chip hold only 0000h
  kCphlPlace,  // CPHL may not stand at this address of a banked chip
  kInArea,     // inside the bank convert area of a bank that has no trampolines
};

enum class AreaWord {
  kNone,
  kJumpOver,  // word 0: JMP to the word after the area
  kSelect,    // SF2 40h/50h/60h: first word of a trampoline, selects the target bank
  kJumpOn,    // JMP in the target bank: second word of a trampoline
  kUnused,    // 0000h
  kOther,     // anything else
};

struct WordReading {
  WordRole role = WordRole::kEmpty;
  uint16_t word = 0;
  Unwritable reason = Unwritable::kNone;
  // kInstruction: the statement (for a routed CALL/JMP with its real target); kNoText:
  // the nearest statement, which encodes to another word.
  DecodedInstruction instruction;
  int32_t via = -1;  // a routed CALL/JMP: address of its trampoline's SF2
  AreaWord area = AreaWord::kNone;
  // kSelect and kJumpOn: the destination their trampoline leads to; -1 when not found.
  int32_t farTarget = -1;
  // False for an area word that the assembler would not build again from the routed
  // CALLs and JMPs read here.
  bool rebuilt = true;
  // An area word that the image holds but the assembler leaves unwritten: a fill word
  // where the area has no trampoline, as a device read-back gives it (Intel HEX only).
  bool writtenFill = false;
};

struct ImageReading {
  int32_t romTop = -1;
  bool banked = false;                          // romTop above 4096
  uint16_t fillWord = 0;                        // the word of unwritten addresses in ".OBJ"
  bool areaFound = false;                       // banked only: its bounds below
  uint16_t areaStart = 0x100, areaEnd = 0x1FF;  // in-bank offsets (the default if not found)
  bool areaRebuilt = true;                      // building the areas again gives the image's areas
  std::vector<WordReading> words;               // one per address of the image

  // Words the source cannot reproduce: unwritable words, area words not rebuilt and area
  // fill words the image holds as written.
  size_t unreproducedCount() const;
};

// Reads `words` (word i at address i) of a chip with program ROM top `romTop` (the run's
// chip must be loaded). `written` holds a flag per word where the image says which words
// it holds (Intel HEX); empty for a whole image (".OBJ"), where a run of four or more fill
// words, or a fill word that no statement can write, counts as unwritten. Sets the run's
// programRomTop and bankedRom. Never fails; words beyond 10000h are not read. With
// `fillAsGaps`, fill words of an image with `written` flags are read as a whole image's.
ImageReading readImage(AssemblerRun& run, const std::vector<uint16_t>& words,
                       const std::vector<uint8_t>& written, int32_t romTop,
                       bool fillAsGaps = false);

}  // namespace zq

#endif  // ZQASM_CHIP_IMAGE_READER_H_
