// The usage summary of zqasm --size: what a clean run put in program ROM (per bank of
// 1000h words and in all), in table ROM and in RAM, as text or as JSON for scripts.
// Filled from the run observer's images and the block's code end.
#ifndef ZQASM_TOOLS_CLI_SIZE_H_
#define ZQASM_TOOLS_CLI_SIZE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zqcli {

struct RomUse {
  size_t used = 0;  // words or cells the run wrote
  size_t size = 0;  // words or cells there are
};

struct SizeSummary {
  std::vector<RomUse> banks;  // program ROM, bank by bank of 1000h words (the last may be short)
  RomUse program;             // the whole program ROM
  RomUse table;               // size 0 when the chip has no table ROM
  size_t ramNames = 0;
  size_t ramNibbles = 0;
  unsigned codeEnd = 0;  // last code address + 1
};

// Counts the written flags: one per program word, one per table cell.
SizeSummary summarize(const std::vector<uint8_t>& programWritten,
                      const std::vector<uint8_t>& tableWritten, size_t ramNames, size_t ramNibbles,
                      unsigned codeEnd);

void printSize(FILE* out, const SizeSummary& summary);

// False when this zqasm was built without JSON support (nothing is written then).
bool printSizeJson(FILE* out, const SizeSummary& summary);
bool haveJson();

}  // namespace zqcli

#endif  // ZQASM_TOOLS_CLI_SIZE_H_
