#include "platform/nearest_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Insertions, deletions, changes and swaps of neighbours count one edit each; case counts
// none; beyond the limit the answer is limit + 1.
TEST(NearestName, Distance) {
  const struct {
    const char* a;
    const char* b;
    size_t limit, distance;
  } cases[] = {
      {"LDA", "lda", 3, 0},       {"LDAX", "LDA", 3, 1},   {"LD", "LDA", 3, 1},
      {"LAD", "LDA", 3, 1},       {"nowher", "nowhere", 2, 1},
      {"START", "STRAT", 2, 1},   {"abc", "xyz", 5, 3},    {"abc", "xyz", 2, 3},
      {"a", "abcdef", 3, 4},      {"", "ab", 5, 2},        {"kitten", "sitting", 5, 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(zq::nameDistance(c.a, c.b, c.limit), c.distance) << c.a << " " << c.b;
}

// The nearest within a third of the name's length wins, the first of equals; a name of one
// character, or nothing near, gets no suggestion.
TEST(NearestName, Suggestion) {
  auto nearest = [](const char* wanted, std::initializer_list<const char*> names) {
    zq::NearestName n(wanted);
    for (const char* name : names) n.offer(name);
    return n.best();
  };
  EXPECT_EQ(nearest("LDAX", {"MOV", "LDA", "LDAA"}), "LDA");
  EXPECT_EQ(nearest("counter", {"count", "countr", "counter2"}), "countr");
  EXPECT_EQ(nearest("loop_end", {"loop_start", "LOOP_END2"}), "LOOP_END2");
  EXPECT_EQ(nearest("abcdef", {"abcxyz"}), "");  // three edits, limit two
  EXPECT_EQ(nearest("X", {"Y", "XX"}), "");
  EXPECT_EQ(nearest("Start", {"start"}), "start");  // a name told apart by case only
  EXPECT_EQ(nearest("ab", {"", "cd", "ac", "ab1"}), "ac");
}

}  // namespace
