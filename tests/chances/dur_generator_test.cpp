#include "chances/dur_generator.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

struct DurCase {
  int tempo;
  int code;
  int flags;
  int ms;
};

class DurationOf : public ::testing::TestWithParam<DurCase> {};

TEST_P(DurationOf, ACodeAtATempo) {
  DurGenerator g;
  g.durCalc(GetParam().tempo);
  EXPECT_EQ(g.Getdur(GetParam().code, GetParam().flags), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DurationOf,
    ::testing::Values(
        // At 360 bpm the whole note is 666 ms and each value half the one before, unrounded:
        // 666, 333, 166.5, 83.25, 41.625, 20.8125.
        DurCase{360, 0, 0, 666}, DurCase{360, 1, 0, 333}, DurCase{360, 2, 0, 166},
        DurCase{360, 3, 0, 83}, DurCase{360, 4, 0, 41}, DurCase{360, 5, 0, 20},
        DurCase{360, 6, 0, 666}, DurCase{360, 7, 0, 333},      // 6 and 7 wrap
        DurCase{360, 18, 0, 249},                              // dotted: trunc(166.5) x 1.5
        DurCase{360, 130, 1, 83}, DurCase{360, 130, 0, 166},   // halved only when sounding
        DurCase{360, 129, 1, 166}, DurCase{360, 65, 0, -333},  // negated
        // Triplets: 2/3 of a value whose third is whole loses one (666 -> 443).
        DurCase{360, 8, 0, 443}, DurCase{360, 9, 0, 221}, DurCase{360, 10, 0, 110},
        DurCase{360, 34, 0, 110}, DurCase{360, 11, 0, 55}, DurCase{40, 0, 0, 6000},
        DurCase{40, 8, 0, 3999}, DurCase{40, 24, 0, 5998}, DurCase{40, 5, 0, 187},
        DurCase{40, 13, 0, 124}, DurCase{520, 0, 0, 461}, DurCase{520, 5, 0, 14},
        DurCase{520, 10, 0, 76}, DurCase{520, 138, 1, 38}, DurCase{0, 0, 0, 0},
        DurCase{-5, 2, 0, 0}));

TEST(DurationOf, TripletsOfWholeThirds) {
  EXPECT_EQ(DurGenerator::TripletOf(3000.0f), 1999);
  EXPECT_EQ(DurGenerator::TripletOf(187.5f), 124);
  EXPECT_EQ(DurGenerator::TripletOf(1000.0f), 666);
  EXPECT_EQ(DurGenerator::TripletOf(0.0f), 0);
  EXPECT_EQ(DurGenerator::TripletOf(-3.0f), -2);
}

}  // namespace
}  // namespace vordel
