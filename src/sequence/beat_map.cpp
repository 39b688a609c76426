#include "sequence/beat_map.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vordel {
namespace {

constexpr double kUnitsPerBeat = kUnitsPerWhole / 4.0;

// The tempo a part of a section is written at.
double PartTempo(const PieceSection& section, int part) {
  const float factor =
      part >= 0 && part < 3 ? section.part_factor[static_cast<std::size_t>(part)] : 1.0f;
  return section.tempo / static_cast<double>(factor > 0 ? factor : 1.0f);
}

// For each section and each of its parts, the voice with the most notes at the part's tempo
// (0: none).
std::vector<std::array<int, 3>> LeadingVoices(const std::vector<Note>& notes,
                                              std::size_t sections) {
  std::vector<std::array<std::array<int, 5>, 3>> counts(sections);
  for (const Note& n : notes) {
    if (n.exact && n.part >= 0 && n.part < 3 && n.channel >= 1 && n.channel <= 4 &&
        n.section >= 0 && static_cast<std::size_t>(n.section) < sections) {
      ++counts[static_cast<std::size_t>(n.section)][static_cast<std::size_t>(n.part)]
              [static_cast<std::size_t>(n.channel)];
    }
  }
  std::vector<std::array<int, 3>> leading(sections);
  for (std::size_t s = 0; s < sections; ++s) {
    for (std::size_t p = 0; p < 3; ++p) {
      for (std::size_t ch = 1; ch <= 4; ++ch) {
        if (counts[s][p][ch] > counts[s][p][static_cast<std::size_t>(leading[s][p])]) {
          leading[s][p] = static_cast<int>(ch);
        }
      }
    }
  }
  return leading;
}

}  // namespace

BeatMap BuildBeatMap(const Piece& piece) {
  BeatMap map;
  const std::vector<PieceSection>& sections = piece.sections();
  if (sections.empty()) {
    return map;
  }
  const std::vector<Note>& notes = piece.Notes();
  const std::vector<std::array<int, 3>> leading_voices = LeadingVoices(notes, sections.size());
  map.points.push_back({0, 0.0, 0, PartTempo(sections.front(), 0)});
  // Where the beats would be at `tick` if they ran on from the last point at its tempo.
  const auto run_on = [&map](std::int64_t tick) {
    const BeatPoint& last = map.points.back();
    return last.beat + static_cast<double>(tick - last.tick) * last.tempo / 60000.0;
  };
  const auto add = [&map](const BeatPoint& p) {
    const BeatPoint& last = map.points.back();
    if (p.tick > last.tick && p.beat > last.beat) {
      map.points.push_back(p);
    }
  };
  // The notes are in onset order, so each section's notes follow one another.
  std::size_t n = 0;
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const PieceSection& section = sections[s];
    const int index = static_cast<int>(s);
    const std::array<int, 3>& leading = leading_voices[s];
    while (n < notes.size() && notes[n].section < index) {
      ++n;
    }
    double begins = 0;
    bool placed = false;
    for (; n < notes.size() && notes[n].section == index; ++n) {
      const Note& note = notes[n];
      if (!note.exact || note.part < 0 || note.part > 2 ||
          note.channel != leading[static_cast<std::size_t>(note.part)]) {
        continue;
      }
      const double written = static_cast<double>(note.written_onset) / kUnitsPerBeat;
      if (!placed) {
        // The section begins on the whole beat nearest to where the beats would have run on to,
        // and never before a beat already passed.
        const double last = map.points.back().beat;
        begins = std::round(run_on(note.onset) - written);
        if (s == 0) {
          begins = 0;
        } else if (begins + written <= last) {
          begins = std::floor(last - written) + 1.0;
        }
        placed = true;
      }
      add({note.onset, begins + written, index, PartTempo(section, note.part)});
    }
    if (!placed) {
      // No note at its part's tempo: the section runs at its own tempo from where it begins.
      begins = s == 0 ? 0.0 : std::ceil(run_on(section.first_tick));
      add({section.first_tick, begins, index, PartTempo(section, 0)});
    }
    map.section_beat.push_back(begins);
  }
  const std::int64_t end = std::max<std::int64_t>(piece.end_tick(), 1);
  add({end, std::max(run_on(end), map.points.back().beat + 1.0 / kClocksPerBeat),
       map.points.back().section, map.points.back().tempo});
  return map;
}

MusicalPosition BeatCursor::At(double tick) {
  MusicalPosition at;
  if (map_ == nullptr || map_->empty()) {
    return at;
  }
  const std::vector<BeatPoint>& p = map_->points;
  while (at_ + 2 < p.size() && static_cast<double>(p[at_ + 1].tick) <= tick) {
    ++at_;
  }
  while (at_ > 0 && static_cast<double>(p[at_].tick) > tick) {
    --at_;
  }
  const BeatPoint& a = p[at_];
  const BeatPoint& b = p[at_ + 1];
  const double t = std::clamp(tick, static_cast<double>(a.tick), static_cast<double>(b.tick));
  at.beat = a.beat + (b.beat - a.beat) * (t - static_cast<double>(a.tick)) /
                         static_cast<double>(b.tick - a.tick);
  at.section = a.section;
  // Between the last point of a section and the first of the next, the next one's count
  // begins once the beats reach its first beat.
  if (b.section != a.section &&
      at.beat >= map_->section_beat[static_cast<std::size_t>(b.section)]) {
    at.section = b.section;
  }
  at.beat_in_section =
      std::max(0.0, at.beat - map_->section_beat[static_cast<std::size_t>(at.section)]);
  at.tempo = a.tempo;
  return at;
}

double BeatCursor::TickOf(double beat) {
  if (map_ == nullptr || map_->empty()) {
    return 0;
  }
  const std::vector<BeatPoint>& p = map_->points;
  while (at_ + 2 < p.size() && p[at_ + 1].beat <= beat) {
    ++at_;
  }
  while (at_ > 0 && p[at_].beat > beat) {
    --at_;
  }
  const BeatPoint& a = p[at_];
  const BeatPoint& b = p[at_ + 1];
  const double x = std::clamp(beat, a.beat, b.beat);
  return static_cast<double>(a.tick) +
         static_cast<double>(b.tick - a.tick) * (x - a.beat) / (b.beat - a.beat);
}

}  // namespace vordel
