// The ROM map: facts of a run to SVG text, and the observer that gathers the facts.
#include "common/rom_map.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zqcli {

namespace {

constexpr uint32_t kBankWords = 0x1000;
constexpr uint32_t kMaxProgramWords = 0x10000;  // addresses are 16-bit
constexpr uint32_t kMaxTableCells = 0x10000;    // drawn at most; beyond is cut off
constexpr int64_t kMaxRamShown = 4096;          // RAM addresses end at 800h
constexpr int kConvertBanks = 3;                // banks whose area holds trampolines

// Page geometry, in SVG user units (pixels).
constexpr double kPageWidth = 800;
constexpr double kStripX = 20;
constexpr double kStripWidth = 760;
constexpr double kStripHeight = 26;
constexpr int kScaleDivisions = 8;
// A strip of at most kMaxRuns runs draws each, however narrow (at least a pixel wide). One
// of more draws the runs narrower than kChunkPixels in a row as mixed rectangles of about
// that width, which bounds its rectangles by its width whatever the program.
constexpr size_t kMaxRuns = 256;
constexpr double kChunkPixels = 6;
// Width of a character of the 9-unit labels, for placing them without overlap.
constexpr double kLabelCharWidth = 5.6;
// RAM names listed under the RAM strip (for viewers that show no titles), in columns.
constexpr size_t kRamListColumns = 4;
constexpr size_t kRamListRows = 12;

struct KindStyle {
  const char* name;  // the class, and the word in titles
  const char* fill;
  const char* legend;
};

// Indexed by WordKind.
const KindStyle kStyles[] = {
    {"free", "#ececec", "free"},
    {"code", "#3f73c4", "code"},
    {"data", "#2a9d8f", "data/table"},
    {"reserved", "#e9a23b", ".DS reserved"},
    {"area", "#cbc3e8", "bank convert area"},
    {"trampoline", "#6a35a8", "trampoline"},
    {"nop", "#d1453b", "NOP at a bank end"},
    {"mixed", "#8c8c8c", "mixed (too small to draw apart)"},
};
constexpr size_t kKindCount = sizeof kStyles / sizeof kStyles[0];

const KindStyle& styleOf(WordKind kind) {
  const auto index = static_cast<size_t>(kind);
  return kStyles[index < kKindCount ? index : 0];
}

// Text for XML character data and attributes. Sources are 8-bit text: bytes 80h-FFh are
// taken as Latin-1 and written as UTF-8; control characters, which XML 1.0 forbids, as "?".
std::string xmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else if (byte >= 0x80) {
      out += static_cast<char>(0xC0 | byte >> 6);
      out += static_cast<char>(0x80 | (byte & 0x3F));
    } else if (byte < 0x20 || byte == 0x7F) {
      out += '?';
    } else {
      out += c;
    }
  }
  return out;
}

// A coordinate with at most two decimals, without trailing zeros.
std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out == "-0" ? "0" : out;
}

std::string hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llXh", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string range(uint64_t first, uint64_t last, int digits) {
  return first == last ? hex(first, digits) : hex(first, digits) + "-" + hex(last, digits);
}

std::string percent(size_t part, size_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%",
                whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

std::string plural(uint64_t count, const char* unit) {
  return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

bool isUse(WordKind kind) {
  return kind != WordKind::kFree && kind != WordKind::kArea && kind != WordKind::kMixed;
}

// The SVG text, the body first: the height is known only at the end.
struct Drawing {
  std::string body;
  double y = 0;  // top of the next row

  void rect(const char* cls, const char* fill, double x, double top, double width, double height,
            const std::string& title, const char* attributes = "") {
    body += "<rect class=\"";
    body += cls;
    body += "\" x=\"" + num(x) + "\" y=\"" + num(top) + "\" width=\"" + num(width) +
            "\" height=\"" + num(height) + "\" fill=\"" + fill + "\"" + attributes + ">";
    if (!title.empty()) body += "<title>" + xmlText(title) + "</title>";
    body += "</rect>\n";
  }
  void text(double x, double baseline, const std::string& content, const char* attributes = "") {
    body += "<text x=\"" + num(x) + "\" y=\"" + num(baseline) + "\"" + attributes + ">" +
            xmlText(content) + "</text>\n";
  }
};

// The words of one memory painted with their kinds and owners (index + 1 of the region
// that placed the word, 0 for none).
struct Painted {
  std::vector<WordKind> kinds;
  std::vector<uint32_t> owners;
};

void paint(Painted& p, const std::vector<MapRegion>& regions) {
  const size_t size = p.kinds.size();
  for (size_t r = 0; r < regions.size(); ++r) {
    const MapRegion& region = regions[r];
    const uint64_t end = std::min<uint64_t>(uint64_t{region.first} + region.count, size);
    for (uint64_t a = region.first; a < end; ++a) {
      p.kinds[a] = region.kind;
      p.owners[a] = static_cast<uint32_t>(r + 1);
    }
  }
}

// One strip of a memory: words [base, base + count) drawn over `span` words of width.
struct Strip {
  uint32_t base = 0;
  uint32_t count = 0;
  uint32_t span = 0;
  int digits = 4;  // of the addresses shown
  const char* unit = "word";
};

struct Run {
  WordKind kind;
  uint32_t first;
  uint32_t last;  // inclusive
};

class StripWriter {
 public:
  StripWriter(Drawing& d, const RomMapFacts& facts, const Painted& painted,
              const std::vector<MapRegion>& regions, const Strip& strip)
      : d_(d),
        facts_(facts),
        painted_(painted),
        regions_(regions),
        strip_(strip),
        perWord_(kStripWidth / std::max<uint32_t>(strip.span, 1)) {}

  // The strip's rectangles at the drawing's row, with its frame. Those narrower than a
  // pixel are drawn a pixel wide, after the others, so that none hides them.
  void draw() {
    const std::vector<Run> runs = runsOf();
    // Pieces [first, last) of `runs`: one run, or several drawn as one mixed rectangle.
    std::vector<std::pair<size_t, size_t>> pieces;
    for (size_t i = 0; i < runs.size();) {
      if (runs.size() <= kMaxRuns || width(runs[i]) >= kChunkPixels) {
        pieces.emplace_back(i, i + 1);
        ++i;
        continue;
      }
      size_t j = i;
      double chunk = 0;
      while (j < runs.size() && width(runs[j]) < kChunkPixels && chunk < kChunkPixels)
        chunk += width(runs[j++]);
      pieces.emplace_back(i, j);
      i = j;
    }
    for (const bool narrow : {false, true}) {
      for (const auto& [first, last] : pieces) {
        const double pieceWidth = (runs[last - 1].last - runs[first].first + 1.0) * perWord_;
        if ((pieceWidth < 1) != narrow) continue;
        if (last == first + 1) {
          drawRun(runs[first]);
        } else {
          drawMixed(runs, first, last);
        }
      }
    }
    d_.body += "<rect class=\"frame\" x=\"" + num(kStripX) + "\" y=\"" + num(d_.y) + "\" width=\"" +
               num(strip_.count * perWord_) + "\" height=\"" + num(kStripHeight) +
               "\" fill=\"none\" stroke=\"#555555\" stroke-width=\"0.5\"/>\n";
  }

  double xOf(uint64_t address) const {
    return kStripX + static_cast<double>(address - strip_.base) * perWord_;
  }

 private:
  double width(const Run& run) const { return (run.last - run.first + 1.0) * perWord_; }

  std::vector<Run> runsOf() const {
    std::vector<Run> runs;
    const uint32_t end = strip_.base + strip_.count;
    for (uint32_t a = strip_.base; a < end; ++a) {
      const WordKind kind = painted_.kinds[a];
      if (!runs.empty() && runs.back().kind == kind) {
        runs.back().last = a;
      } else {
        runs.push_back({kind, a, a});
      }
    }
    return runs;
  }

  // "banked.asm:12", "banked.asm:12-30", "a.asm:3 to lib.inc:40"; empty without lines.
  std::string lines(uint32_t firstOwner, uint32_t lastOwner) const {
    if (firstOwner == 0 || lastOwner == 0) return "";
    const MapRegion& a = regions_[firstOwner - 1];
    const MapRegion& b = regions_[lastOwner - 1];
    auto file = [this](uint32_t index) {
      return index < facts_.files.size() ? facts_.files[index] : std::string("?");
    };
    if (a.file == kNoFile || a.line == 0) return "";
    const std::string from = file(a.file) + ":" + std::to_string(a.line);
    if (b.lastFile == kNoFile || b.lastLine == 0 || (b.lastFile == a.file && b.lastLine == a.line))
      return from;
    if (b.lastFile == a.file) return from + "-" + std::to_string(b.lastLine);
    return from + " to " + file(b.lastFile) + ":" + std::to_string(b.lastLine);
  }

  std::string titleOf(const Run& run) const {
    const uint32_t words = run.last - run.first + 1;
    std::string title = range(run.first, run.last, strip_.digits) + " " +
                        (run.kind == WordKind::kBankEndNop   ? "NOP moved to the bank end"
                         : run.kind == WordKind::kArea       ? "bank convert area"
                         : run.kind == WordKind::kTrampoline ? "trampolines"
                         : run.kind == WordKind::kReserved   ? "reserved by .DS"
                                                             : styleOf(run.kind).name) +
                        ", " + plural(words, strip_.unit);
    const std::string from = lines(painted_.owners[run.first], painted_.owners[run.last]);
    if (!from.empty()) title += ": " + from;
    return title;
  }

  void drawRun(const Run& run) {
    const KindStyle& style = styleOf(run.kind);
    d_.rect(style.name, style.fill, xOf(run.first), d_.y, std::max(width(run), 1.0), kStripHeight,
            titleOf(run));
  }

  void drawMixed(const std::vector<Run>& runs, size_t from, size_t to) {
    std::vector<uint64_t> counts(kKindCount, 0);
    for (size_t k = from; k < to; ++k)
      counts[static_cast<size_t>(runs[k].kind)] += runs[k].last - runs[k].first + 1;
    const uint32_t first = runs[from].first, last = runs[to - 1].last;
    std::string title =
        range(first, last, strip_.digits) + " " + plural(last - first + 1, strip_.unit) + ":";
    const char* separator = " ";
    for (size_t k = 0; k < kKindCount; ++k) {
      if (counts[k] == 0) continue;
      title += separator + std::to_string(counts[k]) + " " + kStyles[k].name;
      separator = ", ";
    }
    const KindStyle& style = styleOf(WordKind::kMixed);
    d_.rect(style.name, style.fill, xOf(first), d_.y,
            std::max((last - first + 1.0) * perWord_, 1.0), kStripHeight, title);
  }

  Drawing& d_;
  const RomMapFacts& facts_;
  const Painted& painted_;
  const std::vector<MapRegion>& regions_;
  const Strip strip_;
  const double perWord_;
};

// Tick marks and addresses under a strip at `top`, every span / kScaleDivisions words.
void drawScale(Drawing& d, const Strip& strip, double top) {
  const uint32_t step = std::max<uint32_t>(1, (strip.span + kScaleDivisions - 1) / kScaleDivisions);
  const double perWord = kStripWidth / std::max<uint32_t>(strip.span, 1);
  for (uint64_t offset = 0; offset < strip.count; offset += step) {
    const double x = kStripX + static_cast<double>(offset) * perWord;
    d.body += "<line class=\"tick\" x1=\"" + num(x) + "\" y1=\"" + num(top) + "\" x2=\"" + num(x) +
              "\" y2=\"" + num(top + 4) + "\" stroke=\"#555555\" stroke-width=\"0.5\"/>\n";
    d.text(x, top + 13, hex(strip.base + offset, strip.digits),
           offset == 0 ? " font-size=\"9\"" : " font-size=\"9\" text-anchor=\"middle\"");
  }
}

// Counts the words of [first, first + count) that hold something.
size_t usedWords(const Painted& p, uint32_t first, uint32_t count) {
  size_t used = 0;
  for (uint32_t a = first; a < first + count; ++a) used += isUse(p.kinds[a]) ? 1 : 0;
  return used;
}

// The ORG blocks that start in the strip, as marks above it with the first label; a label
// that would run into the one before it on both label rows is left to the mark's title.
void drawBlocks(Drawing& d, const RomMapFacts& facts, const StripWriter& writer, const Strip& strip,
                double labelTop) {
  double rowEnd[2] = {-1e9, -1e9};
  for (const OrgBlock& block : facts.blocks) {
    if (block.address < strip.base || block.address >= strip.base + strip.count) continue;
    const double x = writer.xOf(block.address);
    // The block before any ORG starts at 0 without a line of its own.
    std::string title = (block.file == kNoFile ? "start " : "ORG ") + hex(block.address, 4);
    if (!block.label.empty()) title += " " + block.label;
    if (block.file != kNoFile && block.file < facts.files.size())
      title += ": " + facts.files[block.file] + ":" + std::to_string(block.line);
    d.body += "<g class=\"org\"><title>" + xmlText(title) + "</title><path d=\"M" + num(x - 3) +
              " " + num(labelTop + 20) + "h6l-3 4z\" fill=\"#222222\"/>";
    // A label that would leave the page ends at its mark instead of starting there.
    const double labelWidth = static_cast<double>(block.label.size()) * kLabelCharWidth;
    const double left = std::max(kStripX, std::min(x, kPageWidth - 4 - labelWidth));
    for (int row = 0; row < 2 && !block.label.empty(); ++row) {
      if (left < rowEnd[row] + 4) continue;
      d.body += "<text x=\"" + num(left) + "\" y=\"" + num(labelTop + 8 + 9 * row) +
                "\" font-size=\"9\">" + xmlText(block.label) + "</text>";
      rowEnd[row] = left + labelWidth;
      break;
    }
    d.body += "</g>\n";
  }
}

// One strip with its caption, ORG marks and scale; advances the row.
void drawStrip(Drawing& d, const RomMapFacts& facts, const Painted& painted,
               const std::vector<MapRegion>& regions, const Strip& strip,
               const std::string& caption, bool withBlocks) {
  d.text(kStripX, d.y + 12, caption, " class=\"caption\"");
  d.y += 18;
  StripWriter writer(d, facts, painted, regions, strip);
  if (withBlocks) {
    drawBlocks(d, facts, writer, strip, d.y);
    d.y += 25;
  }
  writer.draw();
  d.y += kStripHeight;
  drawScale(d, strip, d.y);
  d.y += 24;
}

void drawLegend(Drawing& d) {
  double x = kStripX;
  for (size_t k = 0; k < kKindCount; ++k) {
    const KindStyle& style = kStyles[k];
    d.body += "<rect class=\"legend\" x=\"" + num(x) + "\" y=\"" + num(d.y) +
              "\" width=\"10\" height=\"10\" fill=\"" + style.fill +
              "\" stroke=\"#555555\" stroke-width=\"0.5\"/>";
    d.text(x + 13, d.y + 9, style.legend, " font-size=\"10\"");
    x += 13 + static_cast<double>(std::string(style.legend).size()) * 5.6 + 12;
    if (x > kPageWidth - 120 && k + 1 < kKindCount) {
      x = kStripX;
      d.y += 15;
    }
  }
  d.y += 24;
}

void drawProgram(Drawing& d, const RomMapFacts& facts) {
  if (facts.romTop < 0) {
    d.text(kStripX, d.y + 12, "No program ROM.", " class=\"caption\"");
    d.y += 24;
    return;
  }
  const uint32_t words =
      std::min<uint32_t>(static_cast<uint32_t>(facts.romTop) + 1, kMaxProgramWords);
  Painted p{std::vector<WordKind>(words, WordKind::kFree), std::vector<uint32_t>(words, 0)};
  const bool banked = facts.banked();
  const uint32_t areaSize = std::min<uint32_t>(facts.areaSize, kBankWords);
  if (banked && areaSize > 0 && facts.areaStart < kBankWords) {
    for (uint32_t bank = 0; bank * kBankWords < words; ++bank) {
      const uint32_t first = bank * kBankWords + facts.areaStart;
      const uint32_t end = std::min({first + areaSize, (bank + 1) * kBankWords, words});
      for (uint32_t a = first; a < end; ++a) p.kinds[a] = WordKind::kArea;
    }
  }
  paint(p, facts.program);
  const uint32_t span = banked ? kBankWords : words;
  for (uint32_t base = 0; base < words; base += span) {
    const uint32_t count = std::min(span, words - base);
    const Strip strip{base, count, span, 4, "word"};
    const size_t used = usedWords(p, base, count);
    std::string caption = banked ? "Bank " + std::to_string(base / kBankWords) : "Program ROM";
    caption += "  " + range(base, base + count - 1, 4) + "  used " + std::to_string(used) + " of " +
               plural(count, "word") + " (" + percent(used, count) + ")";
    if (banked && areaSize > 0 && facts.areaStart < count) {
      const uint32_t areaEnd = std::min(facts.areaStart + areaSize, count) - 1;
      caption += ", bank convert area " + range(base + facts.areaStart, base + areaEnd, 4);
    }
    d.body += "<g class=\"bank\">\n";
    drawStrip(d, facts, p, facts.program, strip, caption, true);
    d.body += "</g>\n";
  }
}

void drawTable(Drawing& d, const RomMapFacts& facts) {
  if (facts.tableTop < 0) return;
  const uint32_t cells =
      static_cast<uint32_t>(std::min<int64_t>(int64_t{facts.tableTop} + 1, kMaxTableCells));
  Painted p{std::vector<WordKind>(cells, WordKind::kFree), std::vector<uint32_t>(cells, 0)};
  paint(p, facts.table);
  const size_t used = usedWords(p, 0, cells);
  const std::string caption = "Table ROM  " + range(0, cells - 1, 3) + "  used " +
                              std::to_string(used) + " of " + plural(cells, "cell") + " (" +
                              percent(used, cells) + ")";
  d.body += "<g class=\"table\">\n";
  drawStrip(d, facts, p, facts.table, Strip{0, cells, cells, 3, "cell"}, caption, false);
  d.body += "</g>\n";
}

// The RAM names by address, over the nibbles up to the first power of two (at least 16)
// that holds them all; what no name covers there is free.
void drawRam(Drawing& d, const RomMapFacts& facts) {
  // Addresses and sizes cut to what a RAM can hold, so that no sum below overflows.
  std::vector<RamVariable> names = facts.ram;
  for (RamVariable& v : names) {
    v.first = std::clamp<int64_t>(v.first, -1, kMaxRamShown);
    v.size = std::clamp<int64_t>(v.size, 0, kMaxRamShown);
  }
  int64_t reach = 0, nibbles = 0;
  for (const RamVariable& v : names) {
    if (v.size <= 0 || v.first < 0) continue;
    reach = std::max(reach, std::min(v.first + v.size, kMaxRamShown));
    nibbles += v.size;
  }
  int64_t shown = 16;
  while (shown < reach) shown *= 2;
  std::vector<bool> covered(static_cast<size_t>(shown), false);
  for (const RamVariable& v : names)
    for (int64_t a = std::max<int64_t>(v.first, 0); v.size > 0 && a < v.first + v.size && a < shown;
         ++a)
      covered[static_cast<size_t>(a)] = true;
  const int64_t free = std::count(covered.begin(), covered.end(), false);
  d.body += "<g class=\"ram-map\">\n";
  d.text(kStripX, d.y + 12,
         "RAM  " + range(0, static_cast<uint64_t>(shown - 1), 3) + "  " +
             plural(names.size(), "name") + ", " +
             plural(static_cast<uint64_t>(nibbles), "nibble") + ", " + std::to_string(free) +
             " free",
         " class=\"caption\"");
  d.y += 18;
  const double perNibble = kStripWidth / static_cast<double>(shown);
  const KindStyle& freeStyle = styleOf(WordKind::kFree);
  for (int64_t a = 0; a < shown;) {
    if (covered[static_cast<size_t>(a)]) {
      ++a;
      continue;
    }
    int64_t end = a;
    while (end < shown && !covered[static_cast<size_t>(end)]) ++end;
    d.rect(freeStyle.name, freeStyle.fill, kStripX + static_cast<double>(a) * perNibble, d.y,
           std::max(static_cast<double>(end - a) * perNibble, 1.0), kStripHeight,
           range(static_cast<uint64_t>(a), static_cast<uint64_t>(end - 1), 3) + " free, " +
               plural(static_cast<uint64_t>(end - a), "nibble"));
    a = end;
  }
  for (const RamVariable& v : names) {
    if (v.size <= 0 || v.first < 0 || v.first >= shown) continue;
    const int64_t end = std::min(v.first + v.size, shown);
    const double x = kStripX + static_cast<double>(v.first) * perNibble;
    const double width = std::max(static_cast<double>(end - v.first) * perNibble, 1.0);
    std::string title =
        v.name + " " +
        range(static_cast<uint64_t>(v.first), static_cast<uint64_t>(v.first + v.size - 1), 3) +
        ", " + plural(static_cast<uint64_t>(v.size), "nibble");
    if (v.file != kNoFile && v.file < facts.files.size())
      title += ": " + facts.files[v.file] + ":" + std::to_string(v.line);
    d.body += "<g class=\"ram\">";
    d.rect("ram", "#5b9e4d", x, d.y, width, kStripHeight, title,
           " stroke=\"#ffffff\" stroke-width=\"0.5\"");
    if (static_cast<double>(v.name.size()) * kLabelCharWidth + 4 <= width)
      d.text(x + 2, d.y + 17, v.name, " font-size=\"9\" fill=\"#ffffff\"");
    d.body += "</g>\n";
  }
  d.body += "<rect class=\"frame\" x=\"" + num(kStripX) + "\" y=\"" + num(d.y) + "\" width=\"" +
            num(kStripWidth) + "\" height=\"" + num(kStripHeight) +
            "\" fill=\"none\" stroke=\"#555555\" stroke-width=\"0.5\"/>\n";
  d.y += kStripHeight;
  drawScale(d, Strip{0, static_cast<uint32_t>(shown), static_cast<uint32_t>(shown), 3, "nibble"},
            d.y);
  d.y += 24;
  // The first names as text, "NAME 010h 4" in columns, and how many more there are.
  const size_t listed = std::min(names.size(), kRamListColumns * kRamListRows);
  const size_t rows = (listed + kRamListColumns - 1) / kRamListColumns;
  for (size_t i = 0; i < listed; ++i) {
    const RamVariable& v = names[i];
    d.text(kStripX + static_cast<double>(i / rows) * (kStripWidth / kRamListColumns),
           d.y + 10 + 12 * static_cast<double>(i % rows),
           v.name + "  " + hex(static_cast<uint64_t>(std::max<int64_t>(v.first, 0)), 3) + "  " +
               std::to_string(v.size),
           " class=\"ram-name\" font-size=\"9\"");
  }
  d.y += 12 * static_cast<double>(rows);
  if (listed < names.size()) {
    d.text(kStripX, d.y + 10, "and " + plural(names.size() - listed, "name") + " more",
           " font-size=\"9\"");
    d.y += 12;
  }
  d.body += "</g>\n";
}

}  // namespace

std::string drawRomMap(const RomMapFacts& facts) {
  Drawing d;
  d.y = 8;
  d.text(kStripX, d.y + 14, "ROM map of " + facts.source,
         " class=\"heading\" font-size=\"14\" font-weight=\"bold\"");
  d.y += 24;
  std::string summary;
  if (facts.romTop >= 0) {
    const uint32_t words =
        std::min<uint32_t>(static_cast<uint32_t>(facts.romTop) + 1, kMaxProgramWords);
    summary =
        "Program ROM " + range(0, words - 1, 4) + ", " +
        (facts.banked() ? plural((words + kBankWords - 1) / kBankWords, "bank") + " of 1000h words"
                        : std::string("not banked"));
  }
  if (facts.tableTop >= 0) summary += "; table ROM " + range(0, facts.tableTop, 3);
  d.text(kStripX, d.y + 10, summary, " font-size=\"11\"");
  d.y += 20;
  drawLegend(d);
  drawProgram(d, facts);
  drawTable(d, facts);
  drawRam(d, facts);

  const std::string height = num(d.y + 8);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         num(kPageWidth) + "\" height=\"" + height + "\" viewBox=\"0 0 " + num(kPageWidth) + " " +
         height + "\" font-family=\"sans-serif\" font-size=\"11\">\n<title>" +
         xmlText("ROM map of " + facts.source) +
         "</title>\n<rect width=\"100%\" height=\"100%\" "
         "fill=\"#ffffff\"/>\n" +
         d.body + "</svg>\n";
}

// ---- Collecting the facts of a run ------------------------------------------------------

namespace {

RomMapCollector& collectorOf(void* context) { return *static_cast<RomMapCollector*>(context); }

uint32_t fileOf(RomMapCollector& c, const char* name) {
  if (name == nullptr || *name == '\0') return kNoFile;
  const auto [it, added] = c.fileIndex.emplace(name, static_cast<uint32_t>(c.facts.files.size()));
  if (added) c.facts.files.push_back(name);
  return it->second;
}

// The block that words placed now belong to: before any ORG, the code starts at 0.
OrgBlock& currentBlock(RomMapCollector& c) {
  if (c.facts.blocks.empty()) c.facts.blocks.push_back(OrgBlock{});
  return c.facts.blocks.back();
}

// Adds a region, joined to the last one when it goes on from it with the same kind.
void addRegion(std::vector<MapRegion>& regions, WordKind kind, uint32_t first, uint32_t count,
               uint32_t file, unsigned line) {
  if (count == 0) return;
  if (!regions.empty()) {
    MapRegion& last = regions.back();
    if (last.kind == kind && uint64_t{last.first} + last.count == first) {
      last.count += count;
      last.lastFile = file;
      last.lastLine = line;
      return;
    }
  }
  regions.push_back(MapRegion{kind, first, count, file, line, file, line});
}

void onDiagnostic(void* context, const ZqasmDiagnostic* diagnostic) {
  const ZqasmRunObserver& next = collectorOf(context).next;
  if (next.diagnostic) next.diagnostic(next.context, diagnostic);
}

void onFileRead(void* context, const char* path, int kind) {
  const ZqasmRunObserver& next = collectorOf(context).next;
  if (next.fileRead) next.fileRead(next.context, path, kind);
}

// The image shows the trampolines the bank convert area built: every word but the first
// (the jump over the area) that is not 0000h, in the areas of banks 0 to 2.
void onImage(void* context, const ZqasmImage* image) {
  RomMapCollector& c = collectorOf(context);
  RomMapFacts& f = c.facts;
  if (f.banked() && f.areaSize > 0 && image->programBytes != nullptr) {
    for (uint32_t bank = 0; bank < kConvertBanks; ++bank) {
      for (uint32_t offset = 1; offset < f.areaSize && f.areaStart + offset < kBankWords;
           ++offset) {
        const size_t address = bank * kBankWords + f.areaStart + offset;
        if (address >= image->programWords) break;
        if ((image->programBytes[2 * address] | image->programBytes[2 * address + 1]) != 0)
          addRegion(f.program, WordKind::kTrampoline, static_cast<uint32_t>(address), 1, kNoFile,
                    0);
      }
    }
  }
  if (c.next.image) c.next.image(c.next.context, image);
}

void onSymbol(void* context, const ZqasmSymbol* symbol) {
  RomMapCollector& c = collectorOf(context);
  if (symbol->definition && symbol->kind == ZQASM_SYMBOL_LABEL) {
    OrgBlock& block = currentBlock(c);
    if (block.label.empty()) block.label = symbol->name;
  } else if (symbol->definition && symbol->kind == ZQASM_SYMBOL_RAM) {
    c.facts.ram.push_back(RamVariable{symbol->name, symbol->value, symbol->size,
                                      fileOf(c, symbol->sourceFile), symbol->sourceLine});
  }
  if (c.next.symbol) c.next.symbol(c.next.context, symbol);
}

void onMacroCall(void* context, const ZqasmMacroCall* call) {
  const ZqasmRunObserver& next = collectorOf(context).next;
  if (next.macroCall) next.macroCall(next.context, call);
}

void onCode(void* context, const ZqasmCode* code) {
  RomMapCollector& c = collectorOf(context);
  currentBlock(c).placed = true;
  addRegion(c.facts.program, WordKind::kCode, code->address, 1, fileOf(c, code->sourceFile),
            code->sourceLine);
  if (c.next.code) c.next.code(c.next.context, code);
}

void onChip(void* context, const char* name, const ZqasmOpcode* opcodes, size_t count) {
  const ZqasmRunObserver& next = collectorOf(context).next;
  if (next.chip) next.chip(next.context, name, opcodes, count);
}

void onStatement(void* context, const ZqasmStatement* statement) {
  const ZqasmRunObserver& next = collectorOf(context).next;
  if (next.statement) next.statement(next.context, statement);
}

int onShouldStop(void* context) {
  const ZqasmRunObserver& next = collectorOf(context).next;
  return next.shouldStop ? next.shouldStop(next.context) : 0;
}

void onPlacement(void* context, const ZqasmPlacement* placement) {
  RomMapCollector& c = collectorOf(context);
  RomMapFacts& f = c.facts;
  const uint32_t file = fileOf(c, placement->sourceFile);
  const unsigned line = placement->sourceLine;
  switch (placement->kind) {
    case ZQASM_PLACE_ORIGIN: {
      // An ORG before anything was placed since the last one starts that block over.
      const OrgBlock block{placement->first, "", file, line, false};
      if (!f.blocks.empty() && !f.blocks.back().placed) {
        f.blocks.back() = block;
      } else {
        f.blocks.push_back(block);
      }
      break;
    }
    case ZQASM_PLACE_RESERVED:
      currentBlock(c).placed = true;
      addRegion(f.program, WordKind::kReserved, placement->first,
                std::min(placement->count, kMaxProgramWords), file, line);
      break;
    case ZQASM_PLACE_BANK_END_NOP:
      addRegion(f.program, WordKind::kBankEndNop, placement->first, 1, file, line);
      break;
    case ZQASM_PLACE_TABLE:
      addRegion(f.table, WordKind::kData, placement->first,
                std::min(placement->count, kMaxTableCells), file, line);
      break;
    case ZQASM_PLACE_CONVERT_AREA:
      f.areaStart = placement->first;
      f.areaSize = placement->count;
      break;
    default:
      break;
  }
  if (c.next.placement) c.next.placement(c.next.context, placement);
}

}  // namespace

ZqasmRunObserver collectRomMap(RomMapCollector& collector, const ZqasmRunObserver& next) {
  collector.next = next;
  ZqasmRunObserver o{};
  o.context = &collector;
  o.defineNames = next.defineNames;
  o.defineValues = next.defineValues;
  o.defineCount = next.defineCount;
  o.diagnostic = next.diagnostic ? onDiagnostic : nullptr;
  o.fileRead = next.fileRead ? onFileRead : nullptr;
  o.image = onImage;
  o.symbol = onSymbol;
  o.macroCall = next.macroCall ? onMacroCall : nullptr;
  o.code = onCode;
  o.chip = next.chip ? onChip : nullptr;
  o.shouldStop = next.shouldStop ? onShouldStop : nullptr;
  o.placement = onPlacement;
  o.statement = next.statement ? onStatement : nullptr;
  return o;
}

}  // namespace zqcli
