#include "sequence/schedule.h"

#include <algorithm>
#include <deque>

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

std::array<MidiMessage, 12> EnsembleMessages(const track_preset (&presets)[4]) {
  std::array<MidiMessage, 12> out{};
  for (int t = 0; t < 4; ++t) {
    const track_preset& p = presets[t];
    const auto ch = static_cast<unsigned char>(t + 1);
    out[static_cast<std::size_t>(3 * t)] = ProgramMessage(ch, static_cast<unsigned char>(p.Patch));
    out[static_cast<std::size_t>(3 * t + 1)] =
        ControlMessage(ch, 10, static_cast<unsigned char>(p.Panning));
    out[static_cast<std::size_t>(3 * t + 2)] =
        ControlMessage(ch, 7, static_cast<unsigned char>(p.Volume));
  }
  return out;
}

Schedule BuildSchedule(const Composition& composition) {
  Schedule s;
  s.ensemble = EnsembleMessages(composition.SelectedEnsemble());
  std::size_t events = 0;
  for (auto& obj : composition.object_list) {
    events += obj->event_list.size();
  }
  s.messages.reserve(events);
  std::int64_t tick = 0;
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
        const int channel = e.GetCH() & 0xFF;
        s.messages.push_back(
            {tick, NoteMessage(static_cast<unsigned char>(channel),
                               static_cast<unsigned char>(SoundingKey(e.GetCH(), e.GetKEY())),
                               static_cast<unsigned char>(SoundingVelocity(e.GetVEL())))});
        ++it;
      }
      if (it == end) {
        break;
      }
      // Ticks in between send nothing.
      tick = std::max(tick + 1, (*it)->GetTIME());
    }
    s.end_tick = tick;
    s.object_end_ticks.push_back(tick);
    tick += 1;  // the next object becomes current from the next tick
    --objects_left;
  }
  return s;
}

std::vector<NoteSpan> NoteSpans(const Schedule& schedule) {
  std::vector<NoteSpan> spans;
  // Open notes per channel and key, as indices into spans (a key may be started twice).
  std::vector<std::deque<std::size_t>> open(16 * 128);
  for (const ScheduledMessage& sm : schedule.messages) {
    const MidiMessage& m = sm.message;
    const int ch = m.bytes[0] & 0x0F;
    const int key = m.bytes[1] & 0x7F;
    auto& queue = open[static_cast<std::size_t>(ch * 128 + key)];
    if (IsNoteOn(m)) {
      queue.push_back(spans.size());
      spans.push_back({sm.tick, schedule.end_tick, ch + 1, key});
    } else if (IsNoteOff(m) && !queue.empty()) {
      spans[queue.front()].end = sm.tick;
      queue.pop_front();
    }
  }
  return spans;
}

std::int64_t DensestSecond(const Schedule& schedule) {
  const std::vector<ScheduledMessage>& m = schedule.messages;
  std::int64_t best = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < m.size(); ++i) {
    while (m[i].tick - m[first].tick >= 1000) {
      ++first;
    }
    best = std::max<std::int64_t>(best, static_cast<std::int64_t>(i - first + 1));
  }
  return best;
}

}  // namespace vordel
