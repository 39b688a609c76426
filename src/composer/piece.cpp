#include "composer/piece.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "composer/composition.h"

namespace vordel {
namespace {

// Words as a shell splits them: white space between, quotes (' or ") keeping one together.
std::optional<std::vector<std::string>> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : line) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) {
        words.push_back(word);
        word.clear();
        in_word = false;
      }
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quote != 0) {
    return std::nullopt;
  }
  if (in_word) {
    words.push_back(word);
  }
  return words;
}

}  // namespace

std::optional<PieceRecipe> ReadRecipe(const std::string& line, std::string* error) {
  PieceRecipe entry;
  std::string text = line;
  // A bare parameter string holds numbers and white space only; anything else is the command.
  const bool command = line.find_first_of("'\"") != std::string::npos ||
                       line.rfind("vordel-compose", 0) == 0 || line.find("--") != std::string::npos;
  if (command) {
    const auto words = Words(line);
    if (!words) {
      *error = "a quote is not closed";
      return std::nullopt;
    }
    std::optional<std::string> string;
    for (std::size_t i = 0; i < words->size(); ++i) {
      const std::string& w = (*words)[i];
      if (i == 0 && w == "vordel-compose") {
        continue;
      }
      if (w == "--dump") {
        continue;
      }
      if (w == "--rest-planner-started") {
        entry.carried.rest_planner_started = true;
      } else if (w == "--clock" && i + 1 < words->size()) {
        const auto clock = ParseClockValue((*words)[++i]);
        if (!clock) {
          *error = "--clock takes a whole number of milliseconds, not '" + (*words)[i] + "'";
          return std::nullopt;
        }
        entry.clock_ms = static_cast<std::int64_t>(*clock);
      } else if (w.rfind("--", 0) == 0) {
        *error = "'" + w + "' is not an option of a playlist line (--clock MS, " +
                 "--rest-planner-started)";
        return std::nullopt;
      } else if (string) {
        *error = "more than one parameter string (quote the string)";
        return std::nullopt;
      } else {
        string = w;
      }
    }
    if (!string) {
      *error = "no parameter string";
      return std::nullopt;
    }
    if (!entry.clock_ms && entry.carried.rest_planner_started) {
      *error = "--rest-planner-started goes with --clock";
      return std::nullopt;
    }
    text = *string;
  }
  entry.parameters = PieceParameters::Parse(text);
  if (!entry.parameters.accepted()) {
    *error = entry.parameters.refusal();
    return std::nullopt;
  }
  return entry;
}

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

// Each part of each section runs at the tempo factor most of its notes have (the first of
// those that tie; where each note has a factor of its own, the whole factor it began at), and
// begins on the first beat after the one before ended in its own written time.
void PlaceInWrittenTime(PieceBody& body) {
  for (PieceSection& section : body.sections) {
    std::array<std::vector<std::pair<float, int>>, 3> counts;
    for (const ComposedEvent& e : section.events) {
      if (e.written.part < 0 || e.written.part > 2) {
        continue;
      }
      auto& seen = counts[static_cast<std::size_t>(e.written.part)];
      auto it = std::find_if(seen.begin(), seen.end(),
                             [&](const auto& c) { return c.first == e.written.factor; });
      if (it == seen.end()) {
        seen.emplace_back(e.written.factor, 1);
      } else {
        ++it->second;
      }
    }
    double start = 0;
    for (std::size_t p = 0; p < 3; ++p) {
      const auto& seen = counts[p];
      const auto most =
          std::max_element(seen.begin(), seen.end(),
                           [](const auto& a, const auto& b) { return a.second < b.second; });
      float factor = 1.0f;
      if (most != seen.end() && most->second == 1 && seen.size() > 1) {
        // Every note at a factor of its own: the part's tempo is the whole factor it began at.
        factor = std::max(1.0f, std::round(seen.front().first));
      } else if (most != seen.end() && most->first > 0) {
        factor = most->first;
      }
      section.part_factor[p] = factor;
      section.part_start[p] = std::llround(start);
      start += section.part_timed[p] / static_cast<double>(factor);
      // The next part begins on a beat: where a rest or a tempo curve left the last voice off
      // the beat, on the next one.
      constexpr double kBeat = kUnitsPerWhole / 4.0;
      start = std::ceil(start / kBeat - 1e-9) * kBeat;
    }
  }
}

// A note start's written value, and its place in its section's written time.
void WriteDown(const PieceSection& section, const Written& w, Note& note) {
  if (w.part < 0 || w.part > 2) {
    return;
  }
  const auto p = static_cast<std::size_t>(w.part);
  const float factor = section.part_factor[p];
  note.value = w.value;
  note.part = w.part;
  note.tempo_factor = w.factor;
  note.staccato = w.staccato;
  note.held = w.held;
  note.exact = w.factor == factor;
  note.written_onset = section.part_start[p] +
                       (note.exact ? w.onset : std::llround(w.timed / static_cast<double>(factor)));
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
        WriteDown(body.sections[s], e.written, body.notes.back());
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
  PlaceInWrittenTime(*body);
  FindNotes(*body);
  return Piece(std::move(body), ensemble);
}

std::string Piece::Reproduce(const std::string& action) const {
  if (empty()) {
    return "";
  }
  return "vordel-compose --clock " + std::to_string(body_->clock_ms) +
         (body_->carried_in.rest_planner_started ? " --rest-planner-started" : "") + " " + action +
         " '" + body_->parameters.Canonical() + "'";
}

std::string Piece::PositionLine() const {
  return PlayingPositionLine(1, body_->total_ms, static_cast<int>(body_->sections.size()), 1, 0);
}

}  // namespace vordel
