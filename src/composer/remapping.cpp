// Pitch and velocity remapping of a finished, time-ordered event list.
#include "composer/musical_object.h"

namespace vordel {
namespace {

// Whether the count-th note of a window repeats the value of the note before it. With
// note_stays below 2 no note repeats.
bool Repeats(int count, int note_stays) {
  return note_stays >= 2 && count % note_stays == note_stays - 1;
}

}  // namespace

void MusicalObject::RemapPitch(std::int64_t offsetTime, std::int64_t endTime, int note_stays) {
  int note_index = 0;
  PitchSet.start(note_index);
  int count = 0;
  int key = 0;
  for (ev_iter = event_list.begin(); ev_iter != event_list.end(); ++ev_iter) {
    Event& on = *ev_iter;
    if (on.GetVEL() == 0 || on.GetTIME() < offsetTime || on.GetTIME() > endTime) {
      continue;
    }
    auto off = std::next(ev_iter);
    while (off != event_list.end() &&
           !(off->GetVEL() == 0 && off->GetKEY() == on.GetKEY() && off->GetCH() == on.GetCH())) {
      ++off;
    }
    if (off == event_list.end()) {
      continue;
    }
    if (!Repeats(count, note_stays)) {
      key = PitchSet.cycle(note_index) + static_cast<int>(AlgParameters[kSlotLowestKey]);
    }
    on.SetKEY(key);
    off->SetKEY(key);
    ++count;
  }
}

void MusicalObject::RemapVelocity(std::int64_t offsetTime, std::int64_t endTime, int note_stays,
                                  int ratio) {
  auto in_window = [&](const Event& e) {
    return e.GetVEL() != 0 && e.GetCH() == 1 && e.GetTIME() >= offsetTime && e.GetTIME() <= endTime;
  };

  // Pass 1: the leading voice takes a velocity contour from the dynamic set.
  int vel_index = 0;
  DynamicSet.start(vel_index);
  int count = 0;
  std::int64_t vel = 0;
  for (ev_iter = event_list.begin(); ev_iter != event_list.end(); ++ev_iter) {
    Event& e = *ev_iter;
    if (!in_window(e)) {
      continue;
    }
    if (!Repeats(count, note_stays)) {
      vel = static_cast<std::int64_t>(DynamicSet.cycle(vel_index)) * ratio +
            AlgParameters[kSlotVelocityBase];
    }
    e.SetVEL(vel);
    ++count;
  }

  // Pass 2: the notes of the other voices that start after a leading note, up to the next
  // event of channel 1, follow its velocity.
  for (ev_iter = event_list.begin(); ev_iter != event_list.end(); ++ev_iter) {
    const Event& lead = *ev_iter;
    if (!in_window(lead)) {
      continue;
    }
    const std::int64_t v = lead.GetVEL();
    for (auto it = std::next(ev_iter); it != event_list.end() && it->GetCH() != 1; ++it) {
      if (it->GetVEL() != 0) {
        it->SetVEL(v);
      }
    }
  }
}

}  // namespace vordel
