#include "chances/random_source.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vordel {
namespace {

TEST(RandomSource, FirstDrawsAfterKnownSeeds) {
  srand(0);
  EXPECT_EQ(rand(), 0);  // state 1, and 1 >> 16 is 0
  srand(1);
  EXPECT_EQ(rand(), 346);
}

TEST(RandomSource, SequenceFollowsTheLinearCongruence) {
  srand(12345);
  std::uint32_t state = 12345;
  for (int i = 0; i < 1000; ++i) {
    state = state * 22695477u + 1u;
    ASSERT_EQ(rand(), static_cast<int>((state >> 16) & 0x7FFF)) << "draw " << i;
  }
  EXPECT_EQ(rand_state(), state);
}

TEST(RandomSource, DrawsStayInRangeAndWrapTheState) {
  srand(0xFFFFFFFFu);
  for (int i = 0; i < 10000; ++i) {
    const int r = rand();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, kRandMax);
  }
}

TEST(RandomSource, PinnedClockReseedsAlike) {
  {
    ScopedClockPin pin(4242);
    EXPECT_EQ(clock(), 4242);
    ReseedFromClock();
    const int a = rand();
    ReseedFromClock();
    EXPECT_EQ(rand(), a);
    {
      ScopedClockPin inner(7);
      EXPECT_EQ(clock(), 7);
    }
    EXPECT_EQ(clock(), 4242);
  }
  EXPECT_FALSE(PinnedClock().has_value());
  const std::int64_t a = clock();
  EXPECT_GE(a, 0);
  EXPECT_GE(clock(), a);  // monotonic
}

TEST(RandomSource, ClockIsTakenModulo2To32WhenSeeding) {
  ScopedClockPin pin((std::int64_t{1} << 32) + 5);
  ReseedFromClock();
  EXPECT_EQ(rand_state(), 5u);
}

}  // namespace
}  // namespace vordel
