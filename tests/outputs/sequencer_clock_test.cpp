#include "outputs/sequencer_clock.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vordel {
namespace {

constexpr std::int64_t kMs = 1000000;

// The sequencer as the audio thread moves it: whole milliseconds of audio rendered, in bursts
// of one period, running `ppm` fast against the monotonic clock.
std::int64_t SequencerAt(std::int64_t mono_ns, double period_ms, double ppm) {
  const double audio_ms = static_cast<double>(mono_ns) / 1e6 * (1.0 + ppm * 1e-6);
  const double burst_start = std::floor(audio_ms / period_ms) * period_ms;
  return static_cast<std::int64_t>(burst_start + period_ms) + 5000;  // rendered ahead
}

TEST(SequencerClock, SettlesOnTheLeadingEdgeOfTheBursts) {
  SequencerClock clock;
  EXPECT_FALSE(clock.Ready());
  for (std::int64_t t = 0; t < 3000 * kMs; t += 7 * kMs / 3) {
    clock.Observe(t, SequencerAt(t, 1.333, 0));
  }
  EXPECT_TRUE(clock.Ready());
  // Mapped times stay within a millisecond and a period of where the audio is.
  for (std::int64_t t = 3000 * kMs; t < 3100 * kMs; t += kMs) {
    const double mapped = clock.ToSequencer(t);
    const double leading = static_cast<double>(t) / 1e6 + 5000 + 1.333;
    EXPECT_NEAR(mapped, leading, 1.4) << t;
  }
  // Successive milliseconds map a millisecond apart: no jitter from the bursts.
  EXPECT_DOUBLE_EQ(clock.ToSequencer(4000 * kMs) - clock.ToSequencer(3999 * kMs), 1.0);
}

}  // namespace
}  // namespace vordel
