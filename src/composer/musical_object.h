// One section of a piece: its function in the form, four user parameters, the algorithm slots
// derived from them, its material sets, its duration generator and the note events that the
// three generation algorithms (Introduction, Development, Reprise) produce.
// Control thread (where pieces are built); not real-time safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>

#include "chances/dur_generator.h"
#include "chances/kans.h"
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

// The length slot of an object with length parameter p4: floor(p4 / 5) + 3; and the number of
// pitch cycles of each section that follows from it: floor(length / 3).
std::int64_t LengthOf(int p4);
std::int64_t PitchCyclesOf(std::int64_t length);

// Name of a function number ("Unknown" outside 0..4).
const char* FunktionName(int funktion);

using EventList = std::list<std::unique_ptr<Event>>;

class MusicalObject : public DRT {
 public:
  MusicalObject(int fnk, int p1, int p2, int p3, int p4);
  MusicalObject();
  ~MusicalObject();
  MusicalObject(const MusicalObject&) = delete;
  MusicalObject& operator=(const MusicalObject&) = delete;

  void SetParameters(int fnk, int p1, int p2, int p3, int p4);
  void CopyAlgParms(const MusicalObject* source);
  void CopyAlgParms(const MusicalObject* source, int start_parm, int end_parm);
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
  Set* GetTextureSet() { return &TextureSet; }
  // Set 0..3 (pitch, dynamic, duration, texture), or null.
  Set* GetSetBySelector(int which_set);

  EventList* ReadEventList() { return &event_list; }
  EventList::iterator* ReadEvIter() { return &ev_iter; }
  void ResetIters() { ev_iter = event_list.begin(); }

  const DurGenerator& GetDurations() const { return durations; }

  // Milliseconds per beat at this object's tempo.
  long BeatTimeInterval() const;

  int ChooseNextSetMode(int which_set);
  int ChooseNextSetMode2(int current_mode);

  void SortEventList();

  // Rest planners: a rest code 0..5 after the note_num-th note of a voice, or -1.
  int I_InsertRest(int note_num);
  int R_InsertRest(int note_num);
  void RemapPitch(std::int64_t offsetTime, std::int64_t endTime, int note_stays);
  void RemapVelocity(std::int64_t offsetTime, std::int64_t endTime, int note_stays, int ratio);
  // Inserts before the first later event; the list takes ownership.
  void InsertEvent(Event* event);

  std::int64_t Introduction(std::int64_t start_time);
  std::int64_t Development(std::int64_t start_time);
  std::int64_t Reprise(std::int64_t start_time);

  // Number of events the three sections will make with the current slots.
  std::int64_t PlannedEventCount() const;

  void show() const;
  void GetMusObjectInfo(char* dest_str, std::size_t size) const;
  void ShowAlgParms() const;

  static int MusObjInstances;

  EventList event_list;
  EventList::iterator ev_iter;
  std::array<int, 6> duration_vals{};

 private:
  void DeriveDurations();
  void ApplyMode(Set& set, int mode);
  // Appends a note start and its end.
  void AppendNote(int channel, int key, std::int64_t vel, std::int64_t on_time, std::int64_t on_dur,
                  std::int64_t off_time);

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

// The rest planners keep their pattern across voices and objects for the whole program. These
// give tests and tools control over that program-wide state.
struct RestPlannerSnapshot {
  bool i_started;
  int i_zone, i_insert_rest, i_count, i_group_size;
  bool r_started;
  int r_zone, r_insert_rest, r_count, r_group_size;
};
// Back to the state of a fresh process (the first I_InsertRest call draws its group size).
void ResetRestPlanners();
// Whether I_InsertRest has been called since program start (or the last reset).
bool IntroRestPlannerStarted();
// Marks I_InsertRest's first call as done, as if an earlier piece had used it.
void MarkIntroRestPlannerStarted();
RestPlannerSnapshot GetRestPlannerSnapshot();

}  // namespace vordel
