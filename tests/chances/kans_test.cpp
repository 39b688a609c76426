#include "chances/kans.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace vordel {
namespace {

// A seed whose next draw is r.
std::uint32_t SeedForDraw(int r) {
  for (std::uint32_t seed = 0;; ++seed) {
    RandomSource probe;
    probe.srand(seed);
    if (probe.rand() == r) {
      return seed;
    }
  }
}

TEST(Drt, NumericHelpers) {
  RandomSource rng;
  DRT d(rng);
  EXPECT_EQ(d.Round(2.5f), 3);
  EXPECT_EQ(d.Round(2.49f), 2);
  EXPECT_EQ(d.Round(-1.2f), 0);
  EXPECT_EQ(d.Round(-1.7f), -1);
  EXPECT_EQ(d.Round(1e20f), INT_MAX);
  EXPECT_EQ(d.Bound(5, 10, 3), 3);  // the maximum is tested first
  EXPECT_EQ(d.Bound(1, 10, 30), 10);
  EXPECT_EQ(d.Bound(5, 0, 10), 5);
  EXPECT_EQ(d.BoundByte(128), 127);
  EXPECT_EQ(d.BoundByte(-1), 0);
  EXPECT_EQ(d.BoundByte(127), 127);
  EXPECT_DOUBLE_EQ(d.Scale(5, 0, 10, 100, 200), 150.0);
}

TEST(Drt, DrawsComeFromTheCompositionsSource) {
  RandomSource rng;
  DRT d(rng);
  rng.srand(SeedForDraw(0));
  EXPECT_EQ(d.DoubleRand(), 0.0);
  rng.srand(SeedForDraw(32767));
  EXPECT_EQ(d.DoubleRand(), 1.0);  // both ends included
  rng.srand(SeedForDraw(16383));   // u just below 0.5
  EXPECT_LE(d.BiExpRand(1.0), 0.0);
  rng.srand(SeedForDraw(30000));
  EXPECT_GT(d.BiExpRand(1.0), 0.0);
  rng.srand(SeedForDraw(12345));
  EXPECT_EQ(d.PoissonRand(0.0), 0);
  rng.srand(3);
  EXPECT_GE(d.PoissonRand(1000.0), 0);               // e^-lambda underflows: it still ends
  EXPECT_TRUE(std::isfinite(d.BetaRand(0.0, 0.0)));  // exponents never accepted: no hang
}

TEST(Drt, DistributionsStayInTheirRangesWithTheirMeans) {
  RandomSource rng;
  rng.srand(2024);
  DRT d(rng);
  const int n = 20000;
  double sum = 0.0;
  double sq = 0.0;
  double weibull = 0.0;
  double poisson = 0.0;
  int flips = 0;
  int odd = 0;
  for (int i = 0; i < n; ++i) {
    const double g = d.GaussRand(2.0, 10.0);
    sum += g;
    sq += g * g;
    const double lin = d.LinRand();
    const double tri = d.TriRand();
    const double beta = d.BetaRand(2.0, 2.0);
    ASSERT_TRUE(lin >= 0.0 && lin <= 1.0);
    ASSERT_TRUE(tri >= 0.0 && tri <= 1.0);
    ASSERT_TRUE(beta >= 0.0 && beta <= 1.0);
    ASSERT_GE(d.ExpRand(2.0), 0.0);
    ASSERT_GE(d.ExpRand(1.0), std::log(0.5) - 1e-12);
    ASSERT_GE(d.BiCauchyRand(1.0), 0.0);
    weibull += d.WeibullRand(1.0, 2.0);
    poisson += d.PoissonRand(3.0);
    const int v = d.OneOverF(i % 16, 16);
    ASSERT_TRUE(v >= 0 && v < 16);
    odd += v % 2;
    flips += d.OneOverF(i % 2, 2) != i % 2 ? 1 : 0;
  }
  const double mean = sum / n;
  EXPECT_NEAR(mean, 10.0, 0.1);
  EXPECT_NEAR(std::sqrt(sq / n - mean * mean), 2.0, 0.1);
  EXPECT_NEAR(flips, n / 2, n / 16);
  EXPECT_NEAR(weibull / n, 0.886, 0.02);  // scale 1, shape 2: the square root of pi, halved
  EXPECT_NEAR(poisson / n, 3.0, 0.1);
  EXPECT_GT(odd, n / 8);  // every digit of the 1/f walk moves, the lowest too
}

}  // namespace
}  // namespace vordel
