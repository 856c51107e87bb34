// Runs fuzz inputs in a private temporary directory. Every input starts from the same
// state: the settings a run leaves to the next are reset, and the files of the run are
// removed afterwards, so an input that fails can be replayed alone.
#include "fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "services/persistent_settings.h"
#include "zqasm/assembler.h"
#include "zqasm/disassembler.h"
#include "zqdis/image_file.h"
#include "zqdis/source_writer.h"

#ifndef ZQASM_FUZZ_CHIP_DIR
#error "ZQASM_FUZZ_CHIP_DIR must name the directory of the bundled chip files"
#endif

namespace zqfuzz {

namespace fs = std::filesystem;

namespace {

const char* const kModels[] = {"ZQ3915", "ZQ3947",  "ZQ4410", "ZQ4427",
                               "ZQ4460", "ZQ44V09", "ZQ44W05"};
constexpr size_t kModelCount = sizeof kModels / sizeof kModels[0];

// Selects STOP's power-source rule of the ZQ3947.
const char kMaskOptions[] = "1.POWER SOURCE : 3.0V\n";

// The source assembled with a fuzzed chip file: every operand form of the bundled chips,
// forward and backward jumps, and for a banked ROM code across a bank end.
const char kChipSource[] =
    ".CHIP FUZZ\n"
    "        ORG 0\n"
    "start:  NOP\n"
    "        STOP\n"
    "        HALT\n"
    "        CPHL\n"
    "        INC @HL\n"
    "        INC 3\n"
    "        LDA 5\n"
    "        MOV 45h, @HL\n"
    "        MOV 45h, 3\n"
    "        ST @HL, 5\n"
    "        ST 5, 45h\n"
    "        MOVR 75h, 12h\n"
    "        MOVW 70h, 3\n"
    "        SETB 0103h\n"
    "        ADC 2, 3\n"
    "        CALL sub\n"
    "        JMP start\n"
    "        JB0 start\n"
    "        JB1 next\n"
    "        JB2 start\n"
    "        JB3 next\n"
    "        JNZ start\n"
    "        JNC next\n"
    "        JZ start\n"
    "        JC next\n"
    "next:   SBR 12h\n"
    "        SF2 1\n"
    "        BOGUS 1, 2\n"
    "sub:    RETI\n"
    "        RET\n";
const char kBankedTail[] =
    "        ORG 0FFCh\n"
    "        CALL far\n"
    "        JMP far\n"
    "        NOP\n"
    "        NOP\n"
    "        NOP\n"
    "far:    CALL start\n"
    "        JMP 1, far\n"
    "        RET\n";

void discardMessage(const char*, void*) {}

// The private directory of this process, removed when the process ends normally.
class Workspace {
 public:
  Workspace() {
    char pattern[] = "/tmp/zqasm-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::perror("zqasm fuzz: mkdtemp");
      std::abort();
    }
    root_ = pattern;
    fs::create_directory(runDir());
    fs::create_directory(chipDir());
    writeFile(maskFile(), kMaskOptions, sizeof kMaskOptions - 1);
    // The 44V09 image header is read from the 4427's chip file in the chip directory.
    std::error_code ignored;
    fs::copy_file(fs::path(ZQASM_FUZZ_CHIP_DIR) / "ZQ4427.COE", fs::path(chipDir()) / "ZQ4427.COE",
                  fs::copy_options::overwrite_existing, ignored);
  }
  ~Workspace() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  std::string runDir() const { return root_ + "/run"; }
  std::string chipDir() const { return root_ + "/chips"; }
  std::string maskFile() const { return root_ + "/MASK.OPT"; }

  static void writeFile(const std::string& name, const void* data, size_t size) {
    FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) return;
    if (size > 0) std::fwrite(data, 1, size, out);
    std::fclose(out);
  }

  // Runs one assembly of `source` (in the run directory) and removes every file of it.
  int assemble(const std::string& source, const std::string& chipDirectory, int32_t romTop,
               int32_t tableTop, bool caseSensitive) {
    auto block = std::make_unique<AssemblerParams>();
    std::memset(block.get(), 0, sizeof *block);
    copySlot(block->sourcePath, sizeof block->sourcePath, source);
    copySlot(block->maskOptionPath, sizeof block->maskOptionPath, maskFile());
    copySlot(block->includeDir1, sizeof block->includeDir1, runDir());
    copySlot(block->chipDirectory, sizeof block->chipDirectory, chipDirectory);
    block->programRomTop = romTop;
    block->tableRomTop = tableTop;
    block->labelCaseSensitive = caseSensitive ? 1 : 0;

    // What one run leaves to the next must not make inputs depend on each other.
    zq::persistentSettings() = zq::PersistentSettings{};
    ZqasmSetMessageSink(discardMessage, nullptr);
    int result = Run44Assembler(block.get());
    ZqasmSetMessageSink(nullptr, nullptr);

    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(runDir(), ignored))
      fs::remove_all(entry.path(), ignored);
    return result;
  }

 private:
  static void copySlot(char* slot, size_t size, const std::string& text) {
    std::snprintf(slot, size, "%s", text.c_str());
  }

  std::string root_;
};

Workspace& workspace() {
  static Workspace instance;
  return instance;
}

// Bundled chip `i`, loaded once for the disassembler and kept for the process.
ZqasmDisassembler* chip(size_t i) {
  static ZqasmDisassembler* chips[kModelCount] = {};
  if (chips[i] == nullptr)
    chips[i] = ZqasmDisassemblerCreate(ZQASM_FUZZ_CHIP_DIR, kModels[i], nullptr);
  if (chips[i] == nullptr) {
    std::fprintf(stderr, "zqasm fuzz: cannot load the chip %s\n", kModels[i]);
    std::abort();
  }
  return chips[i];
}

// A broken promise of the disassembler's interface ends the run, so the fuzzer reports it.
void require(bool holds, const char* promise) {
  if (holds) return;
  std::fprintf(stderr, "zqasm fuzz: the disassembler broke its promise: %s\n", promise);
  std::abort();
}

template <size_t N>
bool terminated(const char (&field)[N]) {
  return std::memchr(field, '\0', N) != nullptr;
}

}  // namespace

int runSourceInput(const uint8_t* data, size_t size) {
  if (size == 0) return 2;
  Workspace& w = workspace();
  const uint8_t control = data[0];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string include;
  if (control & 0x02) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos) {
      include = text.substr(nul + 1);
      text.erase(nul);
    }
    Workspace::writeFile(w.runDir() + "/INC.ASM", include.data(), include.size());
  }
  if (control & 0x01)
    text = std::string(".CHIP ") + kModels[((control >> 2) & 0x07) % kModelCount] + "\n" + text;
  const std::string source = w.runDir() + "/MAIN.ASM";
  Workspace::writeFile(source, text.data(), text.size());
  return w.assemble(source, ZQASM_FUZZ_CHIP_DIR, (control & 0x40) ? 0x2FFF : 0x0FFF,
                    (control & 0x80) ? 0xFF : -1, (control & 0x20) != 0);
}

int runChipInput(const uint8_t* data, size_t size) {
  Workspace& w = workspace();
  const std::string chipFile = w.chipDir() + "/FUZZ.COE";
  Workspace::writeFile(chipFile, data, size);
  const std::string source = w.runDir() + "/MAIN.ASM";
  const std::string banked = std::string(kChipSource) + kBankedTail;
  Workspace::writeFile(source, kChipSource, sizeof kChipSource - 1);
  w.assemble(source, w.chipDir(), 0x0FFF, 0xFF, false);
  Workspace::writeFile(source, banked.data(), banked.size());
  return w.assemble(source, w.chipDir(), 0x2FFF, -1, false);
}

int runImageInput(const uint8_t* data, size_t size) {
  if (size == 0) return 2;
  const uint8_t control = data[0];
  size_t at = 1;
  int32_t romTop = -1;
  const bool topGiven = (control & 0x10) != 0 && size >= 5;
  if (topGiven) {
    romTop = static_cast<int32_t>(static_cast<uint32_t>(data[1]) | data[2] << 8 | data[3] << 16 |
                                  static_cast<uint32_t>(data[4]) << 24);
    at = 5;
  }
  size_t model = (control & 0x07) % kModelCount;
  const std::string bytes(reinterpret_cast<const char*>(data) + at, size - at);
  zqdis::ProgramImage image;
  std::string error;
  bool intelHex = false;
  if (control & 0x20) {
    const size_t step = (control & 0x40) ? 3 : 2;
    for (size_t i = 0; i + step <= bytes.size() && image.words.size() < zqdis::kMaxImageWords;
         i += step) {
      image.words.push_back(static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) |
                                                  static_cast<uint8_t>(bytes[i + 1]) << 8));
      if (step == 3) image.written.push_back(static_cast<uint8_t>(bytes[i + 2]));
    }
  } else if (zqdis::isIntelHex(bytes)) {
    intelHex = true;
    if (!zqdis::readIntelHex(bytes, image, error)) return 1;
    require(!image.words.empty() && image.written.size() == image.words.size(), "HEX image");
  } else {
    // As zqdis: the chip asked for first, then every chip; the longest name text wins.
    std::vector<std::string> names{ZqasmDisassemblerNameText(chip(model))};
    for (size_t i = 0; i < kModelCount; ++i) names.push_back(ZqasmDisassemblerNameText(chip(i)));
    const int match = zqdis::matchHeader(bytes, names);
    if (match < 0) return 1;
    if (match > 0) model = static_cast<size_t>(match - 1);
    if (!zqdis::readObject(bytes, names[static_cast<size_t>(match)].size(), image, error)) return 1;
    require(!image.words.empty() && image.written.empty(), ".OBJ image");
  }
  const size_t count = image.words.size();
  if (!topGiven) {
    // An ".OBJ" ends at its ROM top; Intel HEX, at the end of the bank of its last word.
    romTop = static_cast<int32_t>(count) - 1;
    if (intelHex)
      romTop = count > 0x3000 ? 0xFFFF : static_cast<int32_t>((count + 0xFFF) & ~0xFFFu) - 1;
  }

  ZqasmDisassembler* reader = chip(model);
  const uint8_t* written = image.written.empty() ? nullptr : image.written.data();
  require(ZqasmDisassemblerRead(reader, image.words.data(), written, count, romTop) == 0, "read");
  ZqasmImageFacts facts;
  ZqasmDisassemblerFacts(reader, &facts);
  size_t unreproduced = 0;
  ZqasmWordReading reading;
  for (uint32_t address = 0; address < count; ++address) {
    require(ZqasmDisassemblerWord(reader, address, &reading) == 0, "a word of the image");
    require(terminated(reading.text) && terminated(reading.mnemonic) &&
                terminated(reading.operands[0]) && terminated(reading.operands[1]) &&
                reading.operandCount >= 0 && reading.operandCount <= 2,
            "the reading's fields");
    if (reading.role == ZQASM_WORD_UNWRITABLE ||
        (reading.role == ZQASM_WORD_AREA && (!reading.rebuilt || reading.writtenFill)))
      ++unreproduced;
  }
  require(unreproduced == facts.unreproduced, "the count of words no source gives");
  require(ZqasmDisassemblerWord(reader, static_cast<uint32_t>(count), &reading) == -1 &&
              ZqasmDisassemblerWord(reader, UINT32_MAX, &reading) == -1,
          "no word beyond the image");

  zqdis::WriteSettings settings;
  settings.imageName = "FUZZ.OBJ";
  settings.model = kModels[model];
  settings.intelHex = intelHex;
  settings.listing = (control & 0x08) != 0;
  size_t counted = 0;
  require(!zqdis::writeSource(reader, settings, counted).empty(), "a text");
  require(counted == facts.unreproduced, "the text counts the words no source gives");
  return 0;
}

}  // namespace zqfuzz
