// When the player sends each event, and as what. Ticks of 1 ms on the piece's time line.
#pragma once

#include <cstdint>
#include <vector>

#include "composer/composition.h"

namespace vordel {

// The key an event is sent with: channels 3 and up an octave lower, then the MIDI layer's rule
// (keys outside 1..127 become 60).
int SoundingKey(int channel, int key);
// The velocity a note start is sent with, kept inside 1..127; 0 for a note end.
int SoundingVelocity(std::int64_t vel);

struct ScheduledEvent {
  std::int64_t tick;  // when the player sends it
  int channel;        // 1..16
  int key;            // as sent
  int velocity;       // as sent; 0 ends the note
  const Event* event;
};

struct Schedule {
  std::vector<ScheduledEvent> events;  // in the order the player sends them
  std::int64_t end_tick = 0;           // the tick in which the playback ends
};

// One sounding note of a schedule, from its start to its end.
struct NoteSpan {
  std::int64_t start;
  std::int64_t end;
  int channel;
  int key;
};

// The notes of a schedule: every start paired with the next end of the same channel and key
// (notes never ended last until the end of the piece).
std::vector<NoteSpan> NoteSpans(const Schedule& schedule);

// The events of one playback from the first object, as the player's ticks send them: an event
// goes in the first tick whose counter has reached its time, objects one after the other (the
// next object from the tick after the last event of the previous one).
Schedule PlaybackSchedule(Composition& composition);

}  // namespace vordel
