// A piece as the messages it sends: every event of the generated composition turned into its
// final bytes at the tick in which it is sent, plus the ensemble's program, pan and volume. The
// live player, the Standard MIDI File writer and the offline renderer all walk this one
// schedule, so one place decides what bytes a piece makes. Built on the control thread; a built
// schedule is immutable and may be read from any thread (the tick reads it real-time safe).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "composer/composition.h"
#include "midi/message.h"

namespace vordel {

// The key an event is sent with: channels 3 and up an octave lower, then the MIDI rule (keys
// outside 1..127 become 60).
int SoundingKey(int channel, int key);
// The velocity a note start is sent with, kept inside 1..127; 0 for a note end.
int SoundingVelocity(std::int64_t vel);

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
  int Objects() const { return static_cast<int>(object_end_ticks.size()); }
};

// Program, pan and volume for channels 1-4, in this order, channel by channel; each preset value
// is sent as its low byte.
std::array<MidiMessage, 12> EnsembleMessages(const track_preset (&presets)[4]);

// The schedule of a playback from the first object, as the player's ticks send it: an event
// goes in the first tick whose counter has reached its time, objects one after the other (the
// next object from the tick after the previous one is exhausted, an empty object taking one
// tick). The tick counter starts at 0, the offset of the first object.
Schedule BuildSchedule(const Composition& composition);

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

// One sounding note of a schedule, from its start to its end.
struct NoteSpan {
  std::int64_t start;
  std::int64_t end;
  int channel;  // 1..16
  int key;
};

// The notes of a schedule: every start paired with the oldest open start of the same channel
// and key (notes never ended last until the end of the piece).
std::vector<NoteSpan> NoteSpans(const Schedule& schedule);

// The most messages the schedule sends within any 1000 consecutive ticks (one second).
std::int64_t DensestSecond(const Schedule& schedule);

}  // namespace vordel
