#include "composer/piece.h"

#include <algorithm>

#include "composer/composition.h"

namespace vordel {

int SoundingKey(int channel, int key) {
  const int shifted = channel < 3 ? key : key - 12;
  const int low_byte = shifted & 0xFF;
  return (low_byte >= 1 && low_byte <= 127) ? low_byte : 60;
}

int SoundingVelocity(std::int64_t vel) {
  if (vel == 0) {
    return 0;
  }
  return static_cast<int>(std::clamp<std::int64_t>(vel, 1, 127));
}

Piece::Piece() : body_(std::make_shared<const PieceBody>()) {}

Piece::Piece(std::shared_ptr<const PieceBody> body, int ensemble)
    : body_(std::move(body)),
      ensemble_(ensemble >= 0 && ensemble < kEnsembleCount ? ensemble : 0) {}

std::size_t Piece::EventCount() const {
  std::size_t n = 0;
  for (const PieceSection& s : body_->sections) {
    n += s.events.size();
  }
  return n;
}

namespace {

void PlaceInTicks(PieceBody& body) {
  std::int64_t tick = 0;
  body.end_tick = 0;
  for (PieceSection& section : body.sections) {
    section.first_tick = tick;
    auto it = section.events.begin();
    const auto end = section.events.end();
    for (;;) {
      while (it != end && it->time <= tick) {
        it->tick = tick;
        ++it;
      }
      if (it == end) {
        break;
      }
      tick = std::max(tick + 1, it->time);
    }
    section.end_tick = tick;
    body.end_tick = tick;
    tick += 1;
  }
}

// Every start paired with the oldest open start of the same channel and sounding key, as the
// synthesizer pairs them. The open starts of each channel and key wait in a queue threaded
// through `later` (the next open start of the same key), from `first` to `last`.
void FindNotes(PieceBody& body) {
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  constexpr std::size_t kSlots = std::size_t{16} * 128;
  std::size_t events = 0;
  for (const PieceSection& s : body.sections) {
    events += s.events.size();
  }
  body.notes.clear();
  body.notes.reserve(events / 2);
  std::vector<std::size_t> first(kSlots, kNone);
  std::vector<std::size_t> last(kSlots, kNone);
  std::vector<std::size_t> later;
  later.reserve(events / 2);
  for (std::size_t s = 0; s < body.sections.size(); ++s) {
    for (const ComposedEvent& e : body.sections[s].events) {
      const int channel = e.channel & 0xFF;
      const int key = SoundingKey(e.channel, e.key);
      const std::size_t slot =
          static_cast<std::size_t>((channel - 1) & 0x0F) * 128 + static_cast<std::size_t>(key);
      const int velocity = SoundingVelocity(e.velocity);
      if (velocity > 0) {
        const std::size_t index = body.notes.size();
        body.notes.push_back(
            {channel, key, velocity, e.tick, body.end_tick - e.tick, static_cast<int>(s)});
        later.push_back(kNone);
        if (last[slot] == kNone) {
          first[slot] = index;
        } else {
          later[last[slot]] = index;
        }
        last[slot] = index;
      } else if (first[slot] != kNone) {
        const std::size_t oldest = first[slot];
        body.notes[oldest].length = e.tick - body.notes[oldest].onset;
        first[slot] = later[oldest];
        if (first[slot] == kNone) {
          last[slot] = kNone;
        }
      }
    }
  }
}

}  // namespace

Piece AssemblePiece(std::shared_ptr<PieceBody> body, int ensemble) {
  PlaceInTicks(*body);
  FindNotes(*body);
  return Piece(std::move(body), ensemble);
}

std::string Piece::Reproduce() const {
  if (empty()) {
    return "";
  }
  return "vordel-compose --clock " + std::to_string(body_->clock_ms) +
         (body_->carried_in.rest_planner_started ? " --rest-planner-started" : "") + " --dump '" +
         body_->parameters.Canonical() + "'";
}

std::string Piece::PositionLine() const {
  return PlayingPositionLine(1, body_->total_ms, static_cast<int>(body_->sections.size()), 1, 0);
}

}  // namespace vordel
