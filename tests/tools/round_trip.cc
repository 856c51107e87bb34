#include "round_trip.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "chip/instruction_fields.h"
#include "common/chip_text.h"
#include "services/persistent_settings.h"
#include "test_support.h"
#include "zqasm/observer.h"
#include "zqdis/disassembly.h"

namespace zqtest {

namespace {

void onDiagnostic(void* context, const ZqasmDiagnostic* d) {
  auto* a = static_cast<Assembly*>(context);
  if (d->kind != ZQASM_WARNING) ++a->errors;
  a->messages += std::string(d->file) + ":" + std::to_string(d->line) + ": " + d->text + "\n";
}

void onImage(void* context, const ZqasmImage* image) {
  auto* a = static_cast<Assembly*>(context);
  a->program.assign(image->programBytes, image->programBytes + 2 * image->programWords);
  a->written.assign(image->programWritten, image->programWritten + image->programWords);
}

}  // namespace

Assembly assemble(AssemblerParams& params, const std::string& objectPath) {
  Assembly a;
  std::remove(objectPath.c_str());
  ZqasmRunObserver observer{};
  observer.context = &a;
  observer.diagnostic = onDiagnostic;
  observer.image = onImage;
  ZqasmSetRunObserver(&observer);
  a.result = Run44Assembler(&params);
  ZqasmSetRunObserver(nullptr);
  if (fileExists(objectPath)) a.object = readFile(objectPath);
  return a;
}

namespace {

// The bank convert area bounds outlive a run: each round trip puts them back.
struct AreaKeeper {
  zq::PersistentSettings& settings = zq::persistentSettings();
  const uint16_t start = settings.bankConvertStart, end = settings.bankConvertEnd;
  ~AreaKeeper() {
    settings.bankConvertStart = start;
    settings.bankConvertEnd = end;
  }
};

// Assembles `text` as dir/NAME.asm with the chips of `chips` and an empty mask option file.
Assembly assembleText(const std::string& dir, const std::string& name, const std::string& text,
                      int32_t romTop, const std::string& chips) {
  writeFile(dir + "/" + name + ".asm", text);
  writeFile(dir + "/none.opt", "");
  auto params = makeParams(dir + "/" + name + ".asm", romTop);
  std::snprintf(params->chipDirectory, sizeof params->chipDirectory, "%s", chips.c_str());
  std::snprintf(params->maskOptionPath, sizeof params->maskOptionPath, "%s/none.opt", dir.c_str());
  return assemble(*params, dir + "/" + name + ".OBJ");
}

}  // namespace

Assembly assembleSource(const std::string& dir, const std::string& name, const std::string& text,
                        int32_t romTop) {
  return assembleText(dir, name, text, romTop, chipDir());
}

namespace {

std::string hexText(const Assembly& a, const std::string& path) {
  if (!zqtest::writeIntelHexFile(path, a.program, a.written, 2)) return "";
  return readFile(path);
}

// Disassembles `bytes` (named `name` in `dir`), assembles the source again; "" and the
// second assembly, or the failure.
std::string readBack(const std::string& dir, const std::string& chips, const std::string& name,
                     const std::string& bytes, const std::string& chip, Assembly& second,
                     std::string& model, std::string& source) {
  zqdis::Request request;
  request.imageName = name;
  request.bytes = bytes;
  request.chipDirectory = chips;
  request.chip = chip;
  zqdis::Disassembly back;
  std::string error;
  if (zqdis::disassemble(request, back, error) != 0) return "zqdis: " + error + "\n";
  model = back.model;
  if (back.unreproduced > 0) return name + ": words not written as source:\n" + back.text;
  source = back.text;
  second = assembleText(dir, name, back.text, back.romTop, chips);
  if (second.errors > 0 || second.object.empty())
    return name + ": the source does not assemble:\n" + second.messages + back.text;
  return "";
}

// Where two images first differ (a word with 10000h added where written), and the source.
std::string difference(const Assembly& first, const Assembly& second, const std::string& source) {
  size_t w = 0;
  while (2 * w + 1 < first.program.size() && 2 * w + 1 < second.program.size() &&
         first.program[2 * w] == second.program[2 * w] &&
         first.program[2 * w + 1] == second.program[2 * w + 1] &&
         (w < first.written.size() && first.written[w]) ==
             (w < second.written.size() && second.written[w]))
    ++w;
  return "another image from word " + std::to_string(w) + " on\n--- source read back:\n" + source;
}

}  // namespace

std::string roundTrip(const std::string& dir, const Assembly& first, const std::string& chips) {
  const AreaKeeper keeper;
  const std::string chipDirectory = chips.empty() ? chipDir() : chips;
  Assembly second, third;
  std::string model, ignored, source;
  std::string failure =
      readBack(dir, chipDirectory, "first.OBJ", first.object, "", second, model, source);
  if (failure.empty() && second.object != first.object)
    failure = "first.OBJ: " + difference(first, second, source);
  const std::string hex = hexText(first, dir + "/first.HEX");
  if (failure.empty())
    failure = readBack(dir, chipDirectory, "first.HEX", hex, model, third, ignored, source);
  if (failure.empty() && hexText(third, dir + "/again.HEX") != hex)
    failure = "first.HEX: " + difference(first, third, source);
  return failure;
}

namespace {

// One statement of a generated program.
struct Statement {
  uint32_t address = 0;
  size_t form = 0;
  bool labelled = false;
};

class Generator {
 public:
  Generator(std::mt19937& random, const zq::ChipDescription& chip, bool banked)
      : random_(random), chip_(chip), banked_(banked) {}

  GeneratedProgram run() {
    GeneratedProgram program;
    static const int32_t kBankedTops[] = {0x1FFF, 0x2FFF, 0x2FFF, 0xFFFF};
    program.romTop = banked_ ? kBankedTops[pick(0, 3)] : (pick(0, 1) ? 0x0FFF : 0x07FF);
    top_ = static_cast<uint32_t>(program.romTop);
    if (banked_) {
      areaStart_ = pick(0x30, 0x600);
      areaEnd_ = std::min<uint32_t>(0x7FF, areaStart_ + pick(63, 511));
    }
    for (size_t i = 0; i < chip_.records.size(); ++i)
      if (usable(chip_.records[i])) forms_.push_back(i);
    plan();
    std::string& out = program.source;
    out = ".CHIP " + chip_.name + "\n";
    if (banked_) out += ".BANKCONVERTAREA " + hex(areaStart_) + " " + hex(areaEnd_) + "\n";
    for (size_t i = 0; i < statements_.size(); ++i) {
      const Statement& s = statements_[i];
      if (i == 0 || chunkStart_.count(i)) out += " ORG " + hex(s.address) + "\n";
      out += (s.labelled ? label(s.address) + ": " : " ") + text(s) + "\n";
    }
    return program;
  }

 private:
  uint32_t pick(uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random_);
  }
  static std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0%04Xh", value);
    return text;
  }
  static std::string label(uint32_t address) { return "P" + hex(address).substr(1, 4); }
  // The forms a statement can select (see the encoder's form search).
  static bool usable(const zq::OpcodeEntry& e) {
    const int nibble = e.form & 0x0F;
    if (e.kind == 0) return nibble == 0 || nibble == 0x0F;
    if (e.kind == 1 || e.kind == 5 || e.kind == 11) return nibble == 0;
    return e.kind == 2 || e.kind == 3 || ((e.kind == 22 || e.kind == 23) && nibble != 0x0F);
  }
  bool inArea(uint32_t address) const {
    return banked_ && (address & 0xFFF) >= areaStart_ && (address & 0xFFF) <= areaEnd_;
  }

  // Chunks of statements at random places; banked programs get one in every bank and one
  // that runs through 0FFFh, where a statement other than NOP moves to 1000h.
  void plan() {
    std::vector<uint32_t> starts;
    const uint32_t banks = banked_ ? (top_ + 1) / 0x1000 : 1;
    for (uint32_t b = 0; b < banks; ++b)
      for (int i = 0; i < 2; ++i) {
        uint32_t start;
        do start = b * 0x1000 + pick(0, std::min<uint32_t>(top_, 0xF00));
        while (inArea(start) || start > top_);
        starts.push_back(start);
      }
    if (banked_) starts.insert(starts.end(), {0x0FF8, top_ > 0x1FFF ? 0x1FF8u : 0x0FF0u});
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    size_t next = pick(0, static_cast<uint32_t>(forms_.size() - 1));
    for (size_t c = 0; c < starts.size(); ++c) {
      const uint32_t limit = c + 1 < starts.size() ? starts[c + 1] : top_ + 1;
      chunkStart_.insert(statements_.size());
      uint32_t lc = starts[c];
      for (uint32_t n = pick(8, 40); n > 0; --n, next = (next + 1) % forms_.size()) {
        Statement s{lc, forms_[next], pick(0, 1) == 1};
        const zq::OpcodeEntry& e = chip_.records[s.form];
        const bool zero = e.kind == 0 && e.opcode == 0 && (e.form & 0x0F) == 0;
        if (banked_ && (e.opcode >> 8) == 0xEF &&
            (lc == 0x0FFE || lc == 0x1FFE || (lc & 0xFFF) == 0x0FF))
          continue;                                // CPHL may not stand there
        if (lc > 0x2FFF && e.kind == 1) continue;  // no destination is open to it there
        if (banked_ && (lc == 0x0FFF || lc == 0x1FFF) && !zero) {
          s.address = lc + 1;  // behind the NOP the assembler puts in its place
          s.labelled = false;  // a label there names the NOP
        }
        if (s.address >= limit) break;
        statements_.push_back(s);
        lc = s.address + 1;
        if (inArea(lc)) lc += areaEnd_ - areaStart_ + 1;
      }
    }
  }

  // A destination for a branch at `address` within [low, high]: a label in that range
  // or a number.
  std::string destination(uint32_t low, uint32_t high) {
    std::vector<uint32_t> labels;
    for (const Statement& s : statements_)
      if (s.labelled && s.address >= low && s.address <= high) labels.push_back(s.address);
    if (!labels.empty() && pick(0, 2) > 0)
      return label(labels[pick(0, static_cast<uint32_t>(labels.size() - 1))]);
    return hex(pick(low, high));
  }

  std::string farDestination(uint32_t address) {
    // A labelled statement of another bank, while the area has room for its trampoline.
    std::vector<uint32_t> far;
    for (const Statement& s : statements_)
      if (s.labelled && (s.address >> 12) != (address >> 12) && s.address <= 0x2FFF)
        far.push_back(s.address);
    if (far.empty()) return "";
    const uint32_t target = far[pick(0, static_cast<uint32_t>(far.size() - 1))];
    if (farTargets_.count(target) == 0 && farTargets_.size() + 8 > areaEnd_ - areaStart_) return "";
    farTargets_.insert(target);
    return label(target);
  }

  // A value for one field, plus 40h for a RAM operand and the first working register
  // where the register rule applies; values in 40h-6Fh are drawn again where the form
  // refuses them. The field takes what the encoder lets through: any value up to its
  // limit where only the size is checked (`sizeOnly`: one-value kinds 1 and 5), else one
  // that passes the bits check against the limit; now and then the limit itself.
  std::string value(uint16_t mask, bool shifted, bool ram, bool registerRule, bool notReserved,
                    bool sizeOnly = false) {
    const int shift = zq::maskShift(mask);
    const uint32_t limit = shifted ? static_cast<uint32_t>(mask) >> shift : mask;
    const uint32_t base = chip_.name.compare(2, 4, "4410") == 0 ? 0x18 : 0x70;
    uint32_t v = 0;
    for (int tries = 0; tries < 50; ++tries) {
      uint32_t field = pick(0, 7) == 0 ? limit : pick(0, limit);
      if (!sizeOnly && !zq::bitsCheck(limit, field)) field &= limit;
      if (!sizeOnly && !zq::bitsCheck(limit, field)) field = 0;
      v = (field + (ram ? 0x40 : 0) + (registerRule ? base : 0)) & 0xFFFF;
      if (!notReserved || v < 0x40 || v > 0x6F) break;
    }
    return hex(v);
  }

  std::string text(const Statement& s) {
    const zq::OpcodeEntry& e = chip_.records[s.form];
    const std::string m = e.mnemonic;
    const int nibble = e.form & 0x0F;
    const uint32_t a = s.address;
    if (e.kind == 0) return nibble == 0 ? m : m + " @HL";
    if (e.kind == 1 && zq::isConditionalJump(m)) {
      const uint32_t low = (banked_ ? a & 0xF000 : 0) | (a & 0x800);
      return m + " " + destination(low, low + 0x7FF);
    }
    if (e.kind == 1 && zq::isCallOrJump(m)) {
      // Now and then the page form, which routes by its address alone.
      const std::string call = m + (pick(0, 9) == 0 ? " 1, " : " ");
      if (!banked_) return call + destination(0, top_);  // above the top is error 14
      const std::string far = pick(0, 1) ? farDestination(a) : "";
      const uint32_t bank = a & 0xF000;
      return call + (far.empty() ? destination(bank, std::min(bank + 0xFFF, top_)) : far);
    }
    if (e.kind == 1 || e.kind == 5 || e.kind == 11)
      return m + " " +
             value(e.mask1, e.kind == 5, e.form & 0x10, false, e.form & 0x40, e.kind != 11);
    const std::string x = nibble == 0x0F && e.kind == 3
                              ? "@HL"
                              : value(e.mask1, true, e.form & 0x10, e.kind == 22, e.form & 0x40);
    const std::string y = nibble == 0x0F && e.kind == 2
                              ? "@HL"
                              : value(e.mask2, true, e.form & 0x20, e.kind == 23, e.form & 0x80);
    return m + " " + x + ", " + y;
  }

  std::mt19937& random_;
  const zq::ChipDescription& chip_;
  const bool banked_;
  uint32_t top_ = 0, areaStart_ = 0x100, areaEnd_ = 0x1FF;
  std::vector<size_t> forms_;
  std::vector<Statement> statements_;
  std::set<size_t> chunkStart_;    // statements that open a chunk
  std::set<uint32_t> farTargets_;  // cross-bank destinations so far
};

}  // namespace

// mnemonic form kind opcode mask1 mask2 (see chips/*.txt)
const char kOddFormsChip[] =
    "chip ZQ9917\n"
    "NOP   00  0 0000 0000 0000\n"
    "RET   00  0 0003 0000 0000\n"
    "SPL   00  5 2000 0F0F 0000\n"  // one value under a split mask: SPL 39Fh gives 239Fh
    "SPH   00  5 3000 0F00 0000\n"
    "BR    00  1 8000 0FF0 0000\n"  // kind 1, no jump: BR 5 gives 8005h
    "BRR   10  1 9000 00F0 0000\n"  // the same with a RAM operand
    "MSK   00 11 4000 0F0F 0000\n"
    "SPP   00  2 5000 0F0F 00F0\n"  // two values, split masks
    "OVL   00  2 6000 00FF 0FF0\n"  // two values, overlapping masks
    "WID   00  3 7000 1001 0002\n"  // field 1 wider than 12 bits once shifted down
    "WRG   00 22 A000 0F0F 00F0\n"
    "STH   0F  3 B000 0000 0F0F\n"
    "CALL  00  1 C000 0FFF 0000\n"
    "JMP   00  1 D000 0FFF 0000\n"
    "JNZ   00  1 E000 07FF 0000\n"
    "JC    00  1 F000 07FF 0000\n";

GeneratedProgram generateProgram(std::mt19937& random, const std::string& chipText, bool banked) {
  zq::ChipDescription chip;
  zq::ChipTextError error;
  if (!zq::parseChipText(chipText, chip, error)) return {};
  return Generator(random, chip, banked).run();
}

std::string roundTripGenerated(const std::string& dir, std::mt19937& random,
                               const std::string& chipText, bool banked, const std::string& chips) {
  const AreaKeeper keeper;
  const GeneratedProgram program = generateProgram(random, chipText, banked);
  const std::string chipDirectory = chips.empty() ? chipDir() : chips;
  const Assembly first =
      assembleText(dir, "generated", program.source, program.romTop, chipDirectory);
  const std::string failure = first.errors > 0 || first.object.empty()
                                  ? "the generated program does not assemble:\n" + first.messages
                                  : roundTrip(dir, first, chipDirectory);
  return failure.empty() ? "" : failure + "--- generated program:\n" + program.source;
}

}  // namespace zqtest
