#include "composer/sets.h"

#include <gtest/gtest.h>

#include <vector>

namespace vordel {
namespace {

void Fill(Set& s, const std::vector<int>& values) {
  s.newset(kPitchSet, static_cast<int>(values.size()));
  for (int v : values) {
    s.insert(v);
  }
}

std::vector<int> Elements(const Set& s) {
  std::vector<int> out;
  for (int i = 0; i < s.GetSize(); ++i) {
    out.push_back(s[i]);
  }
  return out;
}

const std::vector<int> kRow = {1, 0, 11, 2, 4, 3, 5, 7, 6, 8, 10, 9};

// Each serial form, then back to normal: the row comes back and the previous form is kept.
TEST(Set, SerialFormsAndTheirHistory) {
  const int expected[4] = {0, 1, 2, 1};
  for (int start = 0; start < 4; ++start) {
    Set s;
    Fill(s, kRow);
    if (start == 1)
      s.retrograde();
    if (start == 2)
      s.invert();
    if (start == 3)
      s.retroinvert();
    EXPECT_EQ(s.GetMode(), start);
    s.normal();
    EXPECT_EQ(s.GetPreviousMode(), expected[start]) << "from mode " << start;
    EXPECT_EQ(s.GetMode(), kNormal);
    EXPECT_EQ(Elements(s), kRow);
  }
  Set r;
  Fill(r, {1, 2, 3});
  r.retrograde();
  EXPECT_EQ(Elements(r), (std::vector<int>{3, 2, 1}));
}

TEST(Set, CursorCyclesAndWraps) {
  Set s;
  Fill(s, kRow);
  int i = 0;
  s.start(i);
  for (int k = 0; k < 12; ++k) {
    ASSERT_EQ(s.cycle(i), kRow[static_cast<std::size_t>(k)]);
  }
  EXPECT_FALSE(s.ok(i));
  EXPECT_EQ(s.cycle(i), kRow[0]);
  EXPECT_EQ(i, 1);
  int j = 3;
  EXPECT_EQ(s.prev(j), kRow[3]);
  EXPECT_EQ(j, 2);
}

}  // namespace
}  // namespace vordel
