#include "composer/sets.h"

#include <gtest/gtest.h>

#include <vector>

#include <sstream>

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

TEST(Set, InvertMirrorsIntervalsWithTruncatingRemainder) {
  Set s;
  Fill(s, {0, 1});
  s.invert();
  EXPECT_EQ(Elements(s), (std::vector<int>{0, -1}));
  Fill(s, kRow);
  s.invert();
  EXPECT_EQ(Elements(s), (std::vector<int>{1, 2, -9, 0, -2, -1, -3, -5, -4, -6, -8, -7}));
  s.invert();
  EXPECT_EQ(Elements(s), kRow);  // twice restores a row of 0..11
}

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

TEST(Set, TransposeRotateStretch) {
  Set s;
  Fill(s, {-1, 11, 5});
  s.transpose(3);
  EXPECT_EQ(Elements(s), (std::vector<int>{2, 2, 8}));
  s.transpose(-9);
  EXPECT_EQ(Elements(s), (std::vector<int>{-7, -7, -1}));
  s.rotate_left();
  EXPECT_EQ(Elements(s), (std::vector<int>{-7, -1, -7}));
  s.stretch(3);
  EXPECT_EQ(Elements(s), (std::vector<int>{-21, -3, -21}));
  EXPECT_EQ(s.GetMode(), kNormal);
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

TEST(Set, EmptySetReadsZeroAndCursorMoves) {
  Set s(kDurationSet, 12);
  int i = 0;
  EXPECT_EQ(s.cycle(i), 0);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(s.cycle(i), 0);
  EXPECT_EQ(s.next(i), 0);
  EXPECT_EQ(s.prev(i), 0);
  Set none;
  EXPECT_EQ(none.cycle(i), 0);
}

TEST(Set, CapacityIsNeverExceeded) {
  std::ostringstream out;
  Set s;
  s.ReportTo(out);
  s.newset(kPitchSet, 2);
  s.insert(1);
  s.insert(2);
  s.insert(3);
  EXPECT_EQ(s.GetSize(), 2);
  EXPECT_EQ(s[2], 0);
  EXPECT_EQ(s[-1], 0);
  EXPECT_EQ(out.str(), "too many elements...\n");
  Set bad;
  bad.ReportTo(out);
  bad.newset(kPitchSet, 0);
  bad.insert(4);
  EXPECT_EQ(bad.GetSize(), 0);
  EXPECT_EQ(out.str(), "too many elements...\nilligal Set-size..\ntoo many elements...\n");
}

TEST(Set, MemberBisectsAnAscendingSet) {
  Set s;
  Fill(s, {1, 3, 5, 7, 9, 11});
  EXPECT_EQ(s.member(1), 1);
  EXPECT_EQ(s.member(11), 1);
  EXPECT_EQ(s.member(7), 1);
  EXPECT_EQ(s.member(4), 0);
  EXPECT_EQ(s.member(12), 0);
}

TEST(Set, CopyTakesTypeCapacityModeAndElements) {
  Set a;
  Fill(a, {4, 5, 6});
  a.retrograde();
  Set b(kTextureSet, 1);
  b = &a;
  EXPECT_EQ(b.GetType(), kPitchSet);
  EXPECT_EQ(b.GetCapacity(), 3);
  EXPECT_EQ(b.GetMode(), kRetrograde);
  EXPECT_EQ(b.GetPreviousMode(), 0);
  EXPECT_EQ(Elements(b), (std::vector<int>{6, 5, 4}));
  a.transpose(1);
  EXPECT_EQ(Elements(b), (std::vector<int>{6, 5, 4}));  // no shared storage
  b = &b;
  EXPECT_EQ(Elements(b), (std::vector<int>{6, 5, 4}));
}

}  // namespace
}  // namespace vordel
