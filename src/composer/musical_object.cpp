#include "composer/musical_object.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "chances/random_source.h"
#include "composer/diagnostics.h"
#include "composer/event_order.h"

namespace vordel {

int MusicalObject::MusObjInstances = 0;

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

MusicalObject::MusicalObject(int fnk, int p1, int p2, int p3, int p4)
    : funktion(fnk), V(p1), K(p2), H(p3), G(p4) {
  ev_iter = event_list.end();
  PitchSet.newset(kPitchSet, 12);
  DynamicSet.newset(kDynamicSet, 12);
  DurationSet.newset(kDurationSet, 6);
  TextureSet.newset(kTextureSet, 12);
  AlgParameters.fill(0);
  AlgParameters[0] = (ValidOr50(p1) / PITCH_SCALE_RES) * 12 + 24;
  AlgParameters[1] = p2;
  AlgParameters[2] = ((100 - ValidOr50(p3)) / TEMPO_SCALE_RES) * 40 + 40;
  // floor(p4 * 0.2 + 3), computed exactly in integers.
  AlgParameters[3] = LengthOf(p4);
  AlgParameters[38] = PitchCyclesOf(AlgParameters[3]);
  AlgParameters[22] = AlgParameters[57] = AlgParameters[38];
  AlgParameters[23] = AlgParameters[39] = AlgParameters[58] = 4;
  DeriveDurations();
  ++MusObjInstances;
}

MusicalObject::MusicalObject() {
  ev_iter = event_list.end();
  PitchSet.newset(kPitchSet, 12);
  DynamicSet.newset(kDynamicSet, 12);
  DurationSet.newset(kDurationSet, 6);
  TextureSet.newset(kTextureSet, 12);
  AlgParameters.fill(0);
  AlgParameters[0] = 60;
  AlgParameters[1] = 64;
  AlgParameters[2] = 60;
  AlgParameters[3] = 60;
  AlgParameters[38] = 60;
  AlgParameters[22] = AlgParameters[57] = (100 - AlgParameters[38]) / 2;
  AlgParameters[23] = AlgParameters[39] = AlgParameters[58] = 4;
  DeriveDurations();
  ++MusObjInstances;
}

MusicalObject::~MusicalObject() {
  if (event_list.empty()) {
    Diagnostics() << "\t\tNO EVENTS IN EVENTLIST..." << std::endl;
  }
  event_list.clear();
  --MusObjInstances;
}

void MusicalObject::DeriveDurations() {
  const long beat = BeatTimeInterval();
  duration_vals[2] = static_cast<int>(beat);
  duration_vals[1] = 2 * duration_vals[2];
  duration_vals[0] = 2 * duration_vals[1];
  duration_vals[3] = duration_vals[2] / 2;
  duration_vals[4] = duration_vals[3] / 2;
  duration_vals[5] = std::max(duration_vals[4] / 2, 2);
  durations.durCalc(static_cast<int>(AlgParameters[2]));
}

long MusicalObject::BeatTimeInterval() const {
  const std::int64_t tempo = AlgParameters[2];
  if (tempo <= 0) {
    return 0;
  }
  return static_cast<long>(60000 / tempo);
}

void MusicalObject::SetParameters(int fnk, int p1, int p2, int p3, int p4) {
  funktion = fnk;
  V = p1;
  K = p2;
  H = p3;
  G = p4;
  onset_time = 0;
}

void MusicalObject::CopyAlgParms(const MusicalObject* source) {
  CopyAlgParms(source, 0, kAlgParameterCount);
}

void MusicalObject::CopyAlgParms(const MusicalObject* source, int start_parm, int end_parm) {
  if (source == nullptr) {
    return;
  }
  const int from = std::max(start_parm, 0);
  const int to = std::min(end_parm, kAlgParameterCount);
  for (int i = from; i < to; ++i) {
    AlgParameters[static_cast<std::size_t>(i)] = source->AlgParameters[static_cast<std::size_t>(i)];
  }
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
  const int r = rand() % 100;
  for (int i = 0; i < 4; ++i) {
    if (r <= MarkovMatrix[row][i]) {
      return i;
    }
  }
  return 3;
}

int MusicalObject::ChooseNextSetMode(int which_set) {
  const Set* set = GetSetBySelector(which_set);
  return ChooseNextSetMode2(set != nullptr ? set->GetMode() : 0);
}

void MusicalObject::SortEventList() {
  // std::list::sort is stable: the order equals that of bubble_sort with AscendingTime.
  event_list.sort(AscendingTime{});
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
                               std::int64_t on_dur, std::int64_t off_time) {
  event_list.push_back(std::make_unique<Event>(channel, key, vel, on_time, on_dur, 2));
  event_list.push_back(std::make_unique<Event>(channel, key, 0, off_time, 0, 0));
}

std::int64_t MusicalObject::PlannedEventCount() const {
  auto nonneg = [](std::int64_t v) { return v > 0 ? v : 0; };
  const std::int64_t intro = nonneg(AlgParameters[23]) * nonneg(AlgParameters[22]);
  const std::int64_t dev = nonneg(AlgParameters[39]) * nonneg(AlgParameters[38]);
  const std::int64_t rep = nonneg(AlgParameters[58]) * nonneg(AlgParameters[57]);
  return 24 * (intro + dev + rep);
}

void MusicalObject::show() const {
  std::cout << std::endl;
  std::cout << "> MusicalObject:" << std::endl;
  std::cout << " fnk:" << FunktionName(funktion) << std::endl;
  std::cout << " p1:" << V << std::endl;
  std::cout << " p2:" << K << std::endl;
  std::cout << " p3:" << H << std::endl;
  std::cout << " p4:" << G << std::endl;
  std::cout << " tempo:" << AlgParameters[2] << " length:" << AlgParameters[3] << std::endl;
  PitchSet.show();
  DynamicSet.show();
  DurationSet.show();
  TextureSet.show();
}

void MusicalObject::GetMusObjectInfo(char* dest_str, std::size_t size) const {
  if (dest_str == nullptr || size == 0) {
    return;
  }
  std::snprintf(dest_str, size,
                "MusicalObject:\nfnk: %s.\nP1: %i.\nP2: %i.\nP3: %i.\nP4: %i.\nTempo: %i.\n",
                FunktionName(funktion), V, K, H, G, static_cast<int>(AlgParameters[2]));
}

void MusicalObject::ShowAlgParms() const {
  auto item = [this](int n) {
    std::cout << "\t(" << n << "," << AlgParameters[static_cast<std::size_t>(n)] << ")";
  };
  auto group = [&](int from, int to) {
    for (int n = from; n <= to; ++n) {
      item(n);
      if (n % 6 == 5) {
        std::cout << std::endl;
      }
    }
  };
  std::cout << ">glob_par:" << std::endl;
  for (int n = 0; n <= 3; ++n) {
    item(n);
  }
  std::cout << "\n>intro_parm:" << std::endl;
  group(4, 23);
  std::cout << "\n>development_parm:" << std::endl;
  group(24, 39);
  std::cout << "\n>reprise_parm:" << std::endl;
  group(40, 58);
  std::cout << std::endl;
}

}  // namespace vordel
