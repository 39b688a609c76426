// Random distributions and small numeric helpers shared by every musical object; the draws come
// from the random source of the composition the object belongs to. The composing thread; not
// real-time safe.
#pragma once

#include "chances/random_source.h"

namespace vordel {

class DRT {
 public:
  explicit DRT(RandomSource& rng) : rng_(rng) {}

  // rand() / 32767: uniform on [0, 1], both ends included.
  double DoubleRand();
  // f + 0.5 truncated toward zero (saturating at the int range).
  int Round(float f);
  // max if max < input, else min if min > input, else input (tested in that order).
  int Bound(int input, int min, int max);
  // Clamps to 0..127.
  int BoundByte(int input);
  // Linear map of [smin, smax] onto [dmin, dmax]; needs smax != smin.
  double Scale(double input, double smin, double smax, double dmin, double dmax);

  double LinRand();
  double TriRand();
  double ExpRand(double lambda);
  double BiExpRand(double lambda);
  double GaussRand(double sigma, double mu);
  double BiCauchyRand(double alpha);
  double BetaRand(double a, double b);
  double WeibullRand(double s, double t);
  int PoissonRand(double lambda);
  // Next value of a 1/f sequence over 0..amb-1 given the previous value; needs amb >= 2.
  int OneOverF(int last, int amb);

  // Number of uniform draws GaussRand sums: twelve draws have mean 6 and variance 1.
  static constexpr int kGaussDraws = 12;

 protected:
  RandomSource& rng() { return rng_; }

 private:
  RandomSource& rng_;
};

}  // namespace vordel
