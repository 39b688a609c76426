#include "chances/dur_generator.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

// No tempo, no time: every length is 0 rather than a division by zero.
TEST(DurationOf, ATempoOfZero) {
  DurGenerator g;
  g.durCalc(0);
  EXPECT_EQ(g.Getdur(2, 0), 0);
}

}  // namespace
}  // namespace vordel
