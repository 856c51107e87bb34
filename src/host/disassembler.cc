// The disassembler's C boundary (zqasm/disassembler.h): a run object that holds a loaded
// chip for the decoder and encoder, and the reading of the last image. No exception leaves
// these functions; running out of memory is a result.
#include "zqasm/disassembler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "chip/chip_file.h"
#include "chip/image_reader.h"
#include "platform/text.h"
#include "services/run.h"

struct ZqasmDisassembler {
  AssemblerParams params{};
  zq::AssemblerRun run;
  std::string nameText;
  zq::ImageReading reading;
  bool gaps = false;  // fill words of Intel HEX images read as gaps
};

namespace {

constexpr size_t kMaxImageWords = 0x10000;

// Copies `text` into a fixed field, cut to fit, always terminated.
template <size_t N>
void copyText(char (&field)[N], const std::string& text) {
  std::snprintf(field, N, "%s", text.c_str());
}

int roleCode(zq::WordRole role) {
  switch (role) {
    case zq::WordRole::kEmpty:
      return ZQASM_WORD_EMPTY;
    case zq::WordRole::kInstruction:
      return ZQASM_WORD_INSTRUCTION;
    case zq::WordRole::kArea:
      return ZQASM_WORD_AREA;
    case zq::WordRole::kUnwritable:
      break;
  }
  return ZQASM_WORD_UNWRITABLE;
}

int reasonCode(zq::Unwritable reason) {
  switch (reason) {
    case zq::Unwritable::kNone:
      return ZQASM_REASON_NONE;
    case zq::Unwritable::kNoRecord:
      return ZQASM_REASON_NO_RECORD;
    case zq::Unwritable::kNoText:
      return ZQASM_REASON_NO_TEXT;
    case zq::Unwritable::kBankEnd:
      return ZQASM_REASON_BANK_END;
    case zq::Unwritable::kCphlPlace:
      return ZQASM_REASON_CPHL_PLACE;
    case zq::Unwritable::kInArea:
      break;
  }
  return ZQASM_REASON_IN_AREA;
}

int areaCode(zq::AreaWord area) {
  switch (area) {
    case zq::AreaWord::kNone:
      return ZQASM_AREA_NONE;
    case zq::AreaWord::kJumpOver:
      return ZQASM_AREA_JUMP_OVER;
    case zq::AreaWord::kSelect:
      return ZQASM_AREA_SELECT;
    case zq::AreaWord::kJumpOn:
      return ZQASM_AREA_JUMP_ON;
    case zq::AreaWord::kUnused:
      return ZQASM_AREA_UNUSED;
    case zq::AreaWord::kOther:
      break;
  }
  return ZQASM_AREA_OTHER;
}

int branchCode(zq::Branch branch) {
  switch (branch) {
    case zq::Branch::kNone:
      return ZQASM_BRANCH_NONE;
    case zq::Branch::kConditional:
      return ZQASM_BRANCH_CONDITIONAL;
    case zq::Branch::kCallOrJump:
      break;
  }
  return ZQASM_BRANCH_CALL_JUMP;
}

}  // namespace

extern "C" ZqasmDisassembler* ZqasmDisassemblerCreate(const char* chipDirectory, const char* model,
                                                      int* status) {
  int ignored = 0;
  int& result = status != nullptr ? *status : ignored;
  if (chipDirectory == nullptr || model == nullptr || *model == '\0') {
    result = ZQASM_DIS_BAD_ARGUMENT;
    return nullptr;
  }
  try {
    auto disassembler = std::make_unique<ZqasmDisassembler>();
    AssemblerParams& params = disassembler->params;
    if (std::strlen(chipDirectory) >= sizeof params.chipDirectory) {
      result = ZQASM_DIS_BAD_ARGUMENT;
      return nullptr;
    }
    std::memcpy(params.chipDirectory, chipDirectory, std::strlen(chipDirectory) + 1);
    zq::AssemblerRun& run = disassembler->run;
    run.params = &params;
    // A chip that reads mask options loads its records first: they are all that is read.
    const int loaded = zq::loadChipFile(run, model);
    if (loaded == -1) {
      result = ZQASM_DIS_NO_CHIP;
      return nullptr;
    }
    if (loaded == -3 || run.chip.instructionCount <= 0) {
      result = ZQASM_DIS_BAD_CHIP;
      return nullptr;
    }
    // The encoder never sees a forbidden STOP: the image holds what was assembled.
    run.chip.stopForbidden = 0;
    disassembler->nameText = zq::slotText(params.chipName, sizeof params.chipName);
    result = ZQASM_DIS_OK;
    return disassembler.release();
  } catch (const std::exception&) {
    result = ZQASM_DIS_NO_MEMORY;
    return nullptr;
  }
}

extern "C" void ZqasmDisassemblerDestroy(ZqasmDisassembler* disassembler) { delete disassembler; }

extern "C" const char* ZqasmDisassemblerNameText(const ZqasmDisassembler* disassembler) {
  return disassembler == nullptr ? "" : disassembler->nameText.c_str();
}

extern "C" int ZqasmDisassemblerRead(ZqasmDisassembler* disassembler, const uint16_t* words,
                                     const uint8_t* written, size_t count, int32_t romTop) {
  if (disassembler == nullptr || (words == nullptr && count > 0) || count > kMaxImageWords)
    return -1;
  try {
    disassembler->reading = zq::ImageReading();
    const std::vector<uint16_t> image(words, words + count);
    const std::vector<uint8_t> flags = written == nullptr
                                           ? std::vector<uint8_t>()
                                           : std::vector<uint8_t>(written, written + count);
    disassembler->reading =
        zq::readImage(disassembler->run, image, flags, romTop, disassembler->gaps);
    return 0;
  } catch (const std::exception&) {
    disassembler->reading = zq::ImageReading();
    return -1;
  }
}

extern "C" void ZqasmDisassemblerSetGaps(ZqasmDisassembler* disassembler, int on) {
  if (disassembler != nullptr) disassembler->gaps = on != 0;
}

extern "C" void ZqasmDisassemblerFacts(const ZqasmDisassembler* disassembler,
                                       ZqasmImageFacts* facts) {
  if (facts == nullptr) return;
  *facts = ZqasmImageFacts{};
  if (disassembler == nullptr) return;
  const zq::ImageReading& r = disassembler->reading;
  facts->romTop = r.romTop;
  facts->banked = r.banked;
  facts->fillWord = r.fillWord;
  facts->areaFound = r.areaFound;
  facts->areaStart = r.areaStart;
  facts->areaEnd = r.areaEnd;
  facts->areaRebuilt = r.areaRebuilt;
  facts->unreproduced = r.unreproducedCount();
}

extern "C" int ZqasmDisassemblerWord(const ZqasmDisassembler* disassembler, uint32_t address,
                                     ZqasmWordReading* reading) {
  if (disassembler == nullptr || reading == nullptr) return -1;
  *reading = ZqasmWordReading{};
  reading->record = -1;
  reading->via = -1;
  reading->farTarget = -1;
  const zq::ImageReading& r = disassembler->reading;
  if (address >= r.words.size()) return -1;
  const zq::WordReading& w = r.words[address];
  const zq::DecodedInstruction& instruction = w.instruction;
  reading->role = roleCode(w.role);
  reading->reason = reasonCode(w.reason);
  reading->word = w.word;
  reading->area = areaCode(w.area);
  reading->farTarget = w.farTarget;
  reading->rebuilt = w.rebuilt;
  reading->writtenFill = w.writtenFill;
  const bool stated = w.role == zq::WordRole::kInstruction ||
                      (w.role == zq::WordRole::kUnwritable && w.reason == zq::Unwritable::kNoText);
  if (!stated) return 0;
  copyText(reading->text, instruction.text());
  copyText(reading->mnemonic, instruction.mnemonic);
  reading->operandCount = static_cast<int>(std::min<size_t>(instruction.operands.size(), 2));
  for (int i = 0; i < reading->operandCount; ++i)
    copyText(reading->operands[i], instruction.operands[static_cast<size_t>(i)]);
  reading->branch = branchCode(instruction.branch);
  reading->targetOperand = static_cast<int>(instruction.targetOperand);
  reading->target = instruction.target;
  reading->via = w.via;
  reading->warns = instruction.warns;
  reading->record = instruction.record;
  return 0;
}
