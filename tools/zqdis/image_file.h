// The two image files zqdis reads:
//   ".OBJ"      the chip file's name text, then one little-endian word per address from 0
//               to the program ROM top, nothing else (no length, no checksum);
//   Intel HEX   ":" records of hexadecimal bytes, byte address = word address * 2, low
//               byte first, as zqasm --hex writes them; only the words written are there.
#ifndef ZQASM_TOOLS_ZQDIS_IMAGE_FILE_H_
#define ZQASM_TOOLS_ZQDIS_IMAGE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zqdis {

// The largest program ROM: addresses 0 to 0FFFFh.
constexpr size_t kMaxImageWords = 0x10000;

struct ProgramImage {
  std::vector<uint16_t> words;   // word i at address i
  std::vector<uint8_t> written;  // Intel HEX: 1 where a word was given; empty for ".OBJ"
  std::vector<std::string> warnings;  // Intel HEX: records that give bytes given before
};

// The bytes of an Intel HEX file, as a table ROM image (".TAB.HEX") holds them: byte i at
// address i, with a flag where one was given.
struct ByteImage {
  std::vector<uint8_t> bytes, given;
  std::vector<std::string> warnings;
};

// True when `bytes` holds Intel HEX text: its first character is ":".
bool isIntelHex(const std::string& bytes);

// Reads Intel HEX: data (00), end (01), extended segment (02) and extended linear (04)
// address records; start address records (03, 05) are passed over. False with `error`
// ("line 3: bad checksum 4Ah (the record's bytes call for 38h)") for a malformed line or checksum,
// another record type, a missing end record, data past 10000h words, a word given only
// half, or no data at all.
// A record that gives a byte already given is kept (its bytes win) and noted in
// `warnings` ("line 5: gives again bytes 0010h-0013h given before").
bool readIntelHex(const std::string& text, ProgramImage& image, std::string& error);
// The same reading, byte by byte: any number of bytes up to 20000h.
bool readIntelHexBytes(const std::string& text, ByteImage& image, std::string& error);

// Index of the longest of `names` that `bytes` begins with, -1 when none does (an
// ".OBJ" begins with its chip's name text).
int matchHeader(const std::string& bytes, const std::vector<std::string>& names);

// Reads the words of an ".OBJ" after its header of `headerLength` bytes. False with
// `error` when there is no word, when the last one is cut in half, or when there are more
// than 10000h.
bool readObject(const std::string& bytes, size_t headerLength, ProgramImage& image,
                std::string& error);

}  // namespace zqdis

#endif  // ZQASM_TOOLS_ZQDIS_IMAGE_FILE_H_
