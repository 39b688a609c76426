#include "composer/musical_object.h"

#include <algorithm>

#include "composer/event_order.h"

namespace vordel {
namespace {

// Cumulative percentages of the serial-form chain: row = current form, column = next form.
constexpr int MarkovMatrix[4][4] = {
    {25, 50, 80, 100},
    {40, 60, 80, 100},
    {40, 50, 55, 100},
    {20, 60, 75, 100},
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) {
    --q;
  }
  return q;
}

int ValidOr50(int p) {
  return (p >= 1 && p <= 100) ? p : 50;
}

}  // namespace

int LowestKeyOfRegister(int p1) {
  return (ValidOr50(p1) / PITCH_SCALE_RES) * 12 + 24;
}

int BeatsPerMinuteOfTempo(int p3) {
  return ((100 - ValidOr50(p3)) / TEMPO_SCALE_RES) * 40 + 40;
}

std::int64_t LengthOf(int p4) {
  return FloorDiv(p4, 5) + 3;
}

std::int64_t PitchCyclesOf(std::int64_t length) {
  return FloorDiv(length, 3);
}

const char* FunktionName(int funktion) {
  static const char* const names[5] = {"Statement", "Preparation", "Extension", "Antecedent",
                                       "Consequent"};
  if (funktion < 0 || funktion > 4) {
    return "Unknown";
  }
  return names[funktion];
}

MusicalObject::MusicalObject(ComposingContext& context, int fnk, int p1, int p2, int p3, int p4)
    : DRT(context.rng()), context_(context), funktion(fnk), V(p1), K(p2), H(p3), G(p4) {
  ev_iter = event_list.end();
  for (Set* set : {&PitchSet, &DynamicSet, &DurationSet, &TextureSet}) {
    set->ReportTo(context.diagnostics());
  }
  PitchSet.newset(kPitchSet, 12);
  DynamicSet.newset(kDynamicSet, 12);
  DurationSet.newset(kDurationSet, 6);
  TextureSet.newset(kTextureSet, 12);
  AlgParameters.fill(0);
  AlgParameters[kSlotLowestKey] = LowestKeyOfRegister(p1);
  AlgParameters[kSlotVelocityBase] = p2;
  AlgParameters[kSlotTempo] = BeatsPerMinuteOfTempo(p3);
  // floor(p4 * 0.2 + 3), computed exactly in integers.
  AlgParameters[kSlotLength] = LengthOf(p4);
  AlgParameters[kSlotDevCycles] = PitchCyclesOf(AlgParameters[kSlotLength]);
  AlgParameters[kSlotIntroCycles] = AlgParameters[kSlotRepriseCycles] =
      AlgParameters[kSlotDevCycles];
  AlgParameters[kSlotIntroVoices] = AlgParameters[kSlotDevVoices] =
      AlgParameters[kSlotRepriseVoices] = 4;
  DeriveDurations();
}

MusicalObject::~MusicalObject() {
  if (event_list.empty()) {
    context_.diagnostics() << "\t\tNO EVENTS IN EVENTLIST..." << std::endl;
  }
}

void MusicalObject::DeriveDurations() {
  const long beat = BeatTimeInterval();
  duration_vals[2] = static_cast<int>(beat);
  duration_vals[1] = 2 * duration_vals[2];
  duration_vals[0] = 2 * duration_vals[1];
  duration_vals[3] = duration_vals[2] / 2;
  duration_vals[4] = duration_vals[3] / 2;
  duration_vals[5] = std::max(duration_vals[4] / 2, 2);
  durations.durCalc(static_cast<int>(AlgParameters[kSlotTempo]));
}

long MusicalObject::BeatTimeInterval() const {
  const std::int64_t tempo = AlgParameters[kSlotTempo];
  if (tempo <= 0) {
    return 0;
  }
  return static_cast<long>(60000 / tempo);
}

void MusicalObject::SetAlgParm(int index, std::int64_t value) {
  if (index >= 0 && index < kAlgParameterCount) {
    AlgParameters[static_cast<std::size_t>(index)] = value;
  }
}

std::int64_t MusicalObject::GetAlgParm(int index) const {
  if (index >= 0 && index < kAlgParameterCount) {
    return AlgParameters[static_cast<std::size_t>(index)];
  }
  return 0;
}

Set* MusicalObject::GetSetBySelector(int which_set) {
  switch (which_set) {
    case 0:
      return &PitchSet;
    case 1:
      return &DynamicSet;
    case 2:
      return &DurationSet;
    case 3:
      return &TextureSet;
    default:
      return nullptr;
  }
}

int MusicalObject::ChooseNextSetMode2(int current_mode) {
  const int row = (current_mode >= 0 && current_mode <= 3) ? current_mode : 0;
  const int r = rng().rand() % 100;
  for (int i = 0; i < 4; ++i) {
    if (r <= MarkovMatrix[row][i]) {
      return i;
    }
  }
  return 3;
}

void MusicalObject::SortEventList() {
  // A stable sort: the order equals that of bubble_sort with AscendingTime.
  std::stable_sort(event_list.begin(), event_list.end(), AscendingTime{});
}

void MusicalObject::ApplyMode(Set& set, int mode) {
  switch (mode) {
    case kNormal:
      set.normal();
      break;
    case kRetrograde:
      set.retrograde();
      break;
    case kInverted:
      set.invert();
      break;
    case kRetroInverted:
      set.retroinvert();
      break;
    default:
      break;
  }
}

void MusicalObject::AppendNote(int channel, int key, std::int64_t vel, std::int64_t on_time,
                               std::int64_t on_dur, std::int64_t off_time, const Written& written) {
  event_list.emplace_back(channel, key, vel, on_time, on_dur, 2);
  event_list.back().SetWritten(written);
  event_list.emplace_back(channel, key, 0, off_time, 0, 0);
}

}  // namespace vordel
