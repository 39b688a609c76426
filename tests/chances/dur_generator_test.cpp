#include "chances/dur_generator.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

DurGenerator At(int tempo) {
  DurGenerator g;
  g.durCalc(tempo);
  return g;
}

TEST(DurGenerator, TableHalvesWithoutRounding) {
  const DurGenerator g = At(360);
  const auto& t = g.GetMaxTab();
  EXPECT_FLOAT_EQ(t[0], 666.0f);
  EXPECT_FLOAT_EQ(t[1], 333.0f);
  EXPECT_FLOAT_EQ(t[2], 166.5f);
  EXPECT_FLOAT_EQ(t[3], 83.25f);
  EXPECT_FLOAT_EQ(t[4], 41.625f);
  EXPECT_FLOAT_EQ(t[5], 20.8125f);
}

TEST(DurGenerator, PlainDottedHalvedAndNegatedCodes) {
  const DurGenerator g = At(360);
  EXPECT_EQ(g.Getdur(2, 0), 166);
  EXPECT_EQ(g.Getdur(18, 0), 249);  // dotted: trunc(166.5) * 1.5
  EXPECT_EQ(g.Getdur(130, 1), 83);  // halved only when asked
  EXPECT_EQ(g.Getdur(130, 0), 166);
  EXPECT_EQ(g.Getdur(129, 1), 166);
  EXPECT_EQ(g.Getdur(64 + 1, 0), -333);
  EXPECT_EQ(g.Getdur(6, 0), 666);  // 6 and 7 wrap to whole and half
  EXPECT_EQ(g.Getdur(7, 0), 333);
}

TEST(DurGenerator, TripletLosesOneOnWholeThirds) {
  // 2/3 of 166.5 is exactly 111: the extended-precision product truncates to 110.
  EXPECT_EQ(At(360).Getdur(10, 0), 110);
  EXPECT_EQ(At(360).Getdur(32 + 2, 0), 110);  // bit 32 is a triplet too
  EXPECT_EQ(At(360).Getdur(8, 0), 443);       // 2/3 of 666 = 444 exactly
  EXPECT_EQ(At(360).Getdur(9, 0), 221);       // 2/3 of 333 = 222 exactly
  EXPECT_EQ(At(360).Getdur(11, 0), 55);       // 2/3 of 83.25 = 55.5
  EXPECT_EQ(DurGenerator::TripletOf(3000.0f), 1999);
  EXPECT_EQ(DurGenerator::TripletOf(187.5f), 124);
  EXPECT_EQ(DurGenerator::TripletOf(1000.0f), 666);
  EXPECT_EQ(DurGenerator::TripletOf(0.0f), 0);
}

TEST(DurGenerator, CodesAtOtherTempi) {
  const DurGenerator slow = At(40);  // whole note 6000 ms
  EXPECT_EQ(slow.Getdur(0, 0), 6000);
  EXPECT_EQ(slow.Getdur(8, 0), 3999);
  EXPECT_EQ(slow.Getdur(8 + 16, 0), 5998);  // triplet, then dotted
  EXPECT_EQ(slow.Getdur(5, 0), 187);
  EXPECT_EQ(slow.Getdur(13, 0), 124);  // 2/3 of 187.5
  const DurGenerator fast = At(520);   // whole note 461 ms
  EXPECT_EQ(fast.Getdur(0, 0), 461);
  EXPECT_EQ(fast.Getdur(5, 0), 14);
  EXPECT_EQ(fast.Getdur(10, 0), 76);  // 2/3 of 115.25 = 76.83
  EXPECT_EQ(fast.Getdur(138, 1), 38);
}

TEST(DurGenerator, NonPositiveTempoGivesSilence) {
  const DurGenerator g = At(0);
  EXPECT_EQ(g.Getdur(0, 0), 0);
}

TEST(DurGenerator, SemiRandStaysInItsRange) {
  DurGenerator g;
  for (int i = 0; i < 500; ++i) {
    const int v = g.semi_rand(10, 4);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 9);
  }
}

}  // namespace
}  // namespace vordel
