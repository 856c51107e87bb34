// The tail of every assembled instruction: bank rules, the record and its ".MAP" line,
// and the advance of the location counter. On banked chips the last words of banks 0 and
// 1 are kept for NOPs (an instruction that would stand there moves on before its final
// encoding) and the bank convert area of every bank is skipped.
#include "chip/bank_fixup.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "chip/object_file.h"
#include "platform/output_line.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "source/source_state.h"

namespace zq {

namespace {

constexpr int kErrorCphlAddress = 63;
constexpr uint8_t kCphlHighByte = 0xEF;  // CPHL is EFxxh
// CPHL may not stand at these addresses of a banked chip.
constexpr int32_t kCphlForbidden[] = {0x0FFE, 0x1FFE, 0x00FF, 0x10FF, 0x20FF};

bool isOneOf(int32_t address, const int32_t* first, const int32_t* last) {
  return std::find(first, last, address) != last;
}

// Banked chips: a location counter that has just reached the bank convert area of its
// bank jumps over it. Only instructions advance through here.
void skipConvertArea(SourceState& s) {
  const PersistentSettings& settings = persistentSettings();
  if ((s.locationCounter & 0x0FFF) == settings.bankConvertStart)
    s.advanceLocationCounter(settings.bankConvertEnd - settings.bankConvertStart + 1u);
}

// Records the instruction of the code text at `address`; on failure shows the fatal
// message and gives resultFatal.
int recordOrFail(AssemblerRun& run, int byteCount, int32_t address) {
  if (recordInstruction(run, byteCount, address)) return 1;
  return reportFatal(run, MessageOwner::kActiveWindow, "Fatal ERROR : InsertAddressTable==NULL");
}

// Pass 2 part of the move from the last word of bank 0 or 1: the five listing lines and
// the NOP record at statementAddress, which has no far target.
int insertBankEndNop(AssemblerRun& run) {
  SourceState& s = run.source;
  const auto address = static_cast<unsigned short>(s.statementAddress);
  // Made also without a stream: an expansion's output is bounded (outputTextBytes).
  char lines[320];
  const int size = std::snprintf(
      lines, sizeof lines,
      "; ***********************************************\n"
      "; ***  NOP auto request in address %04Xh      ***\n"
      "; ***  NOP instruction insert by Assembler    ***\n"
      "; ***********************************************\n"
      "            %04hX %04hX          %s ; *** INSERT BY ASSEMBLER ***\n",
      address, address, static_cast<unsigned short>(0), "NOP");
  if (size > 0 && static_cast<size_t>(size) < sizeof lines) {
    if (FILE* listing = run.files.listing) writeToStream(listing, lines, static_cast<size_t>(size));
    s.outputTextBytes += static_cast<size_t>(size);
  }
  s.listingLineCount += 4;
  // The NOP's ".SYM" line names the fifth of those lines.
  const auto codeText = s.codeText;
  s.codeText = "00 00";
  int recorded = recordOrFail(run, 2, s.statementAddress);
  s.codeText = codeText;
  if (recorded < 0) return recorded;
  observePlacement(run, ZQASM_PLACE_BANK_END_NOP, static_cast<uint32_t>(s.statementAddress), 1);
  s.listingLineCount += 1;
  std::vector<uint16_t>& far = run.object.farTargetTable;
  if (static_cast<size_t>(s.statementAddress) < far.size())
    far[static_cast<size_t>(s.statementAddress)] = 0xFFFF;
  return 1;
}

// Banked chips, before the record: error 63 for CPHL at its forbidden addresses.
void checkCphlAddress(AssemblerRun& run, int pass) {
  const SourceState& s = run.source;
  if (pass == 2 &&
      isOneOf(s.statementAddress, std::begin(kCphlForbidden), std::end(kCphlForbidden)) &&
      codeTextByte(s.codeText, 1) == kCphlHighByte)
    raiseError(run, kErrorCphlAddress);
}

// Pass 2, banked chips: the source line of a "CALL"/"JMP" with a far target, for the
// errors that the bank convert area finds after the passes. The file and line are those
// that the line's own diagnostics name.
void rememberFarCaller(AssemblerRun& run) {
  const SourceState& s = run.source;
  ObjectState& object = run.object;
  const size_t address = static_cast<size_t>(s.statementAddress);
  if (address >= object.farTargetTable.size() || object.farTargetTable[address] == 0xFFFF) return;
  int level = s.includeLevel;
  if (level < 0 || level > kMaxIncludeLevel) level = 0;
  const std::string& file = s.includeFileNames[static_cast<size_t>(level)];
  if (object.placeFiles.empty() || object.placeFiles.back() != file)
    object.placeFiles.push_back(file);
  if (address >= object.farCallerPlaces.size()) object.farCallerPlaces.resize(address + 1);
  object.farCallerPlaces[address] = {static_cast<uint32_t>(object.placeFiles.size() - 1),
                                     s.lineNumber};
}

// One ".MAP" record. The file name is written once and then "*" while it stays the same.
void writeMapRecord(AssemblerRun& run, uint32_t lineNumber) {
  const SourceState& s = run.source;
  bool expanding = s.macroContext != -1;
  const std::string* fileName = &run.macros.macroDefinitionFile;
  if (!expanding) {
    int level = s.includeLevel;
    if (level < 0 || level > kMaxIncludeLevel) level = 0;
    fileName = &s.includeFileNames[static_cast<size_t>(level)];
  }
  const bool sameFile =
      *fileName == run.object.mapFileName || equalsNoCase(*fileName, run.object.mapFileName);
  if (!sameFile) run.object.mapFileName = *fileName;
  // "%04X %d %d\n%s\n"
  const auto address = static_cast<uint32_t>(s.statementAddress);
  const int depth = expanding ? run.macros.macroNestingDepth : 0;
  if (sameFile && address <= 0xFFFF && lineNumber <= INT32_MAX && depth >= 0) {
    char text[4 + 1 + 10 + 1 + 10 + 3];
    char* out = line_fields::hex(text, address, 4);
    *out++ = ' ';
    out = line_fields::decimal(out, lineNumber);
    *out++ = ' ';
    out = line_fields::decimal(out, static_cast<uint32_t>(depth));
    out = line_fields::text(out, "\n*\n");
    writeToStream(run.files.map, text, static_cast<size_t>(out - text));
    return;
  }
  OutputLine line;
  line.hex(static_cast<unsigned>(s.statementAddress), 4).text(" ");
  line.decimal(static_cast<int>(lineNumber)).text(" ");
  line.decimal(expanding ? run.macros.macroNestingDepth : 0).text("\n");
  if (sameFile) {
    line.text("*\n");
  } else {
    line.text(*fileName).text("\n");
  }
  line.writeTo(run.files.map);
}

}  // namespace

int32_t bankEndDestination(const AssemblerRun& run) {
  const SourceState& s = run.source;
  if (!s.bankedRom || !isBankEndAddress(s.statementAddress)) return -1;
  if (codeTextByte(s.codeText, 0) == 0 && codeTextByte(s.codeText, 1) == 0) return -1;
  const PersistentSettings& settings = persistentSettings();
  int32_t next = s.statementAddress + 1;
  if ((next & 0x0FFF) == settings.bankConvertStart)
    next += settings.bankConvertEnd - settings.bankConvertStart + 1;
  return next;
}

int moveToNextBank(AssemblerRun& run, int pass, int32_t movedTo) {
  SourceState& s = run.source;
  if (pass == 2 && insertBankEndNop(run) < 0) return resultFatal;
  s.locationCounter = s.statementAddress = movedTo;
  if (movedTo <= s.programRomTop) return 1;
  // Beyond the ROM: refused like any statement there, still taking its word.
  s.outOfRangeAddress = movedTo;
  s.advanceLocationCounter(1);
  return resultRomOverflow;
}

int finishInstruction(AssemblerRun& run, int byteCount, int pass, uint32_t lineNumber) {
  SourceState& s = run.source;
  if (s.bankedRom) checkCphlAddress(run, pass);
  if (pass == 2) {
    if (recordOrFail(run, byteCount, s.statementAddress) < 0) return resultFatal;
    observeInstruction(run);
    if (run.files.map != nullptr) writeMapRecord(run, lineNumber);
    if (s.bankedRom) rememberFarCaller(run);
  }
  s.lastCodeAddress = s.locationCounter;
  s.advanceLocationCounter(1);
  if (s.bankedRom) skipConvertArea(s);
  return 1;
}

}  // namespace zq
