// Sorting of the symbol tables and the label file.
#include "symbols/symbol_listing.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "driver/run.h"
#include "platform/output_line.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace zq {

namespace {

// Bounds of the label file's name column.
constexpr size_t kMinNameColumn = 10;
constexpr size_t kMaxNameColumn = 32;

// Lexicographic compare of unsigned bytes after `fold`; a prefix comes first.
template <typename Fold>
int compareBytes(const std::string& a, const std::string& b, Fold fold) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(fold(a[i]));
    const unsigned char y = static_cast<unsigned char>(fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Sorts entries [first, end) of `table` by the names `nameOf` gives, compared by
// `compare`, in `order` ('A' or 'D'; anything else leaves the table alone).
//
// The result must be exactly what the exchange sort gives. With distinct names any
// correct sort gives that order, so an O(n log n) sort is tried on a copy first; only
// when two names compare equal (programs that already carry duplicate errors) does the
// exchange sort itself run, because its order of equal names is not a stable one.
template <typename Entry, typename NameOf, typename Compare>
void sortTable(std::vector<Entry>& table, size_t first, size_t end, char order, NameOf nameOf,
               Compare compare) {
  if (sortOrderOf(order) == 0 || end > table.size() || first >= end || end - first < 2) return;
  const int sign = order == 'A' ? 1 : -1;
  auto before = [&](const Entry& a, const Entry& b) {
    return sign * compare(nameOf(a), nameOf(b)) < 0;
  };

  std::vector<Entry> sorted(table.begin() + static_cast<std::ptrdiff_t>(first),
                            table.begin() + static_cast<std::ptrdiff_t>(end));
  std::sort(sorted.begin(), sorted.end(), before);
  bool distinct = true;
  for (size_t i = 1; i < sorted.size() && distinct; ++i)
    distinct = compare(nameOf(sorted[i - 1]), nameOf(sorted[i])) != 0;
  if (distinct) {
    std::move(sorted.begin(), sorted.end(), table.begin() + static_cast<std::ptrdiff_t>(first));
    return;
  }
  for (size_t i = first; i + 1 < end; ++i) {
    for (size_t j = i + 1; j < end; ++j) {
      if (before(table[j], table[i])) std::swap(table[i], table[j]);
    }
  }
}

}  // namespace

char sortOrderOf(char setting) { return setting == 'A' || setting == 'D' ? setting : 0; }

int compareExact(const std::string& a, const std::string& b) {
  return compareBytes(a, b, [](char c) { return c; });
}

int compareFolded(const std::string& a, const std::string& b) {
  return compareBytes(a, b, toLower);
}

void sortConstants(AssemblerRun& run) {
  ConstantTable& table = run.constants;
  sortTable(table.records, 1, static_cast<size_t>(table.count) + 1,
            run.directives.constantSortOrder,
            [](const ConstantRecord& r) -> const std::string& { return r.name; }, compareExact);
}

void sortLabels(AssemblerRun& run) {
  const bool caseSensitive = run.source.labelCaseSensitive != 0;
  std::vector<LabelNode>& nodes = run.labels.nodes;
  sortTable(nodes, 0, nodes.size(), run.directives.labelSortOrder,
            [](const LabelNode& n) -> const std::string& { return n.name; },
            [caseSensitive](const std::string& a, const std::string& b) {
              return caseSensitive ? compareExact(a, b) : compareFolded(a, b);
            });
}

void sortRamNames(AssemblerRun& run) {
  SegmentState& segments = run.segments;
  sortTable(segments.ramNames, 1, static_cast<size_t>(segments.ramNameCount) + 1,
            run.directives.ramSortOrder,
            [](const RamName& r) -> const std::string& { return r.name; }, compareExact);
}

void writeLabelFile(AssemblerRun& run, const std::string& path) {
  const std::vector<LabelNode>& nodes = run.labels.nodes;
  if (nodes.empty()) return;
  size_t width = kMinNameColumn;
  for (const LabelNode& node : nodes) width = std::max(width, node.name.size());
  width = std::min(width, kMaxNameColumn);

  FILE* out = openForWriting(path, "w");
  if (out == nullptr) return;
  const std::string rule(width, '=');
  std::fprintf(out, "Label Name%s Addr Line  Dup\n", std::string(width - kMinNameColumn, ' ').c_str());
  std::fprintf(out, "%s ==== ===== ===\n", rule.c_str());
  for (const LabelNode& node : nodes) {
    // The name cut to the column or padded with blanks to it, then "%s %04lX %5u %d\n".
    std::string name = node.name.substr(0, width);
    name.resize(width, ' ');
    OutputLine line;
    line.text(name).text(" ").hex(static_cast<unsigned long>(node.address), 4).text(" ");
    line.decimal(static_cast<unsigned>(node.lineNumber), 5).text(" ").decimal(node.duplicate);
    line.text("\n").writeTo(out);
  }
  std::fprintf(out, "%s===============\n", rule.c_str());
  closeOutputStream(run.files, out, path);
}

}  // namespace zq
