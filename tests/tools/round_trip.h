// The round trip that proves the decoder and the encoder against each other: an image is
// read back by zqdis (as ".OBJ" and as Intel HEX) and the source it gives is assembled
// again; the second image must equal the first word for word. Also a generator of
// programs that use every instruction form of a chip with random operands. Shared by the
// round-trip tests and the longer randomized run (zqdis_round_trip).
#ifndef ZQASM_TESTS_TOOLS_ROUND_TRIP_H_
#define ZQASM_TESTS_TOOLS_ROUND_TRIP_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "zqasm/assembler.h"

namespace zqtest {

// An image as a run leaves it.
struct Assembly {
  int result = 0;                         // of Run44Assembler
  long errors = 0;                        // errors and fatal conditions reported
  std::string object;                     // the ".OBJ" bytes; empty when none was written
  std::vector<uint8_t> program, written;  // the image and its written flags
  std::string messages;                   // the diagnostics, for a failure message
};

// Runs `params` with an observer that catches the image and the diagnostics; the source
// path and every other name of the block are taken as given.
Assembly assemble(AssemblerParams& params, const std::string& objectPath);

// Assembles `text` as dir/NAME.asm with the bundled chips and an empty mask option file.
Assembly assembleSource(const std::string& dir, const std::string& name, const std::string& text,
                        int32_t romTop);

// Reads `first` back as ".OBJ" and as Intel HEX (written into `dir`), assembles each
// source again in `dir` with the ROM top its heading names, and compares. "" when both
// give the first image again (and the HEX the same written words); else what differs.
// The bank convert area bounds are put back as they were. The chips are those of `chips`,
// the bundled ones when empty.
std::string roundTrip(const std::string& dir, const Assembly& first, const std::string& chips = "");

// A program for `chip` (the text form of chips/*.txt): every usable form of the chip in
// chunks at random places, random operands within their fields, jumps and calls to labels
// and addresses; banked ones over three banks with a random bank convert area, calls
// across banks, and a chunk that runs through the end of bank 0.
struct GeneratedProgram {
  std::string source;
  int32_t romTop = 0;
};
GeneratedProgram generateProgram(std::mt19937& random, const std::string& chipText, bool banked);

// Generates, assembles and round-trips one program in `dir`; "" on success, else the
// failure with the program.
std::string roundTripGenerated(const std::string& dir, std::mt19937& random,
                               const std::string& chipText, bool banked,
                               const std::string& chips = "");

// A chip of our own whose forms the bundled chips lack: one-value forms under split masks
// and a kind-1 form that is no jump, whose values may reach bits outside the mask, and
// two-value forms with split, overlapping and wider-than-12-bit fields.
extern const char kOddFormsChip[];

}  // namespace zqtest

#endif  // ZQASM_TESTS_TOOLS_ROUND_TRIP_H_
