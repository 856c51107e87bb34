// The bank convert area of banked chips. A CALL or JMP holds a 12-bit address and stays
// in its bank; one whose far target lies in another bank is pointed at a trampoline in
// the area of its own bank, which selects the target bank and jumps on from there.
#include "chip/bank_convert.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "chip/encoder.h"
#include "chip/object_file.h"
#include "driver/diagnostics.h"
#include "driver/persistent_settings.h"
#include "driver/run.h"
#include "driver/run_observer.h"
#include "platform/platform.h"

namespace zq {

namespace {

constexpr uint32_t kBankWords = 0x1000;
constexpr uint32_t kBankedTop = 0x2FFF;
constexpr int32_t kLastAreaOffset = 0x0FFE;  // 0FFFh of a bank holds its own word
constexpr uint16_t kJumpOpcode = 0xD000;
constexpr uint16_t kCallNibble = 0xC;  // high four bits of a CALL word
constexpr uint16_t kSelectBank[kConvertBanks] = {0xFE40, 0xFE50, 0xFE60};  // "SF2" 40h..60h
constexpr int kErrorAreaBounds = 59;

// One phase: the trampolines towards `bank` for the far targets from `targetLow` to
// `targetHigh` of the callers from `scanFrom` to `scanTo`, except those in `bank` itself.
// Before it the counters move by `counterStep`, which lines the three counters up so that
// the SF2 words of the other banks stand one offset before the target bank's JMP.
struct Phase {
  int bank;
  uint32_t scanFrom, scanTo;
  uint32_t targetLow, targetHigh;
  std::array<int32_t, kConvertBanks> counterStep;
};

void put(std::vector<uint16_t>& table, int32_t offset, uint16_t word) {
  size_t at = static_cast<size_t>(offset);
  if (at >= table.size()) table.resize(at + 1, 0);
  table[at] = word;
}

// `callers`: the addresses that have a far target, in ascending order.
void runPhase(const Phase& phase, const std::vector<uint16_t>& farTargets,
              const std::vector<uint32_t>& callers, uint16_t start, BankConvertTables& tables,
              std::vector<uint16_t>& image) {
  std::array<int32_t, kConvertBanks>& c = tables.counters;
  for (size_t b = 0; b < kConvertBanks; ++b) c[b] += phase.counterStep[b];
  if (farTargets.empty()) return;
  const size_t target = static_cast<size_t>(phase.bank);
  // Offset of this phase's JMP to each in-bank address: equal targets share a trampoline.
  std::unordered_map<uint16_t, int32_t> shared;
  uint32_t last = std::min<uint32_t>(phase.scanTo, static_cast<uint32_t>(farTargets.size() - 1));
  for (uint32_t a : callers) {
    if (a < phase.scanFrom) continue;
    if (a > last) break;
    if (a / kBankWords == target) continue;
    uint16_t t = farTargets[a];
    if (t < phase.targetLow || t > phase.targetHigh) continue;
    uint16_t inBank = t & 0x0FFF;
    auto entry = shared.emplace(inBank, c[target]);
    int32_t k = entry.first->second;
    if (entry.second) {
      put(tables.words[target], k, static_cast<uint16_t>(kJumpOpcode + inBank));
      for (size_t b = 0; b < kConvertBanks; ++b)
        if (b != target) put(tables.words[b], c[b], kSelectBank[target]);
      for (int32_t& counter : c) ++counter;
    }
    if (a < image.size())
      image[a] = static_cast<uint16_t>((image[a] & 0xF000) | ((start + k - 1) & 0x0FFF));
    if (a < tables.redirectedTo.size()) tables.redirectedTo[a] = static_cast<int16_t>(phase.bank);
  }
}

// Name and operand of an area word as the listing shows it.
const char* areaWordName(uint16_t word) {
  if (word == 0) return "NOP";
  return (word & 0xF000) == kJumpOpcode ? "JMP" : "SF2";
}
unsigned areaWordOperand(uint16_t word) {
  return (word & 0xF000) == kJumpOpcode ? word & 0x0FFFu : word & 0x00FFu;
}

// The listing summary of the three areas (6 lines).
void writeAreaSummary(AssemblerRun& run, uint16_t start, uint16_t end, int32_t size, int32_t used) {
  FILE* listing = run.files.listing;
  if (listing == nullptr) return;
  std::fprintf(listing, "\nBank Convert Area : ");
  for (unsigned b = 0; b < kConvertBanks; ++b) {
    if (b > 0) std::fprintf(listing, "%20s", "");
    std::fprintf(listing, "%04Xh--%04Xh (%Xh)\n", b * kBankWords + start, b * kBankWords + end,
                 static_cast<unsigned>(size));
  }
  std::fprintf(listing, "Bank Convert Area Use Size : %04Xh (%d)\n\n", static_cast<unsigned>(used),
               used);
  run.source.listingLineCount += 6;
}

// Each area from word 0 to its counter, with a ".SYM" line per word.
void writeAreaLines(AssemblerRun& run, const BankConvertTables& tables, uint16_t start) {
  FILE* listing = run.files.listing;
  int32_t& lines = run.source.listingLineCount;
  for (int b = 0; b < kConvertBanks; ++b) {
    if (listing != nullptr) {
      std::fprintf(listing, ";*****************************\n");
      std::fprintf(listing, ";***  BANK %d Convert Area ***\n", b);
      std::fprintf(listing, ";*****************************\n");
    }
    lines += 3;
    const std::vector<uint16_t>& words = tables.words[static_cast<size_t>(b)];
    int32_t count = tables.counters[static_cast<size_t>(b)];
    for (int32_t o = 0; o < count && static_cast<size_t>(o) < words.size(); ++o) {
      uint16_t word = words[static_cast<size_t>(o)];
      unsigned address = static_cast<unsigned>(b) * kBankWords + start + static_cast<unsigned>(o);
      if (listing != nullptr) {
        std::fprintf(listing, "             %04hX %04hX         %s",
                     static_cast<unsigned short>(address), word, areaWordName(word));
        if (word != 0) std::fprintf(listing, "      %02Xh", areaWordOperand(word));
        std::fprintf(listing, "\n");
      }
      ++lines;
      if (run.files.symbol != nullptr) std::fprintf(run.files.symbol, "%05X %d\n", address, lines);
    }
  }
}

// Closes the listing, marks the lines of the redirected instructions (found by the
// listing line numbers of ".SYM") and opens it again for appending. Lines are read whole,
// so a long line never shifts the count. A listing that cannot be read or replaced stays
// as it was.
void rewriteListing(AssemblerRun& run, const BankConvertTables& tables,
                    const std::vector<uint16_t>& image) {
  FILE*& listing = run.files.listing;
  if (listing == nullptr) return;
  // Listing line -> lowest redirected address that names it. Without a ".SYM" stream
  // there are no line numbers, so nothing is marked.
  std::map<int32_t, size_t> lineAddress;
  const std::vector<int32_t>& symbolLines = run.object.symbolLines;
  if (run.files.symbol != nullptr) {
    for (size_t a = 0; a < tables.redirectedTo.size() && a < symbolLines.size(); ++a)
      if (tables.redirectedTo[a] >= 0 && symbolLines[a] >= 1)
        lineAddress.emplace(symbolLines[a], a);
  }
  closeOutputStream(run.files, listing, run.files.lstName);
  std::string text;
  if (!lineAddress.empty() && readWholeFile(run.files.lstName, text)) {
    std::string rewritten;
    rewritten.reserve(text.size() + 32 * lineAddress.size());
    int32_t number = 0;
    for (size_t pos = 0; pos < text.size();) {
      size_t lineEnd = text.find('\n', pos);
      size_t next = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
      std::string line = text.substr(pos, next - pos);
      auto found = lineAddress.find(++number);
      if (found != lineAddress.end() && found->second < image.size())
        markRedirectedLine(line, image[found->second], tables.redirectedTo[found->second]);
      rewritten += line;
      pos = next;
    }
    replaceFile(run.files.lstName, rewritten);
  }
  listing = std::fopen(run.files.lstName.c_str(), "a");
}

// One more error with its text in the error file (no line end: the totals follow).
void reportAreaFailure(AssemblerRun& run, const char* text) {
  ++run.diagnostics.errorCount;
  if (run.files.error != nullptr) std::fputs(text, run.files.error);
  observeDiagnostic(ZQASM_ERROR, "", 0, -1, text);
}

}  // namespace

int32_t BankConvertTables::usedSize() const {
  return std::max({counters[0], counters[1], counters[2]});
}

BankConvertTables buildTrampolines(const std::vector<uint16_t>& farTargets, int32_t romTop,
                                   uint16_t start, uint16_t end, std::vector<uint16_t>& image) {
  BankConvertTables tables;
  // Word 0 of each area jumps over it: (end - 2FFFh) modulo 10000h is D000h + end + 1.
  for (std::vector<uint16_t>& words : tables.words) {
    words.assign(kMaxConvertAreaSize, 0);
    words[0] = static_cast<uint16_t>(end - kBankedTop);
  }
  tables.redirectedTo.assign(farTargets.size(), -1);
  uint32_t top = romTop < 0 ? 0 : static_cast<uint32_t>(romTop);
  // Phase 1 (to bank 0) scans banks 1 and 2, phase 2 (to bank 1) banks 0 and 2 up to the
  // ROM top, phase 3 (to bank 2) banks 0 and 1 whatever the top.
  const Phase phases[] = {
      {0, kBankWords, top, 0x0000, 0x0FFF, {0, 0, 0}},
      {1, 0, top, 0x1000, 0x1FFF, {0, 2, 1}},
      {2, 0, 0x1FFF, 0x2000, 0x7FFF, {1, 0, 2}},
  };
  // No phase takes a target above 7FFFh (FFFFh marks an address without one).
  std::vector<uint32_t> callers;
  for (uint32_t a = 0; a < farTargets.size(); ++a)
    if (farTargets[a] <= 0x7FFF) callers.push_back(a);
  for (const Phase& phase : phases) runPhase(phase, farTargets, callers, start, tables, image);
  return tables;
}

void markRedirectedLine(std::string& line, uint16_t imageWord, int bank) {
  // The word column follows the address; the include level marks that stand from
  // character 11 on push it right.
  size_t column = 17;
  for (size_t i = 11; i < line.size() && line[i] == '+'; ++i) ++column;
  uint32_t oldWord = column < line.size() ? readHex(line.substr(column, 4), 4) : 0;
  if (column + 4 <= line.size()) {
    char word[8];
    std::snprintf(word, sizeof word, "%04X", (oldWord & 0xF000u) | (imageWord & 0x0FFFu));
    line.replace(column, 4, word);
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  char mark[48];
  std::snprintf(mark, sizeof mark, " ;*** %s BANK %hd ***\n",
                (oldWord >> 12) == kCallNibble ? "CALL" : "JMP", static_cast<short>(bank));
  line += mark;
}

bool runBankConvertArea(AssemblerRun& run, std::vector<uint16_t>& words) {
  PersistentSettings& settings = persistentSettings();
  const uint16_t start = settings.bankConvertStart;
  int32_t size = settings.bankConvertEnd - start + 1;
  if (size > kMaxConvertAreaSize) {
    settings.bankConvertEnd = static_cast<uint16_t>(start + kMaxConvertAreaSize - 1);
    size = kMaxConvertAreaSize;
  }
  // An area through the last word of a bank (or past it) has no word 0 that can jump
  // over it, and its words would fall into the next bank or beyond the image. Only bounds
  // kept from an earlier run can get here: the directive reports them in its own run.
  if (size < 1 || start + size - 1 > kLastAreaOffset) {
    reportAreaFailure(run, kErrorTexts[kErrorAreaBounds]);
    return false;
  }
  const uint16_t end = settings.bankConvertEnd;

  BankConvertTables tables =
      buildTrampolines(run.object.farTargetTable, run.source.programRomTop, start, end, words);
  for (size_t b = 0; b < kConvertBanks; ++b)
    for (int32_t o = 0; o < size; ++o) {
      size_t at = b * kBankWords + start + static_cast<size_t>(o);
      if (at < words.size()) words[at] = tables.words[b][static_cast<size_t>(o)];
    }

  const int32_t used = tables.usedSize();
  writeAreaSummary(run, start, end, size, used);
  if (used > size) {
    char text[96];
    std::snprintf(text, sizeof text, "Bank Convert Area OVERFLOW (%d), Must be <= %d.", used, size);
    reportAreaFailure(run, text);
    return false;
  }
  writeAreaLines(run, tables, start);
  rewriteListing(run, tables, words);
  return true;
}

}  // namespace zq
