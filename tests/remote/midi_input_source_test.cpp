#include "remote/midi_input_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vordel {
namespace {

// What a controller's messages ask for.
TEST(CommandFromMidi, StartStopAndVolumeAreCommandsTheRestIsNot) {
  struct Case {
    MidiMessage message;
    std::optional<Command::Kind> kind;
    int value;
  };
  const Case cases[] = {{RealTimeMessage(kMidiStart), Command::Kind::kPlay, 0},
                        {RealTimeMessage(kMidiContinue), Command::Kind::kPlay, 0},
                        {RealTimeMessage(kMidiStop), Command::Kind::kStop, 0},
                        {MidiMessage{{0xB3, 7, 99}, 3}, Command::Kind::kVolume, 99},
                        {MidiMessage{{0xB0, 10, 99}, 3}, std::nullopt, 0},
                        {RealTimeMessage(kMidiClockTick), std::nullopt, 0},
                        {MidiMessage{{0x90, 60, 100}, 3}, std::nullopt, 0}};
  for (const Case& c : cases) {
    const auto command = CommandFromMidi(c.message);
    ASSERT_EQ(command.has_value(), c.kind.has_value()) << int{c.message.bytes[0]};
    if (command) {
      EXPECT_EQ(command->kind, *c.kind);
      EXPECT_EQ(command->value, c.value);
      EXPECT_EQ(command->origin, "MIDI input");
    }
  }
}

// Clocks at `bpm` from `from_us`, each off its place by the next of `jitter_us` in turn; the
// tempo said after the last.
double Feed(ClockTempo& tempo, double bpm, int clocks, double from_us,
            const std::vector<double>& jitter_us = {0}) {
  double said = 0;
  const double interval = 60e6 / bpm / 24;
  for (int k = 0; k < clocks; ++k) {
    const double at =
        from_us + k * interval + jitter_us[static_cast<std::size_t>(k) % jitter_us.size()];
    said = tempo.Clock(std::llround(at));
  }
  return said;
}

// A clock's tempo is told once a whole beat has been heard, averaged over the last beat so a
// clock's jitter does not move it; a change is taken within a beat; a pause begins anew.
TEST(ClockTempo, MeasuresTheLastBeat) {
  ClockTempo tempo;
  EXPECT_EQ(Feed(tempo, 120, 24, 0), 0.0);  // not a whole beat yet
  EXPECT_NEAR(tempo.Clock(std::llround(24 * 60e6 / 120 / 24)), 120.0, 0.01);
  tempo.Reset();
  EXPECT_NEAR(Feed(tempo, 120, 200, 0, {0, 400, -300, 150}), 120.0, 0.05);
  const double later = 200 * 60e6 / 120 / 24;
  EXPECT_NEAR(Feed(tempo, 90, 25, later), 90.0, 0.01);
  EXPECT_NEAR(Feed(tempo, 300, 25, later + 25 * 60e6 / 90 / 24), 300.0, 0.01);
  // After a pause of more than a second, a whole beat again before a tempo is told.
  EXPECT_EQ(Feed(tempo, 100, 24, later + 10e6), 0.0);
  EXPECT_GT(tempo.Clock(std::llround(later + 10e6 + 24 * 60e6 / 100 / 24)), 0.0);
}

}  // namespace
}  // namespace vordel
