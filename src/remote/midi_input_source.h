// The MIDI input as a source of commands: Start and Continue play, Stop stops, and Control
// Change 7 (channel volume) on any channel sets the volume of channels 1-4. Following a MIDI
// clock, its tempo too: measured from the clocks' arrival times over each last beat and told
// once a beat. Everything else is read and let go. Start and Stop: control thread; the input
// is read on a thread of its own.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "midi/message.h"
#include "outputs/midi_input.h"
#include "remote/command_source.h"

namespace vordel {

// The command a message from a controller asks for, if any.
std::optional<Command> CommandFromMidi(const MidiMessage& message);

// The tempo of a MIDI clock from the arrival times of its clocks (24 a beat): the mean of the
// last beat's intervals, so the jitter of single clocks averages out. A pause of more than a
// second begins the count again, as Reset does.
class ClockTempo {
 public:
  // A clock arrived at `usecs`; the tempo in beats a minute once a whole beat has been heard
  // since the count began, 0 before.
  double Clock(std::int64_t usecs);
  void Reset() { count_ = 0; }

 private:
  static constexpr std::size_t kBeat = 24;
  std::array<std::int64_t, kBeat + 1> times_{};
  std::size_t count_ = 0;
};

class MidiInputSource final : public CommandSource {
 public:
  // `follow_clock`: a MIDI clock's tempo is followed.
  explicit MidiInputSource(MidiInput& input, bool follow_clock = false)
      : input_(input), follow_clock_(follow_clock) {}
  ~MidiInputSource() override;
  std::string Name() const override { return "MIDI input"; }
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;

 private:
  MidiInput& input_;
  bool follow_clock_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace vordel
