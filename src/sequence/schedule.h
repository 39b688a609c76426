// A piece as the messages it sends: every event of the piece turned into its final bytes at the
// tick in which it is sent, plus the ensemble's program, pan and volume. The live player, the
// Standard MIDI File writer and the offline renderer all walk this one schedule, made from the
// piece, so one place decides what bytes a piece makes. Built on the control thread (or a
// composing thread); a built schedule is immutable and may be read from any thread (the tick
// reads it real-time safe).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "composer/piece.h"
#include "midi/message.h"
#include "sequence/beat_map.h"

namespace vordel {

struct ScheduledMessage {
  std::int64_t tick;  // the value of the playback's tick counter when it is sent
  MidiMessage message;
};

struct Schedule {
  // Program, pan and volume of the composition's selected ensemble, channel by channel.
  std::array<MidiMessage, 12> ensemble{};
  // The events in the order a playback from the first object sends them.
  std::vector<ScheduledMessage> messages;
  // The tick in which the playback ends (the last object is exhausted).
  std::int64_t end_tick = 0;
  // For each object, the tick in which it is exhausted.
  std::vector<std::int64_t> object_end_ticks;
  // The beats of the playback, tick by tick.
  BeatMap beats;
  int Objects() const { return static_cast<int>(object_end_ticks.size()); }
};

// Program, pan and volume for channels 1-4, in this order, channel by channel; each preset value
// is sent as its low byte. `volume`, when given, takes the place of the presets' own volume.
std::array<MidiMessage, 12> EnsembleMessages(const track_preset (&presets)[4],
                                             std::optional<int> volume = std::nullopt);

// The schedule of a playback of the piece from the first section, as the player's ticks send
// it (each event at the tick the piece gives it), with the piece's ensemble.
Schedule BuildSchedule(const Piece& piece);

// Sends, in order, the messages whose tick has come. Real-time safe.
class ScheduleCursor {
 public:
  explicit ScheduleCursor(const Schedule* schedule = nullptr) : schedule_(schedule) {}

  template <typename Sink>
  int SendDue(std::int64_t tick, Sink&& sink) {
    int sent = 0;
    const std::vector<ScheduledMessage>& m = schedule_->messages;
    while (next_ < m.size() && m[next_].tick <= tick) {
      sink(m[next_++].message);
      ++sent;
    }
    return sent;
  }
  bool AtEnd() const { return schedule_ == nullptr || next_ >= schedule_->messages.size(); }
  std::int64_t NextTick() const { return schedule_->messages[next_].tick; }
  void Rewind() { next_ = 0; }
  void Reset(const Schedule* schedule) {
    schedule_ = schedule;
    next_ = 0;
  }

 private:
  const Schedule* schedule_;
  std::size_t next_ = 0;
};

// The whole schedule into sink(tick, message): the ensemble at tick 0 first, then each message
// at its tick. Exporters write what this walk gives.
template <typename Sink>
void WalkSchedule(const Schedule& schedule, Sink&& sink) {
  for (const MidiMessage& m : schedule.ensemble) {
    sink(std::int64_t{0}, m);
  }
  ScheduleCursor cursor(&schedule);
  while (!cursor.AtEnd()) {
    const std::int64_t tick = cursor.NextTick();
    cursor.SendDue(tick, [&](const MidiMessage& m) { sink(tick, m); });
  }
}

}  // namespace vordel
