// Helpers for tests of the composer and the layers above it.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

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

}  // namespace vordel::testing
