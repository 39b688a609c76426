#include "chances/random_source.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

TEST(RandomSource, DrawsOfKnownSeedsAndTheirRange) {
  struct Case {
    std::uint32_t seed;
    std::vector<int> draws;
  };
  // The first draws of a few seeds, as the congruence state x 22695477 + 1 gives them.
  for (const Case& c : {Case{0, {0, 346, 130}}, Case{1, {346, 130, 10982}},
                        Case{0xFFFFFFFFu, {32421, 561, 22046}}}) {
    RandomSource rng;
    rng.srand(c.seed);
    for (int expected : c.draws) {
      EXPECT_EQ(rng.rand(), expected) << "seed " << c.seed;
    }
  }
  RandomSource rng;
  EXPECT_EQ(rng.state(), 1u);  // a fresh source, as a fresh process
  rng.srand(12345);
  int lowest = kRandMax;
  int highest = 0;
  for (int i = 0; i < 200000; ++i) {
    const int r = rng.rand();
    lowest = std::min(lowest, r);
    highest = std::max(highest, r);
  }
  EXPECT_EQ(lowest, 0);
  EXPECT_EQ(highest, kRandMax);
}

}  // namespace
}  // namespace vordel
