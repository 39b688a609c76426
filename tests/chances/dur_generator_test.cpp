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

// A code's written value in 192nds of a whole: plain, triplet (either flag), dotted, both,
// negative; the halving flag leaves it; the value index wraps modulo 6.
TEST(WrittenUnits, EveryKindOfCode) {
  const std::pair<int, int> kCases[] = {
      {0, 192},         {1, 96},       {2, 48},       {3, 24},         {4, 12},      {5, 6},
      {6, 192},         {8, 128},      {2 | 8, 32},   {3 | 32, 16},    {2 | 16, 72}, {5 | 16, 9},
      {2 | 8 | 16, 48}, {2 | 64, -48}, {2 | 128, 48}, {4 | 8 | 128, 8}};
  for (const auto& [code, units] : kCases) {
    EXPECT_EQ(DurGenerator::WrittenUnits(code), units) << "code " << code;
  }
}

// What a code lasts is its written value at the tempo, to the milliseconds its two truncations
// (the triplet's, the dot's) lose.
TEST(WrittenUnits, AgreeWithTheLengths) {
  for (const int tempo : {40, 120, 280, 520}) {
    DurGenerator g;
    g.durCalc(tempo);
    const double whole = static_cast<double>(240000 / tempo);
    for (int code = 0; code < 256; ++code) {
      const double written = DurGenerator::WrittenUnits(code) * whole / 192.0;
      EXPECT_NEAR(g.Getdur(code, 0), written, 2.0) << "code " << code << " at " << tempo;
    }
  }
}

}  // namespace
}  // namespace vordel
