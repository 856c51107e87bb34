// Instruction records and the object outputs. Records are collected in pass 2; the image
// is built only once, after the passes, by laying the records in assembly order.
#include "chip/object_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "chip/bank_convert.h"
#include "chip/encoder.h"
#include "chip/intel_hex.h"
#include "platform/output_line.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "services/run_observer.h"
#include "symbols/symbol_listing.h"

namespace zq {

namespace {

constexpr size_t kAddressSpace = 0x10000;      // record addresses are 16-bit
constexpr size_t kWordFormSize = 0x3002;       // words handed to the bank convert area
constexpr size_t kImageSpare = 32;             // bytes behind the image body
constexpr int32_t kMaxProgramRomTop = 0xFFFF;  // highest address a record can hold
constexpr size_t kHeaderFileBytes = 10;        // header bytes taken from ZQ4427.COE

// The chip name field of the block as a text (it may fill its slot without a NUL).
std::string chipNameField(const AssemblerRun& run) {
  if (run.params == nullptr) return "";
  return slotText(run.params->chipName, sizeof run.params->chipName);
}

// True when the chip name holds `text` from `offset` on, compared without regard to case.
bool chipNameHas(const std::string& chipName, size_t offset, const char* text) {
  return matchesNoCase(chipName, offset, text);
}

// Removes the file `name` of an earlier run, found as the name is found for reading, and
// what a killed run left of its temporary files.
void removeIfPresent(const AssemblerRun& run, const std::string& name) {
  if (name.empty() || !run.files.enabled) return;
  removeStaleTemporaries(name);
  const std::string existing = resolveExistingName(name);
  deleteFile(existing.empty() ? name : existing);
}

// The image files of a run in the order they are moved into place or removed: each image
// right before its Intel HEX form, so that an image and its HEX form change together.
std::vector<const std::string*> imageNames(const OutputFiles& files) {
  std::vector<const std::string*> names;
  if (files.wants(kOutputObj)) names.push_back(&files.objName);
  if (files.intelHex) names.push_back(&files.hexName);
  if (!files.binaryName.empty()) names.push_back(&files.binaryName);
  if (files.wants(kOutputTab)) names.push_back(&files.tabName);
  if (files.intelHex) names.push_back(&files.tabHexName);
  return names;
}

// A run that writes no image leaves none of an earlier run: one removed right after the
// other, in the order of imageNames.
void removeImages(const AssemblerRun& run) {
  for (const std::string* name : imageNames(run.files)) removeIfPresent(run, *name);
}

void writeRamFile(AssemblerRun& run) {
  if (!run.files.wants(kOutputRam)) return;
  FILE* out = openForWriting(run.files.ramName, "w");
  if (out == nullptr) return;
  std::fprintf(out, "Space          RAM  NAME                 Addr\n");
  std::fprintf(out, "=====  ================================  ====\n");
  const std::vector<RamName>& names = run.segments.ramNames;
  for (int32_t i = 1; i <= run.segments.ramNameCount && static_cast<size_t>(i) < names.size();
       ++i) {
    const RamName& entry = names[static_cast<size_t>(i)];
    std::fprintf(out, "%5d  %32s  %03Xh\n", entry.size, entry.name.c_str(),
                 static_cast<unsigned>(entry.first));
  }
  closeOutputStream(run.files, out, run.files.ramName);
}

// The header text of ".OBJ" and ".TAB". False when the 44V09 header file is missing: no
// image can be made, and the run stops on its fatal path.
bool headerText(AssemblerRun& run, std::string& header) {
  header = chipNameField(run);
  if (!chipNameHas(header, 0, "ZQ44V09")) return true;
  // A 44V09 image carries the name text of the 4427, which hosts and programmers expect.
  std::string directory;
  if (run.params != nullptr)
    directory = slotText(run.params->chipDirectory, sizeof run.params->chipDirectory);
  char path[600];
  std::snprintf(path, sizeof path, "%s%cZQ4427.COE", directory.c_str(), kPathSeparator);
  int fd = openReadOnly(path);
  if (fd < 0) {
    reportFatal(run, MessageOwner::kFocusWindow, "Assemble ERROR: : Can not open file %s !", path);
    return false;
  }
  char buffer[kHeaderFileBytes + 1] = {};
  size_t got = 0;
  while (got < kHeaderFileBytes) {
    ssize_t n = ::read(fd, buffer + got, kHeaderFileBytes - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  header.assign(buffer, strnlen(buffer, kHeaderFileBytes));
  return true;
}

// How an image file holds its bytes.
enum class ImageForm { kHeaded, kIntelHex, kFlat };

// The bytes of one image file and how they are written.
struct ImageFile {
  const std::string* name;
  ImageForm form;  // kHeaded: the header text, then the body; kFlat: the body alone
  const uint8_t* body;
  size_t size;
  const std::vector<uint8_t>* written;  // Intel HEX: a flag per `unit` bytes
  size_t unit;
};

// Writes the image files. An image cut short must never pass for a good one (a full
// disk, a file size limit, a run killed halfway), nor stand beside the other image or the
// HEX form of another run: every file is written and closed under its temporary name
// first, and only then are all moved over the old ones, one right after the other. When
// one cannot be written, none is moved, the images of an earlier run are removed and the
// failure is reported like a file that cannot be created (reportWriteFailure). False on
// failure. Without output files nothing is written, and the run goes on as after a good
// write.
bool writeImageFiles(AssemblerRun& run, const std::string& header,
                     const std::vector<ImageFile>& images) {
  if (!run.files.enabled) return true;
  std::vector<std::unique_ptr<ReplacingFile>> pending;
  for (const ImageFile& image : images) {
    const bool intelHex = image.form == ImageForm::kIntelHex;
    pending.push_back(std::make_unique<ReplacingFile>(*image.name, intelHex ? "w" : "wb"));
    ReplacingFile& file = *pending.back();
    bool written = false;
    if (FILE* out = file.stream()) {
      const size_t headerSize = image.form == ImageForm::kHeaded ? header.size() : 0;
      written = intelHex ? writeIntelHex(out, image.body, image.size, *image.written, image.unit)
                         : std::fwrite(header.data(), 1, headerSize, out) == headerSize &&
                               std::fwrite(image.body, 1, image.size, out) == image.size;
    }
    if (!file.close() || !written) {
      // The message reads the reason from errno, before the removals below change it.
      pending.clear();
      reportWriteFailure(run.files, *image.name);
      removeImages(run);
      return false;
    }
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    if (!pending[i]->moveIntoPlace()) {
      pending.clear();
      reportWriteFailure(run.files, *images[i].name);
      removeImages(run);
      return false;
    }
  }
  return true;
}

// Lays the records into `image` (2 * (R + 1) body bytes). Records beyond R are skipped:
// the router keeps instructions within the ROM, and nothing may land outside the image.
void layRecords(const AssemblerRun& run, std::vector<uint8_t>& image, size_t romWords) {
  for (const InstructionRecord& record : run.object.insertAddressTable) {
    if (record.address >= romWords) continue;
    size_t at = 2 * static_cast<size_t>(record.address);
    size_t count = std::min<size_t>(record.byteCount, record.bytes.size());
    for (size_t k = 0; k < count && at + k < image.size(); ++k) image[at + k] = record.bytes[k];
  }
}

// Banked chips: the bank convert area works on 16-bit words. False when it failed.
bool convertBanks(AssemblerRun& run, std::vector<uint8_t>& image, size_t romWords) {
  std::vector<uint16_t> words(kWordFormSize, 0);
  // The word form holds 3002h words; a larger ROM keeps its upper part as laid.
  size_t shared = std::min(romWords, kWordFormSize);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // The image is little-endian words already.
  std::memcpy(words.data(), image.data(), 2 * shared);
#else
  for (size_t i = 0; i < shared; ++i) {
    words[i] = static_cast<uint16_t>(image[2 * i + 1] << 8 | image[2 * i]);
  }
#endif
  if (!runBankConvertArea(run, words)) return false;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(image.data(), words.data(), 2 * shared);
#else
  for (size_t i = 0; i < shared; ++i) {
    image[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
    image[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
#endif
  return true;
}

// Which words the run wrote: the words of the records and the words the bank convert area
// changed (`laid` is the image before it, empty for unbanked chips).
std::vector<uint8_t> wordsWritten(const AssemblerRun& run, const std::vector<uint8_t>& image,
                                  const std::vector<uint8_t>& laid, size_t romWords) {
  std::vector<uint8_t> written(romWords, 0);
  for (const InstructionRecord& record : run.object.insertAddressTable)
    if (record.address < romWords) written[record.address] = 1;
  // Compared 32 words at a time; only a block that changed is looked at word by word.
  constexpr size_t kBlockWords = 32;
  for (size_t block = 0; block < romWords && !laid.empty(); block += kBlockWords) {
    const size_t end = std::min(romWords, block + kBlockWords);
    if (std::memcmp(&image[2 * block], &laid[2 * block], 2 * (end - block)) == 0) continue;
    for (size_t i = block; i < end; ++i)
      if (image[2 * i] != laid[2 * i] || image[2 * i + 1] != laid[2 * i + 1]) written[i] = 1;
  }
  return written;
}

// Tells the run observer the images, which words and table cells the run wrote (every
// table cell that holds a value, 0 included) and the RAM names.
void reportImages(const AssemblerRun& run, const std::vector<uint8_t>& image,
                  const std::vector<uint8_t>& written, size_t romWords,
                  const std::vector<uint8_t>& table, const std::vector<uint8_t>& cellWritten) {
  const std::vector<RamName>& ram = run.segments.ramNames;
  size_t ramNames = 0, ramNibbles = 0;
  for (int32_t i = 1; i <= run.segments.ramNameCount && static_cast<size_t>(i) < ram.size();
       ++i, ++ramNames)
    ramNibbles += static_cast<size_t>(std::max(0, ram[static_cast<size_t>(i)].size));
  observeImage(image, written, romWords, table, cellWritten, ramNames, ramNibbles);
}

}  // namespace

uint16_t unwrittenWord(const AssemblerRun& run) {
  // Unprogrammed words of the 44W05 read as FFFFh.
  return chipNameHas(chipNameField(run), 2, "44W05") ? 0xFFFF : 0x0000;
}

// Byte i is the two hexadecimal digits that begin at character 3i.
uint8_t codeTextByte(std::string_view codeText, size_t index) {
  size_t pos = 3 * index;
  if (pos >= codeText.size()) return 0;
  size_t length = std::min<size_t>(2, codeText.size() - pos);
  // Two hexadecimal digits, as the encoder writes them, read as the hex reader would.
  auto digit = [](char c) { return isDigit(c) ? c - '0' : toUpper(c) - 'A' + 10; };
  if (length == 2 && isHexDigit(codeText[pos]) && isHexDigit(codeText[pos + 1]))
    return static_cast<uint8_t>(digit(codeText[pos]) * 16 + digit(codeText[pos + 1]));
  return static_cast<uint8_t>(readHexChars(codeText.data() + pos, length));
}

bool recordInstruction(AssemblerRun& run, int byteCount, int address) {
  ObjectState& object = run.object;
  InstructionRecord record;
  record.address = static_cast<uint16_t>(address);
  int count = std::clamp(byteCount, 0, static_cast<int>(record.bytes.size()));
  record.byteCount = static_cast<uint8_t>(count);
  for (int i = 0; i < count; ++i) {
    record.bytes[static_cast<size_t>(i)] =
        codeTextByte(run.source.codeText, static_cast<size_t>(i));
  }
  try {
    if (object.addressUsed.size() != kAddressSpace) object.addressUsed.assign(kAddressSpace, false);
    // Grown in steps (entries not yet written read -1), up to the far target range.
    if (record.address < kFarTargetEntries && record.address >= object.symbolLines.size()) {
      const size_t grown = std::max<size_t>(record.address + 1u, 2 * object.symbolLines.size());
      object.symbolLines.resize(std::min<size_t>(grown, kFarTargetEntries), -1);
    }
    object.insertAddressTable.push_back(record);
  } catch (const std::bad_alloc&) {
    return false;
  }
  object.addressUsed[record.address] = true;
  // The bank convert area marks listing lines by these numbers, also when the host left
  // the ".SYM" file out.
  if (count > 0 && (run.files.symbol != nullptr || run.files.listing != nullptr)) {
    // The instruction appears on the next listing line.
    // "%05X %d\n"
    const int32_t listed = run.source.listingLineCount + 1;
    if (run.files.symbol == nullptr) {
      // Only the line number is kept.
    } else if (listed >= 0) {
      char text[5 + 1 + 10 + 1];
      char* out = line_fields::hex(text, record.address, 5);
      *out++ = ' ';
      out = line_fields::decimal(out, static_cast<uint32_t>(listed));
      *out++ = '\n';
      writeToStream(run.files.symbol, text, static_cast<size_t>(out - text));
    } else {
      OutputLine line;
      line.hex(record.address, 5).text(" ").decimal(listed).text("\n");
      line.writeTo(run.files.symbol);
    }
    // Kept as the file says it, a later line for an address replacing an earlier one.
    if (record.address < kFarTargetEntries)
      object.symbolLines[record.address] = run.source.listingLineCount + 1;
  }
  return true;
}

int orgAddressUsed(AssemblerRun& run) {
  const ObjectState& object = run.object;
  if (object.addressUsed.size() != kAddressSpace) return 0;
  return object.addressUsed[static_cast<uint16_t>(run.source.locationCounter)] ? 1 : 0;
}

bool reserveProgramWords(AssemblerRun& run, int32_t first, uint32_t count) {
  ObjectState& object = run.object;
  const int64_t start = std::max<int64_t>(first, 0);
  // One past the last word: the end of the reservation, of the ROM, of the flags.
  const int64_t end = std::min({int64_t{first} + count, int64_t{run.source.programRomTop} + 1,
                                static_cast<int64_t>(kAddressSpace)});
  if (start >= end) return false;
  try {
    if (object.addressUsed.size() != kAddressSpace) object.addressUsed.assign(kAddressSpace, false);
  } catch (const std::bad_alloc&) {
    return false;  // no flags: nothing can be told to overlap
  }
  bool held = false;
  for (int64_t a = start; a < end; ++a) {
    auto flag = object.addressUsed[static_cast<size_t>(a)];
    held = held || flag;
    flag = true;
  }
  return held;
}

void writeObjectFiles(AssemblerRun& run) {
  observeConvertArea(run);
  sortRamNames(run);
  writeRamFile(run);
  if (run.source.fatalError || run.diagnostics.errorCount > 0) {
    removeImages(run);
    return;
  }

  // A ROM top above the 16-bit address space ends the run before pass 0 (the driver);
  // the image is never sized for one. A negative top means no program ROM: the image has
  // no words, and the files hold the header alone.
  int32_t romTop = run.source.programRomTop;
  if (romTop > kMaxProgramRomTop) {
    removeImages(run);
    return;
  }
  size_t romWords = romTop < 0 ? 0 : static_cast<size_t>(romTop) + 1;
  size_t bodyBytes = 2 * romWords;
  std::vector<uint8_t> image;
  try {
    image.assign(bodyBytes + kImageSpare, 0);
  } catch (const std::bad_alloc&) {
    // No image for a run without errors is a fatal result, never a silent one.
    reportFatal(run, MessageOwner::kActiveWindow, "Memory alloc fail (%d)\n", 2);
    removeImages(run);
    return;
  }
  if (unwrittenWord(run) != 0) std::fill_n(image.begin(), bodyBytes, 0xFF);
  layRecords(run, image, romWords);
  // Which words the run wrote, for the observer and the Intel HEX records, needs the
  // image before the bank convert area.
  const bool observing = observingImages();
  const bool intelHex = run.files.enabled && run.files.intelHex;
  const std::vector<uint8_t> laid =
      run.source.bankedRom && (observing || intelHex) ? image : std::vector<uint8_t>();
  std::string header;
  if ((run.source.bankedRom && !convertBanks(run, image, romWords)) || !headerText(run, header)) {
    removeImages(run);
    return;
  }

  // Table ROM: cells hold a byte value, or FFFFh (read as -1) when never written; a
  // value of 0 is written but does not count as use.
  const std::vector<uint16_t>& cells = run.segments.tableRom;
  size_t tableBytes =
      run.segments.tableRomTop < 0
          ? 0
          : std::min(static_cast<size_t>(run.segments.tableRomTop) + 1, cells.size());
  std::vector<uint8_t> table(tableBytes + 1, 0);
  size_t tableUsed = 0;
  for (size_t i = 0; i < tableBytes; ++i) {
    if (static_cast<int16_t>(cells[i]) > 0) {
      table[i] = static_cast<uint8_t>(cells[i] & 0xFF);
      tableUsed = i + 1;
    }
  }
  std::vector<uint8_t> written, cellWritten;
  if (observing || intelHex) {
    written = wordsWritten(run, image, laid, romWords);
    cellWritten.assign(tableBytes, 0);
    for (size_t i = 0; i < tableBytes; ++i) cellWritten[i] = cells[i] != 0xFFFF;
  }

  // In the order of imageNames; a chip without table ROM has no ".TAB.HEX".
  std::vector<ImageFile> files;
  if (run.files.wants(kOutputObj))
    files.push_back({&run.files.objName, ImageForm::kHeaded, image.data(), bodyBytes, nullptr, 0});
  if (intelHex)
    files.push_back(
        {&run.files.hexName, ImageForm::kIntelHex, image.data(), bodyBytes, &written, 2});
  if (!run.files.binaryName.empty())
    files.push_back({&run.files.binaryName, ImageForm::kFlat, image.data(), bodyBytes, nullptr, 0});
  if (run.files.wants(kOutputTab))
    files.push_back({&run.files.tabName, ImageForm::kHeaded, table.data(), tableBytes, nullptr, 0});
  if (intelHex && run.segments.tableRomTop >= 0)
    files.push_back(
        {&run.files.tabHexName, ImageForm::kIntelHex, table.data(), tableBytes, &cellWritten, 1});
  if (!writeImageFiles(run, header, files)) return;
  // One of an earlier run with a table ROM would stand beside images without one.
  if (intelHex && run.segments.tableRomTop < 0) removeIfPresent(run, run.files.tabHexName);
  if (observing) reportImages(run, image, written, romWords, table, cellWritten);

  if (run.params != nullptr) {
    run.params->codeEnd =
        static_cast<uint16_t>(static_cast<uint32_t>(run.source.lastCodeAddress) + 1u);
    run.params->tableRomUsed = static_cast<uint16_t>(tableUsed);
  }
}

}  // namespace zq
