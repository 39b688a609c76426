#include "chances/dur_generator.h"

#include <climits>
#include <cmath>
#include <cstdint>

namespace vordel {

const char* const duration_codes[6] = {"1/1", "1/2", "1/4", "1/8", "1/16", "1/32"};

namespace {

int TruncToInt(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  if (v >= static_cast<double>(INT_MAX)) {
    return INT_MAX;
  }
  if (v <= static_cast<double>(INT_MIN)) {
    return INT_MIN;
  }
  return static_cast<int>(v);
}

}  // namespace

DurGenerator::DurGenerator() : triool_fact(2.0 / 3.0), dot_fact(1.5) {}

void DurGenerator::durCalc(int Tempo) {
  if (Tempo <= 0) {
    durTab.fill(0.0f);
    return;
  }
  const int whole_note = 240000 / Tempo;  // truncated, as the tempo's note values are
  durTab[0] = static_cast<float>(whole_note);
  for (std::size_t i = 1; i < durTab.size(); ++i) {
    durTab[i] = durTab[i - 1] * 0.5f;
  }
}

int DurGenerator::TripletOf(float v) {
  // 2v is exact in double. The product with the double nearest 2/3 (slightly below it) lands
  // just under every whole value of 2v/3, so a whole result loses one on truncation.
  const double w = 2.0 * static_cast<double>(v);
  if (w == std::floor(w) && std::fabs(w) < 9.0e15) {
    const auto whole = static_cast<std::int64_t>(w);
    const std::int64_t q = whole / 3;
    if (whole % 3 == 0) {
      return TruncToInt(static_cast<double>(whole > 0 ? q - 1 : q));
    }
    return TruncToInt(static_cast<double>(q));
  }
  return TruncToInt(std::trunc(w / 3.0));
}

int DurGenerator::WrittenUnits(int code) {
  const int flag_bits = kDurTriplet | kDurDotted | kDurTriplet2 | kDurNegative | kDurHalved;
  int index = (code & ~flag_bits) % 6;
  if (index < 0) {
    index += 6;
  }
  int units = 192 >> index;
  if ((code & (kDurTriplet | kDurTriplet2)) != 0) {
    units = units * 2 / 3;
  }
  if ((code & kDurDotted) != 0) {
    units = units * 3 / 2;
  }
  return (code & kDurNegative) != 0 ? -units : units;
}

int DurGenerator::Getdur(int code, int flags) const {
  const int flag_bits = kDurTriplet | kDurDotted | kDurTriplet2 | kDurNegative | kDurHalved;
  int index = (code & ~flag_bits) % 6;
  if (index < 0) {
    index += 6;
  }
  const float v = durTab[static_cast<std::size_t>(index)];
  int result = 0;
  if ((code & (kDurTriplet | kDurTriplet2)) != 0) {
    result = TripletOf(v);
  } else {
    result = TruncToInt(static_cast<double>(v));
  }
  if ((code & kDurDotted) != 0) {
    result = TruncToInt(static_cast<double>(result) * dot_fact);
  }
  if ((code & kDurNegative) != 0) {
    result = result == INT_MIN ? INT_MAX : -result;
  }
  if (flags == 1 && (code & kDurHalved) != 0) {
    result = result / 2;
  }
  return result;
}

}  // namespace vordel
