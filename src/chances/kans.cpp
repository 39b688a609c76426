#include "chances/kans.h"

#include <climits>
#include <cmath>

namespace vordel {
namespace {

// 1 / 32767 held in extended precision (3.051850947599719e-05), so that a draw of 32767
// gives exactly 1.0.
constexpr long double kInvRandMax = 1.0L / 32767.0L;

}  // namespace

double DRT::DoubleRand() {
  const int r = rng_.rand();
  return static_cast<double>(static_cast<long double>(r) * kInvRandMax);
}

int DRT::Round(float f) {
  const double v = static_cast<double>(f) + 0.5;
  if (!(v < static_cast<double>(INT_MAX) + 1.0)) {
    return std::isnan(v) ? 0 : INT_MAX;
  }
  if (!(v > static_cast<double>(INT_MIN) - 1.0)) {
    return INT_MIN;
  }
  return static_cast<int>(v);
}

int DRT::Bound(int input, int min, int max) {
  if (max < input) {
    return max;
  }
  if (min > input) {
    return min;
  }
  return input;
}

int DRT::BoundByte(int input) {
  if (input > 127) {
    return 127;
  }
  if (input < 0) {
    return 0;
  }
  return input;
}

double DRT::Scale(double input, double smin, double smax, double dmin, double dmax) {
  return (dmax - dmin) * (input - smin) / (smax - smin) + dmin;
}

double DRT::LinRand() {
  double i = DoubleRand();
  const double j = DoubleRand();
  if (j < i) {
    i = j;
  }
  return i;
}

double DRT::TriRand() {
  const double i = DoubleRand();
  const double j = DoubleRand();
  return (i + j) * 0.5;
}

double DRT::ExpRand(double lambda) {
  // The factor and the division stand inside the logarithm: -ln(u) + ln(lambda / 2).
  double i = 0.0;
  do {
    i = DoubleRand() * 2.0 / lambda;
  } while (i == 0.0);
  return -std::log(i);
}

double DRT::BiExpRand(double lambda) {
  double i = 0.0;
  do {
    i = 2.0 * DoubleRand();
  } while (i == 0.0 || i == 2.0);
  if (i > 1.0) {
    return -std::log(2.0 - i) / lambda;
  }
  return std::log(i) / lambda;
}

double DRT::GaussRand(double sigma, double mu) {
  constexpr double nov2 = kGaussDraws / 2.0;
  constexpr double scale = 1.0;  // sqrt(12 / kGaussDraws)
  double sum = 0.0;
  for (int n = 0; n < kGaussDraws; ++n) {
    sum += DoubleRand();
  }
  return sigma * scale * (sum - nov2) + mu;
}

double DRT::BiCauchyRand(double alpha) {
  double i = 0.0;
  do {
    i = DoubleRand();
  } while (i == 1.0);
  i = 1.57079635 * i;
  return std::tan(i) * alpha;
}

double DRT::BetaRand(double a, double b) {
  // With a or b not above 0 every powered draw is 1 or more, so the rejection loop would never
  // end; such arguments get one pass without rejection.
  const bool can_reject = a > 0.0 && b > 0.0;
  for (;;) {
    double i = 0.0;
    do {
      i = DoubleRand();
    } while (i == 0.0);
    double j = 0.0;
    do {
      j = DoubleRand();
    } while (j == 0.0);
    const double k = std::pow(i, a);
    const double l = std::pow(j, b);
    const double sum = k + l;
    if (sum > 1.0 && can_reject) {
      continue;
    }
    return k / sum;
  }
}

double DRT::WeibullRand(double s, double t) {
  double i = 0.0;
  do {
    i = DoubleRand();
  } while (i == 0.0 || i == 1.0);
  const double a = 1.0 / (1.0 - i);
  return std::pow(std::log(a), 1.0 / t) * s;
}

int DRT::PoissonRand(double lambda) {
  int n = 0;
  double i = DoubleRand();
  const double v = std::exp(-lambda);
  // When e^-lambda underflows to 0 a product that reached 0 would still satisfy i >= v.
  while (i >= v && !(i == 0.0 && v == 0.0)) {
    if (n == INT_MAX) {
      break;
    }
    n += 1;
    i = i * DoubleRand();
  }
  return n;
}

int DRT::OneOverF(int last, int amb) {
  if (amb < 2) {
    return 0;
  }
  // Outside 0..amb-1 the digit arithmetic below could overflow; such values are clamped.
  int l = last < 0 ? 0 : (last >= amb ? amb - 1 : last);
  int k = amb / 2;
  int anew = 0;
  double probit = std::pow(2.0, -std::log(static_cast<double>(amb)) / std::log(2.0));
  do {
    int j = l / k;
    if (j == 1) {
      l = l - k;
    }
    if (DoubleRand() < probit) {
      j = 1 - j;
    }
    anew = anew + j * k;
    k = k / 2;
    probit = probit * 2.0;
  } while (k >= 1);
  return anew;
}

}  // namespace vordel
