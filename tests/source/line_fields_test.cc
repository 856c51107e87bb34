// The field splitter: where fields end, what an over-long one keeps, and what a split
// tells of a cut.
#include "source/line_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "source/source_state.h"

namespace {

// Mode 0 stops after four fields, mode 1 keeps the rest in the third; only "' '" quotes.
// Fields that get no character are cleared; a blank line leaves them alone (-1).
TEST(LineFields, SplitFields) {
  auto expect = [](const std::string& line, int mode, int count,
                   const std::vector<std::string>& fields) {
    SCOPED_TRACE(line);
    zq::SourceState state;
    for (auto& field : state.field) field = "stale";
    EXPECT_EQ(zq::splitFields(state, line, mode), count);
    for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(state.field[i + 1], fields[i]);
  };
  expect("A B C D\n", 1, 3, {"A", "B", "C D"});
  expect("A B C D E F\n", 0, 4, {"A", "B", "C", "D"});
  expect("L1: JMP L2 + 1 ; back\n", 1, 3, {"L1", "JMP", "L2 + 1 "});
  expect("  \tX: ' '\n", 0, 2, {"X", "' '"});
  expect("X 'A B'\n", 0, 3, {"X", "'A", "B'"});
  expect("A:B\n", 0, 2, {"A", "B"});
  expect("X ", 0, 2, {"X", ""});
  expect("   \n", 0, 1, {""});
  expect("", 0, -1, {"stale"});
  expect(" \t ", 0, -1, {"stale"});
  // An over-long field keeps its first 255 characters; the next field is not disturbed.
  const std::string longWord(300, 'W');
  expect(longWord + " B\n", 0, 2, {std::string(255, 'W'), "B"});
  expect("A B " + longWord + " x\n", 1, 3, {"A", "B", std::string(255, 'W')});
  // Each split names the first field it had to cut (the caller's error 72): 255 fit.
  zq::SourceState state;
  const std::string fits(255, 'F');
  for (const auto& [line, mode, cut] : {std::tuple(longWord + " B\n", 0, 1),
                                        {"A B C " + longWord, 0, 4},
                                        {"A B " + fits + "x\n", 1, 3},
                                        {fits + " " + fits + "\n", 0, 0}}) {
    state.fieldCut = 9;
    zq::splitFields(state, line, mode);
    EXPECT_EQ(state.fieldCut, cut) << line.size() << " characters, mode " << mode;
  }
}

}  // namespace
