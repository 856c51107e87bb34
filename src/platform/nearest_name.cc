#include "platform/nearest_name.h"

#include <algorithm>

#include "platform/text.h"

namespace zq {

namespace {

// Longest name compared; a longer one is no name a source would misspell.
constexpr size_t kMaxComparedName = 255;

size_t distanceWith(std::string_view a, std::string_view b, size_t limit,
                    std::vector<size_t>& rows) {
  const size_t la = a.size(), lb = b.size();
  if ((la > lb ? la - lb : lb - la) > limit) return limit + 1;
  // Three rows of (lb + 1) cells: two rows back (for a swap), the row before, this row.
  const size_t width = lb + 1;
  rows.assign(3 * width, 0);
  size_t* before2 = rows.data();
  size_t* before = before2 + width;
  size_t* row = before + width;
  for (size_t j = 0; j <= lb; ++j) before[j] = j;
  for (size_t i = 1; i <= la; ++i) {
    row[0] = i;
    size_t rowLeast = row[0];
    for (size_t j = 1; j <= lb; ++j) {
      const bool same = toUpper(a[i - 1]) == toUpper(b[j - 1]);
      size_t cell = std::min({before[j] + 1, row[j - 1] + 1, before[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && toUpper(a[i - 1]) == toUpper(b[j - 2]) &&
          toUpper(a[i - 2]) == toUpper(b[j - 1]))
        cell = std::min(cell, before2[j - 2] + 1);
      row[j] = cell;
      rowLeast = std::min(rowLeast, cell);
    }
    // Every later cell is at least the least of this row.
    if (rowLeast > limit) return limit + 1;
    size_t* oldest = before2;
    before2 = before;
    before = row;
    row = oldest;
  }
  return std::min(before[lb], limit + 1);
}

}  // namespace

size_t nameDistance(std::string_view a, std::string_view b, size_t limit) {
  std::vector<size_t> rows;
  return distanceWith(a, b, limit, rows);
}

NearestName::NearestName(std::string_view wanted)
    : wanted_(wanted.substr(0, kMaxComparedName)),
      limit_(std::max<size_t>(1, wanted_.size() / 3)),
      bestDistance_(limit_ + 1) {}

void NearestName::offer(std::string_view candidate) {
  if (wanted_.size() < 2 || candidate.empty() || candidate.size() > kMaxComparedName ||
      bestDistance_ == 0)
    return;
  // Only a name nearer than the best so far counts.
  const size_t bound = std::min(limit_, bestDistance_ - 1);
  const size_t distance = distanceWith(wanted_, candidate, bound, rows_);
  if (distance > bound) return;
  bestDistance_ = distance;
  best_.assign(candidate.data(), candidate.size());
}

}  // namespace zq
