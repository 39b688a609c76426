// The three sections every musical object generates: Introduction (parallel voices with a
// growing tempo factor and rests), Development (a chord layer and melody voices) and Reprise
// (parallel voices again, then the object's ending: a pause or a fermata).
//
// Lengths are computed in double from the integer duration and the single-precision tempo
// factor and truncated toward zero; times stay in 64-bit integers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "composer/musical_object.h"

namespace vordel {
namespace {

std::int64_t NonNegative(std::int64_t v) {
  return v > 0 ? v : 0;
}

std::int64_t Trunc(double v) {
  return static_cast<std::int64_t>(v);
}

// Where one voice stands in written values in one section of the object.
class WrittenClock {
 public:
  explicit WrittenClock(int part) : part_(part) {}

  // The note of `code` at `factor`, and the clock past it.
  Written Note(int code, float factor) {
    Written w;
    w.part = static_cast<std::int16_t>(part_);
    w.value = DurGenerator::WrittenUnits(code);
    w.onset = static_cast<std::int32_t>(onset_);
    w.timed = timed_;
    w.factor = factor;
    w.staccato = (code & kDurHalved) != 0;
    onset_ += w.value;
    timed_ += static_cast<double>(w.value) * static_cast<double>(factor);
    return w;
  }
  // A rest of `code` that lasts `factor` times its value (the Introduction's rests keep the
  // section's tempo, so they are written shorter by its tempo factor).
  PlannedRest Rest(int channel, int code, double written_per_value, double factor) {
    const int units = DurGenerator::WrittenUnits(code);
    PlannedRest r{channel, part_, onset_,
                  static_cast<int>(std::llround(static_cast<double>(units) * written_per_value))};
    onset_ += r.value;
    timed_ += static_cast<double>(units) * factor;
    return r;
  }
  double timed() const { return timed_; }

 private:
  int part_;
  std::int64_t onset_ = 0;
  double timed_ = 0;
};

}  // namespace

// Serial forms for `rows` x `cycles` entries, row by row, from one chain starting at form 0.
static std::vector<int> BuildModeTable(MusicalObject& obj, std::int64_t rows, std::int64_t cycles) {
  std::vector<int> frame(static_cast<std::size_t>(rows * cycles));
  int current_mode = 0;
  for (auto& entry : frame) {
    entry = obj.ChooseNextSetMode2(current_mode);
    current_mode = entry;
  }
  return frame;
}

std::int64_t MusicalObject::Introduction(std::int64_t start_time) {
  int dur_set_switch = 0;
  float tempo_fact = 2.0f;
  const std::int64_t last_pitch_cycle = NonNegative(AlgParameters[kSlotIntroCycles]);
  const std::int64_t last_voice = NonNegative(AlgParameters[kSlotIntroVoices]);
  const float tempo_beest =
      last_pitch_cycle > 0
          ? static_cast<float>(1.0 / (12.0 * static_cast<double>(last_pitch_cycle)))
          : 0.0f;
  // A section that makes no note takes no time.
  std::int64_t track_length = start_time;
  context_.Reseed();
  const std::vector<int> frame = BuildModeTable(*this, last_voice, last_pitch_cycle);

  for (std::int64_t voice_count = 0; voice_count < last_voice; ++voice_count) {
    std::int64_t time_cum = start_time;
    int note_count_cum = 0;
    int dynamic_index = 0;
    int note_index = 0;
    int duration_index = 0;
    DynamicSet.start(dynamic_index);
    PitchSet.start(note_index);
    DurationSet.start(duration_index);
    const int channel = static_cast<int>(voice_count + 1);
    WrittenClock written(0);
    for (std::int64_t pitch_cycles = 0; pitch_cycles < last_pitch_cycle; ++pitch_cycles) {
      ApplyMode(PitchSet,
                frame[static_cast<std::size_t>(voice_count * last_pitch_cycle + pitch_cycles)]);
      if (dur_set_switch != 0) {
        DurationSet.retrograde();
        dur_set_switch = 0;
      } else {
        DurationSet.normal();
        dur_set_switch = 1;
      }
      for (int pitch_count = 0; pitch_count < 12; ++pitch_count) {
        const int key =
            PitchSet.cycle(note_index) + static_cast<int>(AlgParameters[kSlotLowestKey]);
        const std::int64_t vel = DynamicSet.cycle(dynamic_index) + AlgParameters[kSlotVelocityBase];
        const int dur = DurationSet.cycle(duration_index);
        if (AlgParameters[kSlotIntroShaping] == 3) {
          tempo_fact += tempo_beest;
        } else if (AlgParameters[kSlotIntroShaping] == 2) {
          if (voice_count == 0) {
            tempo_fact += tempo_beest;
          } else if (AlgParameters[kSlotRepriseShaping] == 1) {
            tempo_fact = 1.0f;
          }
        }
        const double tf = static_cast<double>(tempo_fact);
        const double notated = static_cast<double>(durations.Getdur(dur, 0));
        const double sounding = static_cast<double>(durations.Getdur(dur, 1));
        AppendNote(channel, key, vel, time_cum, Trunc(notated * tf),
                   Trunc(sounding * tf + static_cast<double>(time_cum) - 1.0),
                   written.Note(dur, tempo_fact));
        time_cum = Trunc(notated * tf + static_cast<double>(time_cum));
        if (AlgParameters[kSlotIntroRests] == 1) {
          const int temp = I_InsertRest(note_count_cum);
          if (temp >= 0) {
            time_cum += durations.Getdur(temp, 0);
            planned_rests.push_back(written.Rest(channel, temp, 1.0 / tf, 1.0));
          }
        }
        ++note_count_cum;
      }
    }
    track_length = std::max(track_length, time_cum);
    part_timed[0] = std::max(part_timed[0], written.timed());
  }
  return track_length;
}

std::int64_t MusicalObject::Development(std::int64_t start_time) {
  int dur_set_switch = 0;
  context_.Reseed();
  const std::int64_t last_voice = NonNegative(AlgParameters[kSlotDevVoices]);
  const std::int64_t last_pitch_cycle = NonNegative(AlgParameters[kSlotDevCycles]);
  std::int64_t track_length = start_time;
  const std::int64_t melody_voices =
      std::min(NonNegative(AlgParameters[kSlotMelodyVoices]), last_voice);
  const std::vector<int> frame = BuildModeTable(*this, melody_voices + 1, last_pitch_cycle);
  auto mode_at = [&](std::int64_t row, std::int64_t col) {
    return frame[static_cast<std::size_t>(row * last_pitch_cycle + col)];
  };
  auto switch_duration_order = [&]() {
    if (dur_set_switch != 0) {
      DurationSet.retrograde();
    } else {
      DurationSet.normal();
    }
    dur_set_switch = rng().rand() % 2;
  };

  std::int64_t time_cum = start_time;
  std::int64_t note_count_cum = 0;
  int dynamic_index = 0;
  int note_index = 0;
  int duration_index = 0;
  DynamicSet.start(dynamic_index);
  PitchSet.start(note_index);
  DurationSet.start(duration_index);

  // Chord layer: the voices below the melody voices sound together, one duration per chord.
  const std::int64_t chord_voices = last_voice - melody_voices;
  WrittenClock chord_clock(1);
  for (std::int64_t pitch_cycles = 0; pitch_cycles < last_pitch_cycle; ++pitch_cycles) {
    for (int pitch_count = 0; pitch_count < 12; ++pitch_count) {
      switch_duration_order();
      const int dur = DurationSet.cycle(duration_index);
      const std::int64_t notated = durations.Getdur(dur, 0);
      const std::int64_t sounding = durations.Getdur(dur, 1);
      const Written chord = chord_clock.Note(dur, 1.0f);
      for (std::int64_t voice_count = 0; voice_count < chord_voices; ++voice_count) {
        if (note_count_cum % 12 == 0) {
          ApplyMode(PitchSet, mode_at(0, pitch_cycles));
        }
        const int key =
            PitchSet.cycle(note_index) + static_cast<int>(AlgParameters[kSlotLowestKey]);
        const std::int64_t vel = DynamicSet.cycle(dynamic_index) + AlgParameters[kSlotVelocityBase];
        AppendNote(static_cast<int>(voice_count + 1), key, vel, time_cum, notated,
                   time_cum + sounding - 1, chord);
        ++note_count_cum;
      }
      time_cum += notated;
    }
    track_length = std::max(track_length, time_cum);
  }
  if (chord_voices > 0) {
    part_timed[1] = std::max(part_timed[1], chord_clock.timed());
  }

  // Melody layer: the m-th melody voice reads row m + 1 of the mode table.
  for (std::int64_t m = 0; m < melody_voices; ++m) {
    const std::int64_t voice_count = chord_voices + m;
    time_cum = start_time;
    WrittenClock written(1);
    DynamicSet.start(dynamic_index);
    PitchSet.start(note_index);
    DurationSet.start(duration_index);
    for (std::int64_t pitch_cycles = 0; pitch_cycles < last_pitch_cycle; ++pitch_cycles) {
      ApplyMode(PitchSet, mode_at(m + 1, pitch_cycles));
      switch_duration_order();
      for (int pitch_count = 0; pitch_count < 12; ++pitch_count) {
        const int key =
            PitchSet.cycle(note_index) + static_cast<int>(AlgParameters[kSlotLowestKey]);
        const std::int64_t vel = DynamicSet.cycle(dynamic_index) + AlgParameters[kSlotVelocityBase];
        const int dur = DurationSet.cycle(duration_index);
        const std::int64_t notated = durations.Getdur(dur, 0);
        AppendNote(static_cast<int>(voice_count + 1), key, vel, time_cum, notated,
                   time_cum + durations.Getdur(dur, 1) - 1, written.Note(dur, 1.0f));
        time_cum += notated;
      }
      track_length = std::max(track_length, time_cum);
    }
    part_timed[1] = std::max(part_timed[1], written.timed());
  }
  return track_length;
}

std::int64_t MusicalObject::Reprise(std::int64_t start_time) {
  int dur_set_switch = 0;
  float tempo_fact = 1.0f;
  const std::int64_t last_voice = NonNegative(AlgParameters[kSlotRepriseVoices]);
  const std::int64_t last_pitch_cycle = NonNegative(AlgParameters[kSlotRepriseCycles]);
  std::int64_t track_length = start_time;
  context_.Reseed();
  {
    const std::vector<int> frame = BuildModeTable(*this, last_voice, last_pitch_cycle);
    for (std::int64_t voice_count = 0; voice_count < last_voice; ++voice_count) {
      std::int64_t time_cum = start_time;
      int note_count_cum = 0;
      int dynamic_index = 0;
      int note_index = 0;
      int duration_index = 0;
      DynamicSet.start(dynamic_index);
      PitchSet.start(note_index);
      DurationSet.start(duration_index);
      const int channel = static_cast<int>(voice_count + 1);
      WrittenClock written(2);
      for (std::int64_t pitch_cycles = 0; pitch_cycles < last_pitch_cycle; ++pitch_cycles) {
        ApplyMode(PitchSet,
                  frame[static_cast<std::size_t>(voice_count * last_pitch_cycle + pitch_cycles)]);
        if (dur_set_switch != 0) {
          DurationSet.retrograde();
          dur_set_switch = 0;
        } else {
          DurationSet.normal();
          dur_set_switch = 1;
        }
        for (int pitch_count = 0; pitch_count < 12; ++pitch_count) {
          const int key =
              PitchSet.cycle(note_index) + static_cast<int>(AlgParameters[kSlotLowestKey]);
          const std::int64_t vel =
              DynamicSet.cycle(dynamic_index) + AlgParameters[kSlotVelocityBase];
          const int dur = DurationSet.cycle(duration_index);
          const bool grows = AlgParameters[kSlotRepriseShaping] == 3 ||
                             (AlgParameters[kSlotRepriseShaping] == 2 && voice_count == 0);
          if (grows) {
            tempo_fact = static_cast<float>(static_cast<double>(tempo_fact) +
                                            1.0 / (static_cast<double>(last_pitch_cycle) * 18.0));
          }
          const double tf = static_cast<double>(tempo_fact);
          const double notated = static_cast<double>(durations.Getdur(dur, 0));
          const double sounding = static_cast<double>(durations.Getdur(dur, 1));
          AppendNote(channel, key, vel, time_cum, Trunc(notated * tf),
                     Trunc(sounding * tf + static_cast<double>(time_cum) - 1.0),
                     written.Note(dur, tempo_fact));
          time_cum = Trunc(notated * tf + static_cast<double>(time_cum));
          if (AlgParameters[kSlotRepriseRests] == 1) {
            const int temp = R_InsertRest(note_count_cum);
            const double r = temp >= 0 ? static_cast<double>(durations.Getdur(temp, 0)) * tf : 0.0;
            time_cum = Trunc(r + static_cast<double>(time_cum));
            if (temp >= 0) {
              planned_rests.push_back(written.Rest(channel, temp, 1.0, tf));
            }
          }
          ++note_count_cum;
        }
      }
      track_length = std::max(track_length, time_cum);
      part_timed[2] = std::max(part_timed[2], written.timed());
    }
  }
  MusObj_duration = track_length;

  const std::int64_t pause = AlgParameters[kSlotPauseAfter];
  const std::int64_t fermata = AlgParameters[kSlotFermata];
  if (pause > 0 && fermata == 0) {
    return track_length + pause;
  }
  if (pause == 0 && fermata > 0) {
    // The last event appended so far is lengthened; with no event there is nothing to move,
    // but the object still ends with its fermata.
    if (event_list.size() >= 2) {
      Written w = event_list[event_list.size() - 2].GetWritten();
      w.held = true;
      event_list[event_list.size() - 2].SetWritten(w);
    }
    if (!event_list.empty()) {
      ev_iter = std::prev(event_list.end());
      Event& ev = *ev_iter;
      const std::int64_t time = ev.GetTIME();
      ev.SetTIME(time + fermata);
    }
    MusObj_duration = track_length + fermata;
    return track_length + fermata;
  }
  return track_length;
}

}  // namespace vordel
