// The nearest of a set of names to one that no table knows, for the "did you mean" of a
// diagnostic. Names are compared without regard to case; edit distance with a swap of two
// neighbouring characters counted as one edit.
#ifndef ZQASM_PLATFORM_NEAREST_NAME_H_
#define ZQASM_PLATFORM_NEAREST_NAME_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

// Edits that turn `a` into `b` (case ignored), or limit + 1 when more than `limit` do.
size_t nameDistance(std::string_view a, std::string_view b, size_t limit);

// Offered names one by one, keeps the nearest to `wanted` within a third of its length (at
// least one edit); of names equally near, the first offered. A name of fewer than two
// characters gets no suggestion: every short name would be near it.
class NearestName {
 public:
  explicit NearestName(std::string_view wanted);
  void offer(std::string_view candidate);
  // The nearest name offered, empty when none was near enough.
  const std::string& best() const { return best_; }

 private:
  std::string wanted_;
  size_t limit_;
  size_t bestDistance_;
  std::string best_;
  std::vector<size_t> rows_;  // the distance table's last three rows, reused
};

}  // namespace zq

#endif  // ZQASM_PLATFORM_NEAREST_NAME_H_
