// Usage summary of zqasm --size.
#include "zqasm/cli_size.h"

#include <algorithm>

#ifdef ZQASM_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

namespace zqcli {

namespace {

constexpr size_t kBankWords = 0x1000;

size_t countWritten(const std::vector<uint8_t>& flags, size_t begin, size_t end) {
  return static_cast<size_t>(std::count_if(flags.begin() + static_cast<std::ptrdiff_t>(begin),
                                           flags.begin() + static_cast<std::ptrdiff_t>(end),
                                           [](uint8_t flag) { return flag != 0; }));
}

// "18 of 4096 words (0.4%)"; no share of an empty memory.
void printUse(FILE* out, const RomUse& use, const char* unit) {
  std::fprintf(out, "%zu of %zu %s", use.used, use.size, unit);
  if (use.size > 0)
    std::fprintf(out, " (%.1f%%)",
                 100.0 * static_cast<double>(use.used) / static_cast<double>(use.size));
  std::fputc('\n', out);
}

}  // namespace

SizeSummary summarize(const std::vector<uint8_t>& programWritten,
                      const std::vector<uint8_t>& tableWritten, size_t ramNames, size_t ramNibbles,
                      unsigned codeEnd) {
  SizeSummary s;
  for (size_t begin = 0; begin < programWritten.size(); begin += kBankWords) {
    const size_t end = std::min(programWritten.size(), begin + kBankWords);
    s.banks.push_back({countWritten(programWritten, begin, end), end - begin});
    s.program.used += s.banks.back().used;
  }
  s.program.size = programWritten.size();
  s.table = {countWritten(tableWritten, 0, tableWritten.size()), tableWritten.size()};
  s.ramNames = ramNames;
  s.ramNibbles = ramNibbles;
  s.codeEnd = codeEnd;
  return s;
}

void printSize(FILE* out, const SizeSummary& s) {
  for (size_t bank = 0; bank < s.banks.size(); ++bank) {
    std::fprintf(out, "program ROM bank %zu: ", bank);
    printUse(out, s.banks[bank], "words");
  }
  std::fprintf(out, "program ROM: ");
  printUse(out, s.program, "words");
  std::fprintf(out, "table ROM: ");
  printUse(out, s.table, "cells");
  std::fprintf(out, "RAM: %zu names, %zu nibbles\n", s.ramNames, s.ramNibbles);
  std::fprintf(out, "code end: %04Xh\n", s.codeEnd);
}

bool haveJson() {
#ifdef ZQASM_HAVE_JSON
  return true;
#else
  return false;
#endif
}

bool printSizeJson(FILE* out, const SizeSummary& s) {
#ifdef ZQASM_HAVE_JSON
  nlohmann::ordered_json banks = nlohmann::ordered_json::array();
  for (size_t bank = 0; bank < s.banks.size(); ++bank)
    banks.push_back({{"bank", bank}, {"used", s.banks[bank].used}, {"size", s.banks[bank].size}});
  const nlohmann::ordered_json summary = {
      {"programRom", {{"banks", banks}, {"used", s.program.used}, {"size", s.program.size}}},
      {"tableRom", {{"used", s.table.used}, {"size", s.table.size}}},
      {"ram", {{"names", s.ramNames}, {"nibbles", s.ramNibbles}}},
      {"codeEnd", s.codeEnd},
  };
  std::fprintf(out, "%s\n", summary.dump(2).c_str());
  return true;
#else
  (void)out;
  (void)s;
  return false;
#endif
}

}  // namespace zqcli
