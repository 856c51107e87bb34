// Sorting of the symbol tables and the label file.
#include "symbols/symbol_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/output_line.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "services/run.h"

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

// Marks over positions 0..n-1 (a Fenwick tree): mark or unmark a position, count the
// marks below a bound, find the k-th marked position. O(log n) each.
class PositionMarks {
 public:
  explicit PositionMarks(size_t n) : tree_(n + 1, 0) {}
  void mark(size_t position) { change(position, 1); }
  void unmark(size_t position) { change(position, -1); }
  // Marked positions in [0, end).
  size_t below(size_t end) const {
    std::ptrdiff_t count = 0;
    for (size_t i = std::min(end, tree_.size() - 1); i > 0; i -= lowBit(i)) count += tree_[i];
    return static_cast<size_t>(count);
  }
  // The k-th marked position, k counted from 1; n when fewer are marked.
  size_t kth(size_t k) const {
    size_t position = 0;
    size_t step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    std::ptrdiff_t rest = static_cast<std::ptrdiff_t>(k);
    for (; step > 0; step /= 2) {
      if (position + step < tree_.size() && tree_[position + step] < rest) {
        position += step;
        rest -= tree_[position];
      }
    }
    return position;
  }

 private:
  static size_t lowBit(size_t i) { return i & (~i + 1); }
  void change(size_t position, std::ptrdiff_t delta) {
    for (size_t i = position + 1; i < tree_.size(); i += lowBit(i)) tree_[i] += delta;
  }
  std::vector<std::ptrdiff_t> tree_;
};

// The order in which the exchange sort leaves the entries of one group of equal names.
//
// In a round of the exchange sort (position i against every j after it) an entry moves
// only when it sorts before everything ahead of it in the round; it then takes the place
// of the next such entry, and the last of them, the first smallest one, comes to i. So
// of a group of equal names only the first can move, and only past other members up to
// the next entry that sorts before the group; entries that sort after the group never
// change its order. Walking the table from the start, the group is therefore a queue:
// each member joins at the back, and each entry that sorts before the group, met while
// the queue holds something, sends the front of the queue to the back. The queue at the
// end is the group's order in the sorted table.
//
// `members` holds the table positions of the group, ascending; `rotations[k]` the number
// of entries sorting before the group that lie after members[k] and before the next
// member (or the end). The queue is kept as a list read cyclically from a head, each
// member inserted just before the head; the inserts are then placed from the last to the
// first, each into the free slot its insert index names.
std::vector<size_t> exchangeOrderOfGroup(const std::vector<size_t>& members,
                                         const std::vector<size_t>& rotations) {
  const size_t m = members.size();
  std::vector<size_t> insertAt(m);
  size_t head = 0;
  for (size_t k = 0; k < m; ++k) {
    // The list holds k members; the new one goes before the head, which moves one on.
    insertAt[k] = head;
    if (k > 0) ++head;
    head = (head + rotations[k]) % (k + 1);
  }
  PositionMarks freeSlots(m);
  for (size_t slot = 0; slot < m; ++slot) freeSlots.mark(slot);
  std::vector<size_t> list(m);
  for (size_t k = m; k-- > 0;) {
    const size_t slot = freeSlots.kth(insertAt[k] + 1);
    // Always a free slot: k + 1 are left and insertAt[k] is at most k.
    if (slot >= m) return members;
    list[slot] = members[k];
    freeSlots.unmark(slot);
  }
  std::vector<size_t> order;
  order.reserve(m);
  for (size_t k = 0; k < m; ++k) order.push_back(list[(head + k) % m]);
  return order;
}

// Sorts entries [first, end) of `table` by the names `nameOf` gives, compared by
// `compare`, in `order` ('A' or 'D'; anything else leaves the table alone), into exactly
// the order of the exchange sort: for every i, for every j after i, exchange the two
// when the name at j sorts before the name at i. Distinct names come out sorted as by
// any sort; equal names in the order exchangeOrderOfGroup works out. O(n log n).
template <typename Entry, typename NameOf, typename Compare>
void sortTable(std::vector<Entry>& table, size_t first, size_t end, char order, NameOf nameOf,
               Compare compare) {
  if (sortOrderOf(order) == 0 || end > table.size() || first >= end || end - first < 2) return;
  const int sign = order == 'A' ? 1 : -1;
  const size_t n = end - first;
  auto nameAt = [&](size_t position) -> const std::string& {
    return nameOf(table[first + position]);
  };
  // Positions sorted by name; equal names stay in table order, so each group of equal
  // names is a run with its members ascending.
  std::vector<size_t> byName(n);
  for (size_t i = 0; i < n; ++i) byName[i] = i;
  std::stable_sort(byName.begin(), byName.end(),
                   [&](size_t a, size_t b) { return sign * compare(nameAt(a), nameAt(b)) < 0; });

  // Groups in sorted order; `before` marks the positions of every earlier group.
  PositionMarks before(n);
  std::vector<size_t> result;
  result.reserve(n);
  for (size_t start = 0; start < n;) {
    size_t stop = start + 1;
    while (stop < n && compare(nameAt(byName[start]), nameAt(byName[stop])) == 0) ++stop;
    if (stop - start == 1) {
      result.push_back(byName[start]);
      before.mark(byName[start]);
      start = stop;
      continue;
    }
    const std::vector<size_t> members(byName.begin() + static_cast<std::ptrdiff_t>(start),
                                      byName.begin() + static_cast<std::ptrdiff_t>(stop));
    std::vector<size_t> rotations(members.size());
    for (size_t k = 0; k < members.size(); ++k) {
      const size_t next = k + 1 < members.size() ? members[k + 1] : n;
      rotations[k] = before.below(next) - before.below(members[k]);
    }
    for (size_t position : exchangeOrderOfGroup(members, rotations)) result.push_back(position);
    for (size_t position : members) before.mark(position);
    start = stop;
  }

  std::vector<Entry> sorted;
  sorted.reserve(n);
  for (size_t position : result) sorted.push_back(std::move(table[first + position]));
  std::move(sorted.begin(), sorted.end(), table.begin() + static_cast<std::ptrdiff_t>(first));
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
  sortTable(
      table.records, 1, static_cast<size_t>(table.count) + 1, run.directives.constantSortOrder,
      [](const ConstantRecord& r) -> const std::string& { return r.name; }, compareExact);
}

void sortLabels(AssemblerRun& run) {
  const bool caseSensitive = run.source.labelCaseSensitive != 0;
  std::vector<LabelNode>& nodes = run.labels.nodes;
  sortTable(
      nodes, 0, nodes.size(), run.directives.labelSortOrder,
      [](const LabelNode& n) -> const std::string& { return n.name; },
      [caseSensitive](const std::string& a, const std::string& b) {
        return caseSensitive ? compareExact(a, b) : compareFolded(a, b);
      });
}

void sortRamNames(AssemblerRun& run) {
  SegmentState& segments = run.segments;
  segments.ramNamesSorted = true;
  sortTable(
      segments.ramNames, 1, static_cast<size_t>(segments.ramNameCount) + 1,
      run.directives.ramSortOrder, [](const RamName& r) -> const std::string& { return r.name; },
      compareExact);
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
  std::fprintf(out, "Label Name%s Addr Line  Dup\n",
               std::string(width - kMinNameColumn, ' ').c_str());
  std::fprintf(out, "%s ==== ===== ===\n", rule.c_str());
  for (const LabelNode& node : nodes) {
    // The name cut to the column or padded with blanks to it, then "%s %04lX %5u %d\n".
    const size_t shown = std::min(node.name.size(), width);
    const void* nul = std::memchr(node.name.data(), '\0', shown);
    if (nul == nullptr && node.address <= 0xFFFF) {
      // The usual line, in a local array with a cursor of its own.
      char text[kMaxNameColumn + 1 + 4 + 1 + 10 + 1 + 3 + 1];
      char* at = line_fields::text(text, std::string_view(node.name.data(), shown));
      std::memset(at, ' ', width - shown);
      at += width - shown;
      *at++ = ' ';
      at = line_fields::hex(at, node.address, 4);
      *at++ = ' ';
      at = line_fields::decimal(at, node.lineNumber, 5);
      *at++ = ' ';
      at = line_fields::decimal(at, node.duplicate);
      *at++ = '\n';
      writeToStream(out, text, static_cast<size_t>(at - text));
      continue;
    }
    OutputLine line;
    if (nul != nullptr) {
      // As "%s" would: the text ends at the NUL, padding and all.
      line.text(node.name);
    } else {
      line.text(std::string_view(node.name.data(), shown)).repeat(' ', width - shown);
    }
    line.text(" ").hex(static_cast<unsigned long>(node.address), 4).text(" ");
    line.decimal(static_cast<unsigned>(node.lineNumber), 5).text(" ").decimal(node.duplicate);
    line.text("\n").writeTo(out);
  }
  std::fprintf(out, "%s===============\n", rule.c_str());
  closeOutputStream(run.files, out, path);
}

}  // namespace zq
