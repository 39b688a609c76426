// One section of a piece while it is composed: its function in the form, four user parameters,
// the algorithm slots derived from them, its material sets, its duration generator and the note
// events that the three generation algorithms (Introduction, Development, Reprise) produce. It
// draws on the composing context of the composition it belongs to. The composing thread; not
// real-time safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "chances/dur_generator.h"
#include "chances/kans.h"
#include "composer/composing_context.h"
#include "composer/events.h"
#include "composer/sets.h"

namespace vordel {

inline constexpr int PITCH_SCALE_RES = 25;
inline constexpr int TEMPO_SCALE_RES = 8;
inline constexpr int kAlgParameterCount = 59;

// Function numbers of a section.
enum Funktion : int {
  kStatement = 0,
  kPreparation = 1,
  kExtension = 2,
  kAntecedent = 3,
  kConsequent = 4
};

// The algorithm slots the sections read and write, by their numbers in the table of 59 (the
// others stay 0).
enum AlgSlot : int {
  kSlotLowestKey = 0,        // added to every pitch-set value to make a key
  kSlotVelocityBase = 1,     // added to every dynamic value
  kSlotTempo = 2,            // beats per minute
  kSlotLength = 3,           // seeds the numbers of pitch cycles
  kSlotIntroShaping = 5,     // tempo shaping of the Introduction: 0, 2 (first voice) or 3 (all)
  kSlotIntroRests = 8,       // 1: the Introduction inserts rests
  kSlotIntroCycles = 22,     // pitch cycles of the Introduction
  kSlotIntroVoices = 23,     // voices of the Introduction
  kSlotMelodyVoices = 27,    // melody voices of the Development (the others make chords)
  kSlotDevCycles = 38,       // pitch cycles of the Development
  kSlotDevVoices = 39,       // voices of the Development
  kSlotRepriseShaping = 42,  // tempo shaping of the Reprise (the Introduction consults it too)
  kSlotRepriseRests = 43,    // 1: the Reprise inserts rests
  kSlotPauseAfter = 51,      // time added after the end of the Reprise, ms
  kSlotFermata = 53,         // lengthening of the last note of the Reprise, ms
  kSlotRepriseCycles = 57,   // pitch cycles of the Reprise
  kSlotRepriseVoices = 58,   // voices of the Reprise
};

// The lowest-key slot of register p1, the key its pitches start from, and the tempo slot of
// tempo p3, in beats a minute (lower is faster); outside 1..100 both read 50.
int LowestKeyOfRegister(int p1);
int BeatsPerMinuteOfTempo(int p3);
// The length slot of an object with length parameter p4: floor(p4 / 5) + 3; and the number of
// pitch cycles of each section that follows from it: floor(length / 3).
std::int64_t LengthOf(int p4);
std::int64_t PitchCyclesOf(std::int64_t length);

// Name of a function number ("Unknown" outside 0..4).
const char* FunktionName(int funktion);

// The events of an object, by value, in the order they are made (then sorted by time).
using EventList = std::vector<Event>;

class MusicalObject : public DRT {
 public:
  MusicalObject(ComposingContext& context, int fnk, int p1, int p2, int p3, int p4);
  ~MusicalObject();
  MusicalObject(const MusicalObject&) = delete;
  MusicalObject& operator=(const MusicalObject&) = delete;

  // Slot access; an index outside 0..58 writes nothing and reads 0.
  void SetAlgParm(int index, std::int64_t value);
  std::int64_t GetAlgParm(int index) const;

  int GetFunktion() const { return funktion; }
  int GetP1() const { return V; }
  int GetP2() const { return K; }
  int GetP3() const { return H; }
  int GetP4() const { return G; }
  std::int64_t GetMusObjDuration() const { return MusObj_duration; }
  std::int64_t GetMusObjOnsetTime() const { return onset_time; }
  void SetOnsetTime(std::int64_t t) { onset_time = t; }

  Set* GetPitchSet() { return &PitchSet; }
  Set* GetDynamicSet() { return &DynamicSet; }
  Set* GetDurationSet() { return &DurationSet; }
  // Set 0..3 (pitch, dynamic, duration, texture), or null.
  Set* GetSetBySelector(int which_set);
  ComposingContext& context() { return context_; }

  void ResetIters() { ev_iter = event_list.begin(); }

  const DurGenerator& GetDurations() const { return durations; }

  // Milliseconds per beat at this object's tempo.
  long BeatTimeInterval() const;

  // The next serial form after current_mode, by the Markov chain.
  int ChooseNextSetMode2(int current_mode);

  void SortEventList();

  // Rest planners: a rest code 0..5 after the note_num-th note of a voice, or -1.
  int I_InsertRest(int note_num);
  int R_InsertRest(int note_num);
  void RemapPitch(std::int64_t offsetTime, std::int64_t endTime, int note_stays);
  void RemapVelocity(std::int64_t offsetTime, std::int64_t endTime, int note_stays, int ratio);

  std::int64_t Introduction(std::int64_t start_time);
  std::int64_t Development(std::int64_t start_time);
  std::int64_t Reprise(std::int64_t start_time);

  EventList event_list;
  EventList::iterator ev_iter;
  // The rests the planners put between notes, in the order they were made.
  std::vector<PlannedRest> planned_rests;
  // How long each section of the object (Introduction, Development, Reprise) is in written
  // units at the object's tempo: its longest voice.
  std::array<double, 3> part_timed{};
  std::array<int, 6> duration_vals{};

 private:
  void DeriveDurations();
  void ApplyMode(Set& set, int mode);
  // Appends a note start and its end.
  void AppendNote(int channel, int key, std::int64_t vel, std::int64_t on_time, std::int64_t on_dur,
                  std::int64_t off_time, const Written& written);

  ComposingContext& context_;
  int funktion = 0;
  int V = 0;
  int K = 0;
  int H = 0;
  int G = 0;
  std::int64_t onset_time = 0;
  std::int64_t MusObj_duration = 0;
  Set PitchSet;
  Set DynamicSet;
  Set DurationSet;
  Set TextureSet;
  DurGenerator durations;
  std::array<std::int64_t, kAlgParameterCount> AlgParameters{};
};

}  // namespace vordel
