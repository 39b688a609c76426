// Any text a user could copy goes the whole way from parameter string to generated piece and
// its schedule.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "chances/random_source.h"
#include "composer/composition.h"
#include "composer/diagnostics.h"
#include "composer/piece_builder.h"
#include "sequence/schedule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte, when present, pins the clock so that inputs replay alike.
  vordel::ScopedClockPin pin(size > 0 ? data[0] : 0);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Huge pieces only cost time here (the refusal above a million events has its own tests):
  // past a smaller budget only the planning runs, so that the fuzzer explores more inputs.
  if (vordel::PlannedPieceEvents(text) > 60000) {
    return 0;
  }
  std::ostringstream diag;  // the diagnostic lines are not what is tested
  vordel::ScopedDiagnosticStream quiet(diag);
  vordel::Composition piece("fuzz", "", "", 0, 5);
  vordel::BuildPiece(piece, text);
  // Every event list must be in time order after generation, and so must the schedule.
  std::size_t events = 0;
  for (auto& obj : piece.object_list) {
    std::int64_t last = INT64_MIN;
    for (const auto& ev : obj->event_list) {
      if (ev->GetTIME() < last) {
        __builtin_trap();
      }
      last = ev->GetTIME();
      ++events;
    }
  }
  const vordel::Schedule schedule = vordel::BuildSchedule(piece);
  std::int64_t last_tick = 0;
  for (const vordel::ScheduledMessage& m : schedule.messages) {
    if (m.tick < last_tick || m.tick > schedule.end_tick) {
      __builtin_trap();
    }
    last_tick = m.tick;
  }
  if (schedule.messages.size() != events) {
    __builtin_trap();
  }
  return 0;
}
