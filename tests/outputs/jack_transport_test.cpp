#include "outputs/jack_transport.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

struct BarBeatTickCase {
  double beat;
  double tempo;
  int beats_per_bar;
  int bar;
  int beat_in_bar;
  int tick;
  double bar_start_tick;
  double bpm;
};

class BarBeatTick : public ::testing::TestWithParam<BarBeatTickCase> {};

// What JACK programs read of vordel's position as the transport's leader: bars and beats from 1,
// 1920 ticks a beat, the tempo (a stopped playback's 0 reads as 120, the transport's default).
TEST_P(BarBeatTick, CountsAsJackPrograms) {
  const BarBeatTickCase& c = GetParam();
  jack_position_t p{};
  FillBarBeatTick(c.beat, c.tempo, c.beats_per_bar, &p);
  EXPECT_NE(p.valid & JackPositionBBT, 0);
  EXPECT_EQ(p.bar, c.bar);
  EXPECT_EQ(p.beat, c.beat_in_bar);
  EXPECT_EQ(p.tick, c.tick);
  EXPECT_DOUBLE_EQ(p.bar_start_tick, c.bar_start_tick);
  EXPECT_DOUBLE_EQ(p.beats_per_minute, c.bpm);
  EXPECT_EQ(p.ticks_per_beat, 1920.0);
  EXPECT_EQ(p.beat_type, 4.0f);
}

INSTANTIATE_TEST_SUITE_P(Positions, BarBeatTick,
                         ::testing::Values(BarBeatTickCase{0, 96, 4, 1, 1, 0, 0, 96},
                                           BarBeatTickCase{0.5, 96, 4, 1, 1, 960, 0, 96},
                                           BarBeatTickCase{3.999, 96, 4, 1, 4, 1918, 0, 96},
                                           BarBeatTickCase{4, 60, 4, 2, 1, 0, 7680, 60},
                                           BarBeatTickCase{13.25, 180, 4, 4, 2, 480, 23040, 180},
                                           BarBeatTickCase{7, 70, 3, 3, 2, 0, 11520, 70},
                                           BarBeatTickCase{-2, 0, 4, 1, 1, 0, 0, 120},
                                           BarBeatTickCase{9, 50, 0, 3, 2, 0, 15360, 50}));

}  // namespace
}  // namespace vordel
