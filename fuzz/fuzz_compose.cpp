// Any text a user could copy goes the whole way from parameter string to piece, its notes, its
// schedule and its score.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "composer/piece_builder.h"
#include "export/score.h"
#include "sequence/schedule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte, when present, is the clock, so that inputs replay alike.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vordel::PieceParameters parameters = vordel::PieceParameters::Parse(text);
  // Huge pieces only cost time here (the refusal above a million events has its own tests):
  // past a smaller budget only the reading runs, so that the fuzzer explores more inputs.
  if (parameters.planned_events() > 60000) {
    return 0;
  }
  std::ostringstream diag;  // the diagnostic lines are not what is tested
  const vordel::Piece piece =
      vordel::ComposePiece(parameters, size > 0 ? data[0] : 0, {size % 2 == 1}, 0, diag)->piece;
  // Every section's events must be in time order, and the ticks must never go back.
  std::size_t events = 0;
  std::int64_t last_tick = 0;
  for (const vordel::PieceSection& section : piece.sections()) {
    std::int64_t last = INT64_MIN;
    for (const vordel::ComposedEvent& e : section.events) {
      if (e.time < last || e.tick < last_tick || e.tick > piece.end_tick()) {
        __builtin_trap();
      }
      last = e.time;
      last_tick = e.tick;
      ++events;
    }
  }
  const vordel::Schedule schedule = vordel::BuildSchedule(piece);
  if (schedule.messages.size() != events) {
    __builtin_trap();
  }
  // Every note lies inside the piece.
  for (const vordel::Note& n : piece.Notes()) {
    if (n.onset < 0 || n.length < 0 || n.onset + n.length > piece.end_tick() || n.key < 1 ||
        n.key > 127 || n.velocity < 1 || n.velocity > 127) {
      __builtin_trap();
    }
  }
  // The score is written whole, whatever the written values (a smaller budget again: a score
  // costs more than a piece).
  if (parameters.planned_events() <= 8000) {
    const std::string score = vordel::ScoreDocument(piece, {});
    constexpr std::string_view kEnd = "</score-partwise>\n";
    if (score.size() < kEnd.size() ||
        score.compare(score.size() - kEnd.size(), kEnd.size(), kEnd) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}
