// The two rest planners and insertion by time.
//
// After each note of a voice a planner decides whether a rest follows and how long it is. Its
// pattern (zone of the voice, rest due, notes since the last rest, group size) lives for the
// whole program; the first note of every voice restarts it.
#include <cmath>

#include "chances/random_source.h"
#include "composer/musical_object.h"

namespace vordel {
namespace {

struct RestPlanner {
  bool started = false;
  int zone = 0;
  int insert_rest = 0;
  int count = 0;
  int group_size = 0;
};

RestPlanner g_intro_planner;
RestPlanner g_reprise_planner{false, 0, 0, 0, 8};

// Six ascending thresholds out of 1000 per zone (early, middle, late).
constexpr int kIntroRestChoice[3][6] = {
    {0, 500, 600, 850, 900, 950}, {0, 300, 500, 700, 850, 950}, {0, 50, 100, 300, 750, 900}};
constexpr int kRepriseRestChoice[3][6] = {
    {0, 50, 100, 300, 600, 900}, {0, 100, 300, 500, 800, 950}, {0, 400, 600, 800, 850, 950}};

// The largest code whose threshold the draw reaches.
int PickRestCode(const int (&row)[6]) {
  const int r = rand() % 1000;
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
  RestPlanner& p = g_intro_planner;
  if (!p.started) {
    // The very first call of the program draws the starting group size before anything else.
    p.started = true;
    p.group_size = rand() % 3;
  }
  if (note_num == 0) {
    p.count = 0;
    p.group_size = rand() % 3;
    p.zone = 0;
    p.insert_rest = 0;
    ReseedFromClock();
  }
  UpdateZone(p, note_num, AlgParameters[22]);
  if (p.count == p.group_size) {
    p.group_size += rand() % 4;
    p.count = 0;
    p.insert_rest = 1;
  }
  int code = -1;
  if (p.insert_rest == 1) {
    code = PickRestCode(kIntroRestChoice[p.zone]);
    p.insert_rest = 0;
  }
  p.count += 1;
  return code;
}

int MusicalObject::R_InsertRest(int note_num) {
  RestPlanner& p = g_reprise_planner;
  p.started = true;
  if (note_num == 0) {
    p.count = 0;
    p.group_size = 8;
    p.zone = 0;
    p.insert_rest = 0;
    ReseedFromClock();
  }
  UpdateZone(p, note_num, AlgParameters[57]);
  if (p.count == p.group_size) {
    p.group_size -= rand() % 4;
    if (p.group_size <= 0) {
      p.group_size = 1;
    }
    p.count = 0;
    p.insert_rest = 1;
  }
  int code = -1;
  if (p.insert_rest == 1) {
    code = PickRestCode(kRepriseRestChoice[p.zone]);
    p.insert_rest = 0;
  }
  p.count += 1;
  return code;
}

void MusicalObject::InsertEvent(Event* event) {
  std::unique_ptr<Event> owned(event);
  auto pos = event_list.begin();
  while (pos != event_list.end() && (*pos)->GetTIME() <= owned->GetTIME()) {
    ++pos;
  }
  event_list.insert(pos, std::move(owned));
}

void ResetRestPlanners() {
  g_intro_planner = RestPlanner{};
  g_reprise_planner = RestPlanner{false, 0, 0, 0, 8};
}

bool IntroRestPlannerStarted() {
  return g_intro_planner.started;
}

void MarkIntroRestPlannerStarted() {
  if (!g_intro_planner.started) {
    // What the first call leaves behind; the next voice start redraws everything else.
    g_intro_planner.started = true;
  }
}

RestPlannerSnapshot GetRestPlannerSnapshot() {
  const RestPlanner& i = g_intro_planner;
  const RestPlanner& r = g_reprise_planner;
  return {i.started, i.zone, i.insert_rest, i.count, i.group_size,
          r.started, r.zone, r.insert_rest, r.count, r.group_size};
}

}  // namespace vordel
