#include "player/schedule.h"

#include <algorithm>

namespace vordel {

int SoundingKey(int channel, int key) {
  const int shifted = channel < 3 ? key : key - 12;
  const int low_byte = shifted & 0xFF;
  return (low_byte >= 1 && low_byte <= 127) ? low_byte : 60;
}

int SoundingVelocity(std::int64_t vel) {
  if (vel == 0) {
    return 0;
  }
  return static_cast<int>(std::clamp<std::int64_t>(vel, 1, 127));
}

std::vector<NoteSpan> NoteSpans(const Schedule& schedule) {
  std::vector<NoteSpan> spans;
  // Open notes per channel and key, as indices into spans (a key may be started twice).
  std::vector<std::vector<std::size_t>> open(16 * 128);
  for (const ScheduledEvent& e : schedule.events) {
    auto& stack = open[static_cast<std::size_t>(((e.channel - 1) & 0x0F) * 128 + (e.key & 0x7F))];
    if (e.velocity != 0) {
      stack.push_back(spans.size());
      spans.push_back({e.tick, schedule.end_tick, e.channel, e.key});
    } else if (!stack.empty()) {
      spans[stack.front()].end = e.tick;
      stack.erase(stack.begin());
    }
  }
  return spans;
}

Schedule PlaybackSchedule(Composition& composition) {
  Schedule s;
  std::int64_t tick = 0;  // playback starts at the first object, offset 0
  int objects_left = composition.GetMusObjCount();
  for (auto& obj : composition.object_list) {
    if (objects_left <= 0) {
      break;
    }
    auto it = obj->event_list.begin();
    const auto end = obj->event_list.end();
    for (;;) {
      while (it != end && (*it)->GetTIME() <= tick) {
        const Event& e = **it;
        s.events.push_back({tick, e.GetCH() & 0xFF, SoundingKey(e.GetCH(), e.GetKEY()),
                            SoundingVelocity(e.GetVEL()), &e});
        ++it;
      }
      if (it == end) {
        break;
      }
      // Ticks in between send nothing.
      tick = std::max(tick + 1, (*it)->GetTIME());
    }
    s.end_tick = tick;
    tick += 1;  // the next object becomes current from the next tick
    --objects_left;
  }
  return s;
}

}  // namespace vordel
