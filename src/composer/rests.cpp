// The two rest planners and insertion by time.
//
// After each note of a voice a planner decides whether a rest follows and how long it is. Its
// pattern (zone of the voice, rest due, notes since the last rest, group size) lives in the
// composing context; the first note of every voice restarts it. Of the Introduction's planner
// one thing outlives the composition: whether it has ever started (the carried state).
#include <cmath>

#include "composer/musical_object.h"

namespace vordel {
namespace {

// Six ascending thresholds out of 1000 per zone (early, middle, late).
constexpr int kIntroRestChoice[3][6] = {
    {0, 500, 600, 850, 900, 950}, {0, 300, 500, 700, 850, 950}, {0, 50, 100, 300, 750, 900}};
constexpr int kRepriseRestChoice[3][6] = {
    {0, 50, 100, 300, 600, 900}, {0, 100, 300, 500, 800, 950}, {0, 400, 600, 800, 850, 950}};

// The largest code whose threshold the draw reaches.
int PickRestCode(RandomSource& rng, const int (&row)[6]) {
  const int r = rng.rand() % 1000;
  int code = 0;
  for (int i = 0; i < 6; ++i) {
    if (row[i] <= r) {
      code = i;
    }
  }
  return code;
}

void UpdateZone(RestPlanner& p, int note_num, std::int64_t cycles) {
  // note_num / cycles * 12 * 100 in floating point, rounded down. Callers only ask while the
  // section makes notes, so cycles is at least 1.
  const double divisor = cycles != 0 ? static_cast<double>(cycles) : 1.0;
  const double scale = std::floor(static_cast<double>(note_num) / divisor * 12.0 * 100.0);
  if (scale >= 0.0 && scale < 50.0) {
    p.zone = 0;
  } else if (scale > 50.0 && scale <= 70.0) {
    p.zone = 1;
  } else if (scale > 70.0) {
    p.zone = 2;
  }
}

}  // namespace

int MusicalObject::I_InsertRest(int note_num) {
  RestPlanner& p = context_.intro_planner();
  RandomSource& rng = context_.rng();
  if (!p.started) {
    // The very first call of the program draws the starting group size before anything else.
    p.started = true;
    p.group_size = rng.rand() % 3;
  }
  if (note_num == 0) {
    p.count = 0;
    p.group_size = rng.rand() % 3;
    p.zone = 0;
    p.insert_rest = 0;
    context_.Reseed();
  }
  UpdateZone(p, note_num, AlgParameters[kSlotIntroCycles]);
  if (p.count == p.group_size) {
    p.group_size += rng.rand() % 4;
    p.count = 0;
    p.insert_rest = 1;
  }
  int code = -1;
  if (p.insert_rest == 1) {
    code = PickRestCode(rng, kIntroRestChoice[p.zone]);
    p.insert_rest = 0;
  }
  p.count += 1;
  return code;
}

int MusicalObject::R_InsertRest(int note_num) {
  RestPlanner& p = context_.reprise_planner();
  RandomSource& rng = context_.rng();
  p.started = true;
  if (note_num == 0) {
    p.count = 0;
    p.group_size = 8;
    p.zone = 0;
    p.insert_rest = 0;
    context_.Reseed();
  }
  UpdateZone(p, note_num, AlgParameters[kSlotRepriseCycles]);
  if (p.count == p.group_size) {
    p.group_size -= rng.rand() % 4;
    if (p.group_size <= 0) {
      p.group_size = 1;
    }
    p.count = 0;
    p.insert_rest = 1;
  }
  int code = -1;
  if (p.insert_rest == 1) {
    code = PickRestCode(rng, kRepriseRestChoice[p.zone]);
    p.insert_rest = 0;
  }
  p.count += 1;
  return code;
}

}  // namespace vordel
