// The bank convert area of banked chips. A CALL or JMP holds a 12-bit address and stays
// in its bank; one whose far target lies in another bank is pointed at a trampoline in
// the area of its own bank, which selects the target bank and jumps on from there.
#include "chip/bank_convert.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "chip/encoder.h"
#include "chip/object_file.h"
#include "platform/platform.h"
#include "services/diagnostics.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "services/run_observer.h"

namespace zq {

namespace {

constexpr uint32_t kBankWords = 0x1000;
constexpr uint32_t kBankedTop = 0x2FFF;
constexpr int32_t kLastAreaOffset = 0x0FFE;  // 0FFFh of a bank holds its own word
constexpr uint16_t kJumpOpcode = 0xD000;
constexpr uint16_t kCallNibble = 0xC;  // high four bits of a CALL word
constexpr uint16_t kSelectBank[kConvertBanks] = {0xFE40, 0xFE50, 0xFE60};  // "SF2" 40h..60h
constexpr int kErrorOutOfRom = 22;
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

// Copies the listing `name`, at most `limit` characters of it, line by line through a
// temporary file beside it, marking the lines named in `lineAddress`, and moves the copy
// over it. Only a regular file is read, and never more than the run wrote into it, so a
// listing that is a device cannot feed the copy for ever; a line too long to hold (none
// that the listing writers make) goes through in pieces, unmarked. On any failure the
// listing stays as it was.
void markListingLines(const std::string& name, size_t limit,
                      const std::map<int32_t, size_t>& lineAddress, const BankConvertTables& tables,
                      const std::vector<uint16_t>& image) {
  constexpr size_t kMaxHeldLine = 65536;
  FILE* in = openForReading(name, "r");
  if (in == nullptr) return;
  ReplacingFile replacement(name, "w");
  FILE* out = replacement.stream();
  if (out == nullptr) {
    std::fclose(in);
    return;
  }
  bool ok = true;
  auto put = [&](const char* text, size_t size) {
    ok = ok && std::fwrite(text, 1, size, out) == size;
  };
  // Lines that are not marked go out as they stand, many at a time; only a line named in
  // `lineAddress` is held until it is whole.
  int32_t number = 0;         // lines ended so far
  bool unmarkedOpen = false;  // a line that is not marked has begun to go out
  std::string line;           // the marked line being held
  bool partial = false;       // the start of the held line has gone out already
  auto target = lineAddress.begin();
  auto nextIsMarked = [&]() {
    while (target != lineAddress.end() && target->first <= number) ++target;
    return target != lineAddress.end() && target->first == number + 1;
  };
  auto endLine = [&]() {
    ++number;
    if (!partial && target != lineAddress.end() && target->first == number &&
        target->second < image.size())
      markRedirectedLine(line, image[target->second], tables.redirectedTo[target->second]);
    put(line.data(), line.size());
    line.clear();
    partial = false;
  };
  // Large blocks: runs of unmarked lines go out in as few writes as they came in.
  constexpr size_t kBlockSize = 65536;
  const std::unique_ptr<char[]> storage(new char[kBlockSize]);
  char* const block = storage.get();
  for (size_t left = limit; ok && left > 0;) {
    const size_t got = std::fread(block, 1, std::min(kBlockSize, left), in);
    if (got == 0) break;
    left -= got;
    size_t i = 0;
    // The end of the line that runs on from `from`, its line feed included (got when the
    // block ends first).
    auto lineEnd = [&](size_t from) {
      const void* feed = std::memchr(block + from, '\n', got - from);
      return feed == nullptr ? got
                             : static_cast<size_t>(static_cast<const char*>(feed) - block) + 1;
    };
    while (i < got) {
      if (unmarkedOpen) {
        const size_t stop = lineEnd(i);
        put(block + i, stop - i);
        if (block[stop - 1] == '\n') {
          ++number;
          unmarkedOpen = false;
        }
        i = stop;
      } else if (!line.empty() || partial || nextIsMarked()) {
        const size_t stop = lineEnd(i);
        line.append(block + i, stop - i);
        i = stop;
        if (line.back() == '\n') {
          endLine();
        } else if (line.size() > kMaxHeldLine) {
          put(line.data(), line.size());
          line.clear();
          partial = true;
        }
      } else {
        // Whole lines up to the one before the next marked line or the block's end.
        size_t stop = i;
        do {
          stop = lineEnd(stop);
          if (block[stop - 1] != '\n') {
            unmarkedOpen = true;
            break;
          }
          ++number;
        } while (stop < got && !nextIsMarked());
        put(block + i, stop - i);
        i = stop;
      }
    }
  }
  if (!line.empty()) endLine();
  ok = !std::ferror(in) && ok;
  std::fclose(in);
  // Unless committed, the temporary file goes and the listing stays as it was.
  if (ok) replacement.commit();
}

// Closes the listing, marks the lines of the redirected instructions (found by the
// listing line numbers of ".SYM") and opens it again for appending. Lines are read whole,
// so a long line never shifts the count.
void rewriteListing(AssemblerRun& run, const BankConvertTables& tables,
                    const std::vector<uint16_t>& image) {
  FILE*& listing = run.files.listing;
  if (listing == nullptr) return;
  // Listing line -> lowest redirected address that names it. Without a ".SYM" stream
  // there are no line numbers, so nothing is marked.
  std::map<int32_t, size_t> lineAddress;
  const std::vector<int32_t>& symbolLines = run.object.symbolLines;
  if (run.files.symbol != nullptr || !run.files.wants(kOutputSym)) {
    for (const uint32_t a : tables.redirected) {
      if (a >= symbolLines.size()) break;
      if (symbolLines[a] >= 1) lineAddress.emplace(symbolLines[a], a);
    }
  }
  // What the run wrote: the most that is read back.
  const long written = std::ftell(listing);
  closeOutputStream(run.files, listing, run.files.lstName);
  if (!lineAddress.empty() && written > 0)
    markListingLines(run.files.lstName, static_cast<size_t>(written), lineAddress, tables, image);
  listing = openFile(run.files.lstName, "a");
}

// Error 22 on the line of each redirected instruction whose trampoline has a word above
// the ROM top, where the image has no word: its SF2 in the caller's bank or its JMP in the
// target bank. The other area words may lie above the top. True when there was none.
bool trampolinesInsideRom(AssemblerRun& run, const BankConvertTables& tables,
                          const std::vector<uint16_t>& words) {
  const int64_t top = run.source.programRomTop;
  const ObjectState& object = run.object;
  bool inside = true;
  for (const uint32_t a : tables.redirected) {
    if (a >= words.size()) break;
    const int bank = tables.redirectedTo[a];
    // The caller's word points at its SF2; the JMP stands one word further on.
    const int64_t select = static_cast<int64_t>(a & 0xF000) + (words[a] & 0x0FFF);
    const int64_t jump = static_cast<int64_t>(bank) * kBankWords + (words[a] & 0x0FFF) + 1;
    if (select <= top && jump <= top) continue;
    inside = false;
    const SourcePlace place =
        a < object.farCallerPlaces.size() ? object.farCallerPlaces[a] : SourcePlace{};
    const bool known = place.line > 0 && place.file < object.placeFiles.size();
    reportErrorAt(run, known ? object.placeFiles[place.file] : std::string(), place.line,
                  kErrorOutOfRom);
  }
  return inside;
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
  // Four entries at a time while they are all FFFFh, as most are.
  uint32_t a = 0;
  for (; a < farTargets.size(); ++a) {
    if (a % 4 == 0 && a + 4 <= farTargets.size()) {
      uint64_t four;
      std::memcpy(&four, &farTargets[a], sizeof four);
      if (four == ~uint64_t{0}) {
        a += 3;
        continue;
      }
    }
    if (farTargets[a] <= 0x7FFF) callers.push_back(a);
  }
  for (const Phase& phase : phases) runPhase(phase, farTargets, callers, start, tables, image);
  for (uint32_t caller : callers)
    if (caller < tables.redirectedTo.size() && tables.redirectedTo[caller] >= 0)
      tables.redirected.push_back(caller);
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
  if (!trampolinesInsideRom(run, tables, words)) return false;
  writeAreaLines(run, tables, start);
  rewriteListing(run, tables, words);
  return true;
}

}  // namespace zq
