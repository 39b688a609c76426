// Helpers for tests of the composer and the layers above it.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "chances/random_source.h"
#include "composer/composition.h"
#include "composer/musical_object.h"
#include "support/test_support.h"

namespace vordel::testing {

// A composition as the program names it.
class TestPiece : public Composition {
 public:
  TestPiece() : Composition("Dit is de titel", "/vordel/pieces", "een test", 0, 5) {}
};

// Pins the clock and puts the rest planners back to a fresh process's state.
class FreshComposer {
 public:
  explicit FreshComposer(std::int64_t clock_ms) : pin_(clock_ms) { ResetRestPlanners(); }

 private:
  ScopedClockPin pin_;
};

// A piece as vordel-compose --dump prints it: objects with onsets and ends, events, total.
inline std::string DumpLines(Composition& piece) {
  std::ostringstream out;
  int k = 1;
  for (auto& obj : piece.object_list) {
    out << "object " << k++ << " onset " << obj->GetMusObjOnsetTime() << " end "
        << obj->GetMusObjDuration() << '\n';
    for (const auto& e : obj->event_list) {
      out << ">EV" << e->GetCH() << ',' << e->GetKEY() << ',' << e->GetVEL() << ',' << e->GetTIME()
          << ',' << e->GetDUR() << '\n';
    }
  }
  out << "total " << piece.Composition_TotalTime << '\n';
  return out.str();
}

// One timed event of a hand-made object: channel, key, velocity (0 ends a note), time.
struct HandEvent {
  int ch;
  int key;
  std::int64_t vel;
  std::int64_t time;
};

// Appends an object holding exactly these events, in this order.
inline void AddObjectWith(Composition& piece, const std::vector<HandEvent>& events) {
  piece.AddMusicalObject(0, 50, 50, 50, 10);
  for (const HandEvent& e : events) {
    piece.object_list.back()->event_list.push_back(
        std::make_unique<Event>(e.ch, e.key, e.vel, e.time, 0, e.vel != 0 ? 2 : 0));
  }
}

// The index-th object of a piece.
inline MusicalObject& Obj(Composition& piece, int index) {
  auto it = piece.object_list.begin();
  std::advance(it, index);
  return **it;
}

}  // namespace vordel::testing
