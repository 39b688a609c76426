#include "chances/dur_generator.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

// No tempo, no time: every length is 0 rather than a division by zero.
TEST(DurationOf, ATempoOfZeroOrBelow) {
  for (const int tempo : {0, -5}) {
    DurGenerator g;
    g.durCalc(tempo);
    EXPECT_EQ(g.Getdur(2, 0), 0) << tempo;
  }
}

}  // namespace
}  // namespace vordel
