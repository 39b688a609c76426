// Where a playback is in musical time. The note view says where each note stands in written time
// (its section, its part of the section, its written onset) and what tempo that part is played
// at; this map turns that into a beat count for every tick of a playback: the beats since the
// piece began, the beats since its section began, and the tempo in force. MIDI clock, the status
// and whoever plays in time with vordel read it.
//
// In each part of a section one voice leads: the voice with the most notes at the part's own
// tempo. Each of its notes is a point of the map, at its tick and written beat; between two
// points the beats run evenly, so the map passes through every note of the leading voice and
// never runs backwards. Sections follow one another on whole beats: a section begins on the
// beat nearest to where the one before, running on at its last tempo, would be.
//
// Built on any thread with the schedule; immutable afterwards. BeatCursor reads it on the tick,
// real-time safe.
#pragma once

#include <cstdint>
#include <vector>

#include "composer/piece.h"

namespace vordel {

inline constexpr int kClocksPerBeat = 24;

struct BeatPoint {
  std::int64_t tick = 0;  // from this tick on
  double beat = 0;        // beats since the piece began, at `tick`
  int section = 0;        // the section this point belongs to
  double tempo = 0;       // beats a minute the notes from here are written at
};

struct BeatMap {
  std::vector<BeatPoint> points;     // strictly rising in tick and beat; the last one at the end
  std::vector<double> section_beat;  // the beat each section begins on
  bool empty() const { return points.size() < 2; }
};

BeatMap BuildBeatMap(const Piece& piece);

// What the tick knows about musical time.
struct MusicalPosition {
  int section = 0;             // index
  double beat = 0;             // since the piece began
  double beat_in_section = 0;  // since the section began (0 before its first beat)
  double tempo = 0;            // beats a minute in force
};

// Reads a map at rising ticks (a playback); Reset to go back. Real-time safe.
class BeatCursor {
 public:
  void Reset(const BeatMap* map) {
    map_ = map;
    at_ = 0;
  }
  // Where the playback is at `tick` (fractions of a tick allowed). Ticks past the map's end stay
  // at its end.
  MusicalPosition At(double tick);
  // The tick, with its fraction, at which the playback reaches `beat`; past the end, the end.
  double TickOf(double beat);

 private:
  const BeatMap* map_ = nullptr;
  std::size_t at_ = 0;  // the point the last answer came from
};

}  // namespace vordel
