// Reading a program image back; see image_reader.h.
#include "chip/image_reader.h"

#include <algorithm>
#include <array>

#include "chip/bank_convert.h"
#include "chip/instruction_fields.h"
#include "chip/object_file.h"
#include "services/run.h"

namespace zq {

namespace {

constexpr uint32_t kBankWords = 0x1000;
constexpr size_t kMaxImageWords = 0x10000;
constexpr uint16_t kJumpOpcode = 0xD000;
constexpr uint16_t kSelectBank0 = 0xFE40;  // SF2 40h; 50h and 60h select banks 1 and 2
// Bounds the BANKCONVERTAREA directive accepts: offsets 30h-7FFh, 8 to 512 words.
constexpr uint32_t kAreaLowest = 0x30, kAreaHighest = 0x7FF;
constexpr uint32_t kAreaMinSize = 8;
// Banked chips: the last words of banks 0 and 1 hold only 0000h; CPHL (EFxxh) may not
// stand at five addresses.
constexpr uint32_t kBankEnds[] = {0x0FFF, 0x1FFF};
constexpr uint32_t kCphlForbidden[] = {0x0FFE, 0x1FFE, 0x00FF, 0x10FF, 0x20FF};
constexpr uint16_t kCphlHighByte = 0xEF;
// A whole image gives no sign of what was written: this many fill words in a row, or
// more, are taken as a gap rather than as instructions.
constexpr size_t kFillRunAsGap = 4;
// Bounds on the work an image can ask for: area bounds tried (an image full of jumps
// offers hundreds), and areas built again while trying routed calls as written instead.
constexpr size_t kMaxAreasTried = 8;
constexpr size_t kMaxRebuilds = 256;

struct Area {
  uint16_t start, end;
  int confirmed;  // banks whose area begins with the same jump over it
};

// The bank that an SF2 word selects, or -1 for another word.
int selectedBank(uint16_t word) {
  for (int b = 0; b < kConvertBanks; ++b)
    if (word == kSelectBank0 + 0x10 * b) return b;
  return -1;
}

bool inArea(uint32_t address, uint16_t start, uint16_t end) {
  const uint32_t offset = address & 0x0FFF;
  return offset >= start && offset <= end;
}

// Every area whose word 0 in bank 0 is a jump just past it, confirmed by the same word at
// the same offset of banks 1 and 2 wherever the image has them; the default bounds
// first, then those that more banks confirm.
std::vector<Area> findAreas(const std::vector<uint16_t>& image) {
  std::vector<Area> areas;
  for (uint32_t start = kAreaLowest; start + kAreaMinSize - 1 <= kAreaHighest; ++start) {
    if (start >= image.size()) break;
    const uint16_t jump = image[start];
    if ((jump & 0xF000) != kJumpOpcode) continue;
    const uint32_t end = (jump & 0x0FFFu) - 1;
    if (end < start + kAreaMinSize - 1 || end > kAreaHighest ||
        end - start + 1 > static_cast<uint32_t>(kMaxConvertAreaSize))
      continue;
    Area area{static_cast<uint16_t>(start), static_cast<uint16_t>(end), 1};
    bool agree = true;
    for (uint32_t b = 1; b < kConvertBanks && agree; ++b) {
      const uint32_t at = b * kBankWords + start;
      if (at >= image.size()) break;
      agree = image[at] == jump;
      area.confirmed += agree;
    }
    if (agree) areas.push_back(area);
  }
  std::stable_sort(areas.begin(), areas.end(), [](const Area& a, const Area& b) {
    const bool aDefault = a.start == 0x100 && a.end == 0x1FF;
    const bool bDefault = b.start == 0x100 && b.end == 0x1FF;
    if (aDefault != bDefault) return aDefault;
    return a.confirmed > b.confirmed;
  });
  return areas;
}

// A CALL/JMP whose word points at a trampoline of its own bank's area.
struct Routed {
  uint32_t address;
  uint32_t target;  // the far target, in another bank
  uint32_t via;     // the SF2 it points at
  bool taken = true;
};

// Builds the areas again from the far targets the CALLs and JMPs would leave (routed
// ones their far target, the others the address they hold) and counts the area and caller
// words that then differ from the image. `built` receives the areas.
size_t rebuildMismatches(const ImageReading& r, const std::vector<uint16_t>& image,
                         const std::vector<Routed>& routed, BankConvertTables& built) {
  std::vector<uint16_t> farTargets(kFarTargetEntries, 0xFFFF);
  std::vector<uint16_t> rebuilt = image;
  for (uint32_t a = 0; a < r.words.size() && a < farTargets.size(); ++a) {
    const WordReading& w = r.words[a];
    if (w.role == WordRole::kInstruction && w.instruction.branch == Branch::kCallOrJump &&
        isCallOrJump(w.instruction.mnemonic))
      farTargets[a] = static_cast<uint16_t>(w.instruction.target);
  }
  for (const Routed& route : routed) {
    if (!route.taken) continue;
    farTargets[route.address] = static_cast<uint16_t>(route.target);
    rebuilt[route.address] =
        static_cast<uint16_t>((image[route.address] & 0xF000) | (route.target & 0x0FFF));
  }
  built = buildTrampolines(farTargets, r.romTop, r.areaStart, r.areaEnd, rebuilt);
  const int32_t size = r.areaEnd - r.areaStart + 1;
  size_t mismatches = built.usedSize() > size ? 1 : 0;
  for (size_t a = 0; a < image.size(); ++a)
    if (rebuilt[a] != image[a] && !inArea(a, r.areaStart, r.areaEnd)) ++mismatches;
  for (uint32_t b = 0; b < kConvertBanks; ++b) {
    const std::vector<uint16_t>& table = built.words[b];
    for (int32_t o = 0; o < size; ++o) {
      const size_t at = b * kBankWords + r.areaStart + static_cast<size_t>(o);
      if (at >= image.size()) break;
      const uint16_t expected = static_cast<size_t>(o) < table.size() ? table[o] : 0;
      if (expected != image[at]) ++mismatches;
    }
  }
  return mismatches;
}

// The CALLs and JMPs that point at a trampoline of their bank, with the far target the
// trampoline reaches, kept when that target written in their place encodes to the same
// high bits (the area gives the low 12).
std::vector<Routed> findRouted(AssemblerRun& run, const ImageReading& r,
                               const std::vector<uint16_t>& image) {
  std::vector<Routed> routed;
  for (uint32_t a = 0; a < r.words.size() && a <= kBankedTop; ++a) {
    const WordReading& w = r.words[a];
    if (w.role != WordRole::kInstruction || w.instruction.branch != Branch::kCallOrJump ||
        !isCallOrJump(w.instruction.mnemonic))
      continue;
    const uint32_t bank = a / kBankWords;
    const uint32_t offset = w.word & 0x0FFFu;
    if (offset < r.areaStart || offset >= r.areaEnd) continue;
    const uint32_t via = bank * kBankWords + offset;
    if (via >= image.size()) continue;
    const int target = selectedBank(image[via]);
    if (target < 0 || static_cast<uint32_t>(target) == bank) continue;
    const uint32_t jumpAt = static_cast<uint32_t>(target) * kBankWords + offset + 1;
    if (jumpAt >= image.size() || (image[jumpAt] & 0xF000) != kJumpOpcode) continue;
    const uint32_t far = static_cast<uint32_t>(target) * kBankWords + (image[jumpAt] & 0x0FFFu);
    uint16_t encoded = 0;
    const std::string statement = w.instruction.mnemonic + " " + hexNumber(far, 4);
    if (encodeStatementAt(run, statement, a, encoded) != 1 ||
        encoded != ((w.word & 0xF000) | (far & 0x0FFF)))
      continue;
    routed.push_back({a, far, via});
  }
  return routed;
}

// The routed reading that the area order asks for. Callers of one far target share its
// trampoline, which the first of them in address order places; a CALL written with a
// number into its own bank's area looks routed too. So per target bank, in the order of
// the trampolines, the first caller of each must come after that of the one before: the
// earliest caller that does is taken as routed, those before it as written. Where no
// caller fits, all stay routed.
void orderRouted(std::vector<Routed>& routed) {
  struct Trampoline {
    uint32_t slot, target;
    std::vector<size_t> callers;  // into `routed`, in address order
  };
  for (uint32_t bank = 0; bank < static_cast<uint32_t>(kConvertBanks); ++bank) {
    std::vector<Trampoline> trampolines;
    for (size_t i = 0; i < routed.size(); ++i) {
      if (routed[i].target / kBankWords != bank) continue;
      const uint32_t slot = routed[i].via & 0x0FFF;
      auto same = std::find_if(trampolines.begin(), trampolines.end(), [&](const Trampoline& t) {
        return t.slot == slot && t.target == routed[i].target;
      });
      if (same == trampolines.end())
        trampolines.push_back({slot, routed[i].target, {i}});
      else
        same->callers.push_back(i);
    }
    std::sort(trampolines.begin(), trampolines.end(),
              [](const Trampoline& a, const Trampoline& b) { return a.slot < b.slot; });
    int64_t previous = -1;
    for (const Trampoline& t : trampolines) {
      auto first = std::find_if(t.callers.begin(), t.callers.end(), [&](size_t i) {
        return static_cast<int64_t>(routed[i].address) > previous;
      });
      if (first == t.callers.end()) return;
      previous = routed[*first].address;
      for (auto it = t.callers.begin(); it != first; ++it) routed[*it].taken = false;
    }
  }
}

// What each word of the areas is, with the far target of each trampoline word.
void classifyAreaWords(ImageReading& r, const std::vector<uint16_t>& image,
                       const std::vector<uint8_t>& written, const BankConvertTables& built) {
  for (uint32_t a = 0; a < r.words.size(); ++a) {
    WordReading& w = r.words[a];
    if (w.role != WordRole::kArea) continue;
    const uint32_t bank = a / kBankWords;
    const uint32_t offset = (a & 0x0FFF) - r.areaStart;
    const std::vector<uint16_t>& table = built.words[bank];
    const uint16_t builtWord = offset < table.size() ? table[offset] : 0;
    w.rebuilt = builtWord == image[a];
    // The assembler writes the area words that differ from the fill word it lays first.
    const bool isWritten = written.empty() || (a < written.size() && written[a]);
    w.writtenFill = !written.empty() && isWritten && builtWord == r.fillWord;
    const int select = selectedBank(image[a]);
    if (offset == 0) {
      w.area = image[a] == ((kJumpOpcode + r.areaEnd + 1) & 0xFFFF) ? AreaWord::kJumpOver
                                                                    : AreaWord::kOther;
    } else if (image[a] == 0) {
      w.area = AreaWord::kUnused;
    } else if (select >= 0) {
      w.area = AreaWord::kSelect;
      const uint32_t jumpAt = static_cast<uint32_t>(select) * kBankWords + (a & 0x0FFF) + 1;
      if (static_cast<uint32_t>(select) != bank && jumpAt < image.size() &&
          (image[jumpAt] & 0xF000) == kJumpOpcode)
        w.farTarget = static_cast<int32_t>(select * kBankWords + (image[jumpAt] & 0x0FFF));
    } else if ((image[a] & 0xF000) == kJumpOpcode) {
      w.area = AreaWord::kJumpOn;
      w.farTarget = static_cast<int32_t>(bank * kBankWords + (image[a] & 0x0FFF));
    } else {
      w.area = AreaWord::kOther;
    }
  }
}

// Roles by place for the area bounds in `r`: area words, words no statement can put
// where they stand, decoded instructions.
void assignRoles(ImageReading& r, const std::vector<uint16_t>& image,
                 const std::vector<uint8_t>& written, const std::vector<WordReading>& decoded) {
  for (uint32_t a = 0; a < r.words.size(); ++a) {
    WordReading& w = r.words[a];
    w = decoded[a];
    const bool isWritten = written.empty() || (a < written.size() && written[a]);
    if (r.banked && inArea(a, r.areaStart, r.areaEnd)) {
      // Banks 0-2 get their areas whole; later banks only skip them.
      if (a / kBankWords < static_cast<uint32_t>(kConvertBanks)) {
        w.role = WordRole::kArea;
      } else if (!isWritten || (written.empty() && image[a] == r.fillWord)) {
        w.role = WordRole::kEmpty;
      } else {
        w.role = WordRole::kUnwritable;
        w.reason = Unwritable::kInArea;
      }
      continue;
    }
    if (!isWritten) {
      w.role = WordRole::kEmpty;
    } else if (r.banked && w.word != 0 && std::count(kBankEnds, std::end(kBankEnds), a) > 0) {
      w.role = WordRole::kUnwritable;
      w.reason = Unwritable::kBankEnd;
    } else if (r.banked && (w.word >> 8) == kCphlHighByte &&
               std::count(kCphlForbidden, std::end(kCphlForbidden), a) > 0) {
      w.role = WordRole::kUnwritable;
      w.reason = Unwritable::kCphlPlace;
    }
  }
}

// A whole image: runs of the fill word, and fill words no statement can write, are gaps.
void dropFill(ImageReading& r) {
  auto fill = [&r](size_t a) {
    const WordReading& w = r.words[a];
    return w.word == r.fillWord &&
           (w.role == WordRole::kInstruction || w.role == WordRole::kUnwritable);
  };
  for (size_t a = 0; a < r.words.size();) {
    if (!fill(a)) {
      ++a;
      continue;
    }
    size_t end = a;
    while (end < r.words.size() && fill(end)) ++end;
    for (size_t i = a; i < end; ++i) {
      if (end - a < kFillRunAsGap && r.words[i].role != WordRole::kUnwritable) continue;
      r.words[i] = WordReading();
      r.words[i].word = r.fillWord;
    }
    a = end;
  }
}

}  // namespace

size_t ImageReading::unreproducedCount() const {
  size_t count = 0;
  for (const WordReading& w : words)
    count += w.role == WordRole::kUnwritable ||
             (w.role == WordRole::kArea && (!w.rebuilt || w.writtenFill));
  return count;
}

ImageReading readImage(AssemblerRun& run, const std::vector<uint16_t>& words,
                       const std::vector<uint8_t>& givenFlags, int32_t romTop, bool fillAsGaps) {
  ImageReading r;
  r.romTop = romTop;
  r.banked = romTop > 4096;
  run.source.programRomTop = romTop;
  run.source.bankedRom = r.banked;
  r.fillWord = unwrittenWord(run);
  const size_t count = std::min(words.size(), kMaxImageWords);
  // Runs of written fill words taken as gaps, before anything is read from them.
  std::vector<uint8_t> written = givenFlags;
  const bool gaps = fillAsGaps && !written.empty();
  for (size_t a = 0; gaps && a < count;) {
    auto fill = [&](size_t i) {
      return i < written.size() && written[i] && words[i] == r.fillWord;
    };
    size_t end = a;
    while (end < count && fill(end)) ++end;
    if (end - a >= kFillRunAsGap)
      std::fill(written.begin() + static_cast<long>(a), written.begin() + static_cast<long>(end),
                0);
    a = end > a ? end : a + 1;
  }
  // The words as the areas see them: an unwritten word of an Intel HEX image is 0000h.
  std::vector<uint16_t> image(words.begin(), words.begin() + static_cast<long>(count));
  for (size_t a = 0; a < count && !written.empty(); ++a)
    if (a >= written.size() || !written[a]) image[a] = 0;

  std::vector<WordReading> decoded(count);
  for (uint32_t a = 0; a < count; ++a) {
    WordReading& w = decoded[a];
    w.word = image[a];
    switch (decodeWord(run, w.word, a, w.instruction)) {
      case DecodeResult::kReassembles:
        w.role = WordRole::kInstruction;
        break;
      case DecodeResult::kNoRecord:
        w.role = WordRole::kUnwritable;
        w.reason = Unwritable::kNoRecord;
        break;
      case DecodeResult::kNoText:
        w.role = WordRole::kUnwritable;
        w.reason = Unwritable::kNoText;
        break;
    }
  }
  r.words.resize(count);

  // Banked: try each area the image may hold, best first, until one rebuilds exactly.
  std::vector<Area> areas = r.banked ? findAreas(image) : std::vector<Area>();
  if (areas.size() > kMaxAreasTried) areas.resize(kMaxAreasTried);
  if (areas.empty()) areas.push_back({r.areaStart, r.areaEnd, 0});
  ImageReading best;
  size_t bestMismatches = 0;
  for (size_t i = 0; i < areas.size(); ++i) {
    ImageReading trial = r;
    trial.areaFound = r.banked && areas[i].confirmed > 0;
    trial.areaStart = areas[i].start;
    trial.areaEnd = areas[i].end;
    assignRoles(trial, image, written, decoded);
    size_t mismatches = 0;
    if (r.banked) {
      std::vector<Routed> routed = findRouted(run, trial, image);
      BankConvertTables built;
      mismatches = rebuildMismatches(trial, image, routed, built);
      if (mismatches > 0) {
        std::vector<Routed> ordered = routed;
        orderRouted(ordered);
        BankConvertTables other;
        const size_t fewer = rebuildMismatches(trial, image, ordered, other);
        if (fewer < mismatches) {
          mismatches = fewer;
          built = other;
          routed = std::move(ordered);
        }
      }
      // A CALL into its own bank's area looks routed; taking it as written may fit better.
      for (size_t k = 0; k < routed.size() && k < kMaxRebuilds && mismatches > 0; ++k) {
        if (!routed[k].taken) continue;
        routed[k].taken = false;
        BankConvertTables other;
        const size_t without = rebuildMismatches(trial, image, routed, other);
        if (without < mismatches) {
          mismatches = without;
          built = other;
        } else {
          routed[k].taken = true;
        }
      }
      for (const Routed& route : routed) {
        if (!route.taken) continue;
        DecodedInstruction& instruction = trial.words[route.address].instruction;
        instruction.target = route.target;
        instruction.operands.assign(1, hexNumber(route.target, 4));
        trial.words[route.address].via = static_cast<int32_t>(route.via);
      }
      // With gaps, an area fill word is one too, however short its run.
      classifyAreaWords(trial, image, gaps ? std::vector<uint8_t>() : written, built);
      trial.areaRebuilt = mismatches == 0;
    }
    if (i == 0 || mismatches < bestMismatches) {
      best = std::move(trial);
      bestMismatches = mismatches;
    }
    if (mismatches == 0) break;
  }
  if (written.empty() || gaps) dropFill(best);
  return best;
}

}  // namespace zq
