// RAM (DATA ... ENDD) and table ROM (TABLE ... ENDT) segments. Both passes run the
// same steps so that RAM addresses and the table counter advance alike; pass 1 fills the
// RAM name table, pass 2 checks it and writes the sequential table data.
#include "directives/segment.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "chip/encoder.h"
#include "platform/text.h"
#include "services/diagnostics.h"
#include "services/listing.h"
#include "services/persistent_settings.h"
#include "services/run.h"
#include "source/line_fields.h"
#include "source/source_state.h"
#include "symbols/expression.h"

namespace zq {

void RamCover::addAt(int64_t address, int32_t delta) {
  for (int64_t i = address - kLowest + 1; i < static_cast<int64_t>(tree_.size()); i += i & -i)
    tree_[static_cast<size_t>(i)] += delta;
}

void RamCover::add(int64_t first, int64_t last) {
  first = std::max(first, kLowest);
  last = std::min(last, kHighest);
  if (first > last) return;
  if (tree_.empty()) tree_.assign(static_cast<size_t>(kHighest - kLowest + 3), 0);
  addAt(first, 1);
  addAt(last + 1, -1);
}

bool RamCover::covers(int64_t address) const {
  if (tree_.empty() || address < kLowest || address > kHighest) return false;
  int64_t sum = 0;
  for (int64_t i = address - kLowest + 1; i > 0; i -= i & -i) sum += tree_[static_cast<size_t>(i)];
  return sum > 0;
}

void indexRamNames(SegmentState& segments) {
  const int32_t last =
      std::min(segments.ramNameCount, static_cast<int32_t>(segments.ramNames.size()) - 1);
  for (int32_t i = segments.ramNamesIndexed + 1; i <= last; ++i) {
    const std::string& name = segments.ramNames[static_cast<size_t>(i)].name;
    segments.firstRamByName.insert(name, i);
    segments.firstRamByFoldedName.insert(name, i);
  }
  segments.ramNamesIndexed = std::max(segments.ramNamesIndexed, last);
}

namespace {

// Bytes and cells of one table group.
constexpr int kGroupBytes = 4;

bool isOrgKeyword(std::string_view word) {
  return equalsNoCase(word, "ORG") || equalsNoCase(word, ".ORG");
}

int evaluateValue(AssemblerRun& run, std::string_view text, int pass,
                  OperandFindings* findings = nullptr) {
  return evaluateOperand(run, text, pass, kClassValue, findings);
}

// Where the trap warnings 7 to 9 are asked for, the checks of a value that is stored
// only after range tests: the caller raises them when it stores the value.
struct StoredValueChecks {
  std::optional<OperandFindings> findings;
  StoredValueChecks(const AssemblerRun& run, int pass) {
    if (run.source.operandChecks && pass == 2) findings.emplace();
  }
  OperandFindings* get() { return findings ? &*findings : nullptr; }
  void raise(AssemblerRun& run, bool byteStore) const {
    if (findings) raiseOperandFindings(run, *findings, byteStore);
  }
};

// Entry `index` (1..kRamLimit+1) of the RAM name table, made when missing: pass 2 may
// visit more names than pass 1 filled when the two passes took different branches.
RamName& ramEntry(SegmentState& segments, int32_t index) {
  if (segments.ramNames.size() <= static_cast<size_t>(index))
    segments.ramNames.resize(static_cast<size_t>(index) + 1);
  return segments.ramNames[static_cast<size_t>(index)];
}

// ORG in a DATA segment: the next name starts at the value.
void setRamOrigin(AssemblerRun& run, int fieldCount, int pass) {
  if (fieldCount != 2) {
    if (pass == 2) raiseError(run, 8);
    return;
  }
  int value = evaluateValue(run, run.source.field[2], pass);
  // A value that does not evaluate is reported by the evaluator; the counter stays.
  if (value < 0) return;
  int32_t counter = value - 1;
  // Tested before the counter is cut to 16 bits, where 8001h and above would turn
  // negative and slip through.
  if (pass == 2 && counter > kRamLimit) raiseError(run, 9);
  persistentSettings().ramCounter = static_cast<int16_t>(counter);
}

// Pass 2 checks of entry `index` against the statement that filled it in pass 1.
// `size` is the size as pass 2 reads it.
void checkRamName(AssemblerRun& run, int32_t index, int32_t size) {
  const SourceState& s = run.source;
  SegmentState& segments = run.segments;
  const RamName& entry = ramEntry(segments, index);
  // The names of pass 1 are indexed: only a name with an earlier namesake or inside an
  // earlier name's addresses needs the walk over the earlier entries, which raises the
  // errors in their order.
  bool walk = true;
  if (index <= segments.ramNameCount) {
    indexRamNames(segments);
    const int32_t first = segments.firstRamByName.find(entry.name);
    walk = (first >= 0 && first < index) ||
           (!run.directives.dnOverlapAllowed && segments.ramCover.covers(entry.first));
    segments.ramCover.add(entry.first, static_cast<int64_t>(entry.first) + entry.size - 1);
  }
  for (int32_t j = 1; walk && j < index; ++j) {
    const RamName& earlier = segments.ramNames[static_cast<size_t>(j)];
    if (earlier.name == entry.name) raiseError(run, 10);
    if (!run.directives.dnOverlapAllowed && entry.first >= earlier.first &&
        entry.first <= earlier.first + earlier.size - 1)
      raiseError(run, 14);
  }
  if (!equalsNoCase(s.field[2], "DN") && !equalsNoCase(s.field[2], ".DN")) raiseError(run, 6);
  if (size > kRamLimit) raiseError(run, 6);
  if (entry.first + size - 1 > kRamLimit || entry.first > kRamLimit) raiseError(run, 9);
  const FieldText& name = s.field[1];
  if (!isLetter(name[0]) && name[0] != '_') raiseError(run, 0);
  if (name.size() > kMaxRamName) raiseError(run, 3);
  // Pass 1 placed this name and every later one with the size it read then (a symbol
  // defined further down read as nothing, 0 nibbles); a size that reads differently now
  // means those addresses are wrong.
  if (index <= segments.ramNameCount && std::max(size, 0) != entry.size) raiseError(run, 71);
}

// The end of the quoted part that opens at `open` (one past its closing quote), or the
// end of `text` when the quote is never closed.
size_t quotedPartEnd(const std::string& text, size_t open) {
  size_t close = text.find(text[open], open + 1);
  return close == std::string::npos ? text.size() : close + 1;
}

// Every part of `item` in single quotes that does not stand inside double quotes becomes
// the decimal code of its first character (0 for an empty pair); double-quoted parts,
// single quotes in them included, are left as they are. True when a part was replaced.
bool replaceCharLiterals(std::string& item) {
  bool replaced = false;
  size_t pos = 0;
  while (pos < item.size()) {
    const char c = item[pos];
    if (c == '"') {
      pos = quotedPartEnd(item, pos);
    } else if (c == '\'') {
      // A quote never closed runs to the end of the item.
      const size_t close = item.find('\'', pos + 1);
      const size_t stop = close == std::string::npos ? item.size() : close;
      const unsigned code = stop > pos + 1 ? static_cast<unsigned char>(item[pos + 1]) : 0;
      const std::string digits = std::to_string(code);
      item.replace(pos, quotedPartEnd(item, pos) - pos, digits);
      pos += digits.size();
      replaced = true;
    } else {
      ++pos;
    }
  }
  return replaced;
}

// Every part of `item` in double quotes becomes a hexadecimal number, "0", two digits
// per character and "H" (AB in quotes reads 04142H). An unclosed part runs to the end.
std::string replaceStrings(const std::string& item) {
  std::string out;
  size_t pos = 0;
  while (pos < item.size()) {
    size_t open = item.find('"', pos);
    if (open == std::string::npos) {
      out.append(item, pos, std::string::npos);
      break;
    }
    out.append(item, pos, open - pos);
    size_t close = item.find('"', open + 1);
    size_t stop = close == std::string::npos ? item.size() : close;
    out += '0';
    for (size_t k = open + 1; k < stop; ++k) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(item[k]));
      out += digits;
    }
    out += 'H';
    pos = close == std::string::npos ? item.size() : close + 1;
  }
  return out;
}

// Pass 2 output of a data directive: the first group, the listing line (result 2), then
// the remaining groups.
void writeTableGroups(AssemblerRun& run, const std::string& line, uint32_t lineNumber,
                      const std::vector<uint8_t>& bytes, int step) {
  const int end = static_cast<int>(bytes.size());
  int consumed = 0;
  int next = writeTableData(run, bytes, 0, end, step, consumed);
  writeListingLine(run, line, lineNumber, 2);
  // A group that took nothing has hit the end of the table ROM.
  while (next > 0 && consumed > 0) next = writeTableData(run, bytes, next, end, step, consumed);
}

}  // namespace

int defineRamName(AssemblerRun& run, const std::string& statement, int pass) {
  SourceState& s = run.source;
  if (!s.dataSegmentOpen) return -1;
  int count = splitFields(s, statement, 0);
  if (count < 0) return 0;
  reportFieldCut(run, pass);
  if (isOrgKeyword(s.field[1])) {
    setRamOrigin(run, count, pass);
    return 0;
  }
  // NAME DN size
  if (count != 3) {
    if (pass == 2) raiseError(run, 6);
    return 0;
  }
  int32_t size = evaluateValue(run, s.field[3], pass);
  SegmentState& segments = run.segments;
  PersistentSettings& settings = persistentSettings();
  if (pass == 1) {
    // Names beyond the table are refused in pass 2 (error 9).
    if (segments.ramNameCount > kRamLimit) return 0;
    RamName& entry = ramEntry(segments, ++segments.ramNameCount);
    entry.name = std::string(s.field[1].view().substr(0, kMaxRamName));
    entry.first = settings.ramCounter + 1;
    // A size that does not evaluate (reported in pass 2) takes no RAM.
    entry.size = std::max(size, 0);
    settings.ramCounter = static_cast<int16_t>(settings.ramCounter + entry.size);
  } else if (pass == 2) {
    if (segments.ramCheckCount > kRamLimit) {
      raiseError(run, 9);
      return 0;
    }
    checkRamName(run, ++segments.ramCheckCount, size);
    observeDefinition(run, ZQASM_SYMBOL_RAM, s.field[1],
                      ramEntry(segments, segments.ramCheckCount).first, size);
  }
  return 0;
}

int defineTableData(AssemblerRun& run, const std::string& statement, int pass) {
  SourceState& s = run.source;
  if (!s.tableSegmentOpen) return -1;
  SegmentState& segments = run.segments;
  if (segments.tableRomTop < 0) {
    if (pass == 2) raiseError(run, 65);
    return 0;
  }
  int count = splitStatement(run, statement);
  if (count <= 0) return 0;
  reportFieldCut(run, pass);

  // Table ORG moves the sequential counter forward only, and only in pass 2.
  if (isOrgKeyword(s.field[1])) {
    if (count != 2) {
      if (pass == 2) raiseError(run, 8);
      return 0;
    }
    StoredValueChecks checks(run, pass);
    int value = evaluateValue(run, s.field[2], pass, checks.get());
    if (pass != 2) return 0;
    if (value < 0 || value > segments.tableRomTop) {
      raiseError(run, 47);
      value = value < 0 ? 0 : segments.tableRomTop;
    } else {
      checks.raise(run, false);
    }
    if (value >= segments.tableCounter) {
      segments.tableCounter = value;
    } else {
      raiseError(run, 51);
    }
    return 0;
  }

  // [DN] address, value
  const std::string_view first = s.field[1];
  const bool keyword = equalsNoCase(first, "DATA") || equalsNoCase(first, "DN") ||
                       equalsNoCase(first, ".DATA") || equalsNoCase(first, ".DN");
  const int addressField = keyword ? 2 : 1;
  if (count != addressField + 1) {
    if (pass == 2) raiseError(run, 6);
    return 0;
  }
  StoredValueChecks addressChecks(run, pass);
  int address =
      evaluateValue(run, s.field[static_cast<size_t>(addressField)], pass, addressChecks.get());
  if (address > segments.tableRomTop) {
    if (pass == 2) raiseError(run, 25);
    return 0;
  }
  if (address < 0 || static_cast<size_t>(address) >= segments.tableRom.size()) return 0;
  addressChecks.raise(run, false);
  StoredValueChecks valueChecks(run, pass);
  int value =
      evaluateValue(run, s.field[static_cast<size_t>(addressField) + 1], pass, valueChecks.get());
  if (value < 0 || value > 255) {
    if (pass == 2) raiseError(run, 47);
    return 0;
  }
  valueChecks.raise(run, true);
  segments.tableRom[static_cast<size_t>(address)] = static_cast<uint16_t>(value);
  observePlacement(run, ZQASM_PLACE_TABLE, static_cast<uint32_t>(address), 1);
  return 1;
}

void appendDataItem(AssemblerRun& run, const std::string& item, bool wordMode, int pass,
                    std::vector<uint8_t>& bytes) {
  std::string text = item;
  // Character literals make the item an expression; strings count only without them.
  const bool literals = replaceCharLiterals(text);
  if (!literals && text.find('"') != std::string::npos) {
    const bool oneString =
        text.size() >= 2 && text[0] == '"' && text.find('"', 1) == text.size() - 1;
    text = replaceStrings(text);
    // In byte mode a lone string is its characters, one byte each.
    if (!wordMode && oneString) {
      if (item.size() == 2) bytes.push_back(0);
      for (size_t k = 1; k + 1 < item.size(); ++k) bytes.push_back(static_cast<uint8_t>(item[k]));
      return;
    }
  }
  // The evaluator refuses values above 65535 (error 25), so they arrive here as failures.
  StoredValueChecks checks(run, pass);
  int value = evaluateValue(run, text, pass, checks.get());
  if (value < 0) {
    if (pass == 2) raiseError(run, 31);
    value = 0;
  } else if (value <= (wordMode ? 0xFFFF : 0xFF)) {
    // A byte takes -128 to 255, a word 0 to 65535: a whole negative number is read as
    // its byte, which a word holds as 00xxh.
    checks.raise(run, !wordMode);
  }
  if (wordMode) {
    if (value > 0xFFFF) {
      if (pass == 2) raiseError(run, 25);
      value = 0;
    }
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  } else {
    if (value > 0xFF && pass == 2) raiseError(run, 25);
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  }
}

int byteDataDirective(AssemblerRun& run, const std::string& statement, size_t position,
                      bool wordMode, int pass, uint32_t lineNumber) {
  const SourceState& s = run.source;
  if (!s.conditionOn()) return 0;
  if (!s.tableSegmentOpen) {
    if (pass == 2) {
      writeListingLine(run, statement, lineNumber, 2);
      raiseError(run, 46);
    }
    return resultListedDirective;
  }
  std::string text;
  if (!stripBlanks(run, statement.substr(std::min(position, statement.size())), text, pass))
    return 0;
  std::vector<std::string> items = splitDataList(text);
  if (items.empty()) return 0;
  // One line of at most 1024 characters gives at most about as many bytes.
  std::vector<uint8_t> bytes;
  for (const std::string& item : items) appendDataItem(run, item, wordMode, pass, bytes);
  if (pass == 2) writeTableGroups(run, statement, lineNumber, bytes, wordMode ? 2 : 1);
  return resultListedDirective;
}

int stringDataDirective(AssemblerRun& run, const std::string& statement, size_t position, int pass,
                        uint32_t lineNumber) {
  const SourceState& s = run.source;
  // Outside a table DSU is refused even where assembling is off.
  if (!s.tableSegmentOpen) {
    if (pass == 2) {
      writeListingLine(run, statement, lineNumber, 2);
      raiseError(run, 46);
    }
    return resultListedTable;
  }
  if (!s.conditionOn()) return -1;
  std::string text = statement.substr(std::min(position, statement.size()));
  text = text.substr(0, text.find('\n'));
  // Everything between the first and the last double quote, inner quotes included.
  size_t open = text.find('"');
  size_t close = text.rfind('"');
  if (open == std::string::npos || close == open) {
    if (pass == 2) raiseError(run, 32);
    return -1;
  }
  if (pass != 2) return resultListedTable;
  // Each character fills two cells: its code, then 0.
  std::vector<uint8_t> cells;
  for (size_t k = open + 1; k < close; ++k) {
    cells.push_back(static_cast<uint8_t>(text[k]));
    cells.push_back(0);
  }
  writeTableGroups(run, statement, lineNumber, cells, 2);
  return resultListedTable;
}

int writeTableData(AssemblerRun& run, const std::vector<uint8_t>& bytes, int start, int end,
                   int step, int& consumed) {
  SegmentState& segments = run.segments;
  consumed = 0;
  end = std::min(end, static_cast<int>(bytes.size()));
  if (start < 0 || start >= end) return -1;
  if (segments.tableRomTop < 0) {
    raiseError(run, 65);
    return -1;
  }
  if (segments.tableCounter > segments.tableRomTop) {
    raiseError(run, 52);
    return -1;
  }
  step = step == 2 ? 2 : 1;
  // The cells stored, one after the other from firstCell, for the run observer.
  const int32_t firstCell = segments.tableCounter;
  uint32_t stored = 0;
  // Stores one byte at tableCounter; false (error 52) past the table ROM.
  auto store = [&](int index) {
    const int32_t cell = segments.tableCounter;
    if (cell < 0 || cell > segments.tableRomTop ||
        static_cast<size_t>(cell) >= segments.tableRom.size()) {
      raiseError(run, 52);
      return false;
    }
    segments.tableRom[static_cast<size_t>(cell)] =
        index < end ? bytes[static_cast<size_t>(index)] : 0;
    ++stored;
    return true;
  };
  while (start < end && consumed < kGroupBytes) {
    if (!store(start)) break;
    if (step == 2) {
      ++segments.tableCounter;
      if (!store(start + 1)) break;
    }
    start += step;
    ++segments.tableCounter;
    consumed += step;
  }
  if (stored > 0 && firstCell >= 0)
    observePlacement(run, ZQASM_PLACE_TABLE, static_cast<uint32_t>(firstCell), stored);
  return start;
}

int stripBlanks(AssemblerRun& run, const std::string& text, std::string& out, int pass) {
  out.clear();
  char quote = 0;  // the quote character of the open quoted part, 0 outside
  for (char c : text) {
    // The line feed ends the text even inside quotes: nothing follows it on the line.
    if (c == '\n') break;
    if (quote != 0) {
      out.push_back(c);
      if (c == quote) quote = 0;
      continue;
    }
    if (c == ';') break;
    if (isBlank(c)) continue;
    if (c == '"' || c == '\'') quote = c;
    out.push_back(c);
  }
  if (quote != 0) {
    if (pass == 2) raiseError(run, 32);
    return 0;
  }
  return out.empty() ? 0 : 1;
}

std::vector<std::string> splitDataList(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
      pos = quotedPartEnd(text, pos);
      continue;
    }
    if (pos == text.size() || text[pos] == ',') {
      if (pos > start) words.push_back(text.substr(start, pos - start));
      start = pos + 1;
    }
    ++pos;
  }
  return words;
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) words.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return words;
}

}  // namespace zq
