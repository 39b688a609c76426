#include "remote/midi_input_source.h"

#include <chrono>
#include <cmath>

namespace vordel {

std::optional<Command> CommandFromMidi(const MidiMessage& m) {
  Command c;
  c.origin = "MIDI input";
  switch (m.bytes[0]) {
    case 0xFA:  // Start
    case 0xFB:  // Continue
      c.kind = Command::Kind::kPlay;
      return c;
    case 0xFC:  // Stop
      c.kind = Command::Kind::kStop;
      return c;
    default:
      break;
  }
  if ((m.bytes[0] & 0xF0) == 0xB0 && m.size == 3 && m.bytes[1] == 7) {
    c.kind = Command::Kind::kVolume;
    c.value = m.bytes[2] & 0x7F;
    return c;
  }
  return std::nullopt;
}

double ClockTempo::Clock(std::int64_t usecs) {
  constexpr std::int64_t kPauseUs = 1000000;
  if (count_ > 0 && usecs - times_[(count_ - 1) % times_.size()] > kPauseUs) {
    count_ = 0;
  }
  times_[count_ % times_.size()] = usecs;
  ++count_;
  if (count_ <= kBeat) {
    return 0;
  }
  const std::int64_t beat_us = usecs - times_[(count_ - 1 - kBeat) % times_.size()];
  return beat_us > 0 ? 60e6 / static_cast<double>(beat_us) : 0;
}

MidiInputSource::~MidiInputSource() {
  Stop();
}

bool MidiInputSource::Start(CommandQueue& queue, std::string* error) {
  (void)error;
  thread_ = std::thread([this, &queue] {
    // The input's ring is filled in real time, each message stamped as it arrived; a few
    // milliseconds here are nothing to a hand on a controller, nor to the clock's tempo.
    ClockTempo tempo;
    int clocks = 0;
    while (!stopping_.load(std::memory_order_acquire)) {
      MidiMessage m;
      std::int64_t arrived_us = 0;
      while (input_.Take(&m, &arrived_us)) {
        if (auto c = CommandFromMidi(m)) {
          if (c->kind != Command::Kind::kVolume) {
            tempo.Reset();  // Start, Continue, Stop: the clock begins anew
            clocks = 0;
          }
          queue.Post(std::move(*c));
        } else if (follow_clock_ && m.size == 1 && m.bytes[0] == kMidiClockTick) {
          const double bpm = tempo.Clock(arrived_us);
          if (bpm > 0 && clocks++ % 24 == 0) {
            Command t;
            t.kind = Command::Kind::kFollowTempo;
            t.value = static_cast<int>(std::lround(bpm * 1000));
            t.origin = "MIDI clock";
            queue.Post(std::move(t));
          }
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  return true;
}

void MidiInputSource::Stop() {
  if (thread_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    thread_.join();
  }
}

}  // namespace vordel
