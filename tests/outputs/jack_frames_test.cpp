#include "outputs/jack_frames.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

// A cycle of 256 frames at 48 kHz: 5333.33 microseconds.
constexpr std::uint32_t kFrames = 256;
constexpr double kPeriodUs = 256.0 * 1e6 / 48000.0;

TEST(JackFrames, DueTimesBecomeOffsetsPlusTheLatency) {
  const std::uint32_t start = 48000;
  const std::uint64_t start_us = 1'000'000;
  // Due at the cycle's start, with no latency: offset 0; 100 frames later: offset 100.
  EXPECT_EQ(PlaceInCycle(start_us, start, start_us, kPeriodUs, kFrames, 0).offset, 0u);
  const std::uint64_t hundred_frames_us = start_us + 100 * 1'000'000 / 48000;  // 2083 us
  EXPECT_EQ(PlaceInCycle(hundred_frames_us, start, start_us, kPeriodUs, kFrames, 0).offset, 100u);
  // Due one cycle earlier, with one period of latency: this cycle, same offset.
  const auto p =
      PlaceInCycle(hundred_frames_us - 5333, start, start_us, kPeriodUs, kFrames, kFrames);
  EXPECT_FALSE(p.later);
  EXPECT_FALSE(p.late);
  EXPECT_EQ(p.offset, 100u);
}

TEST(JackFrames, CycleEdgesLateMessagesAndLaterOnes) {
  const std::uint32_t start = 1000;
  const std::uint64_t start_us = 50'000;
  // The last frame of the cycle belongs to it; the next one to the next cycle.
  const std::uint64_t last_us = start_us + 255 * 1'000'000 / 48000 + 1;
  EXPECT_EQ(PlaceInCycle(last_us, start, start_us, kPeriodUs, kFrames, 0).offset, 255u);
  const std::uint64_t next_us = start_us + 5334;
  EXPECT_TRUE(PlaceInCycle(next_us, start, start_us, kPeriodUs, kFrames, 0).later);
  // Already past (a tick that came later than the latency): offset 0, marked late.
  const auto late = PlaceInCycle(start_us - 3000, start, start_us, kPeriodUs, kFrames, 0);
  EXPECT_TRUE(late.late);
  EXPECT_FALSE(late.later);
  EXPECT_EQ(late.offset, 0u);
  // Far in the past across a microsecond clock of any size.
  EXPECT_TRUE(PlaceInCycle(10, start, start_us, kPeriodUs, kFrames, 0).late);
}

}  // namespace
}  // namespace vordel
