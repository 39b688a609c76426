// How lengths are written in a measure: as note values (plain, dotted, triplet), cut by the
// meter's beats, and triplets gathered in groups of a beat. Places and lengths are in the
// composer's units (192nds of a whole note) from the measure's start. Any thread; plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vordel {

// How a length is written as one value: its type (0 a whole note, 1 a half ... 7 a 128th; -1
// when no single value is that long), a dot, or three in the time of two.
struct NoteValue {
  int type = -1;
  bool dotted = false;
  bool triplet = false;
};
NoteValue ValueOf(std::int64_t units);

// A stretch of one voice in a measure, [x, y), with what it is to the caller (a chord, a rest).
struct Stretch {
  std::int64_t x;
  std::int64_t y;
  std::size_t tag;
};

using Interval = std::pair<std::int64_t, std::int64_t>;

class Meter {
 public:
  // `beats` of a 1, 2, 4, 8 or 16th note.
  Meter(int beats, int beat_type);

  std::int64_t measure() const { return measure_; }
  std::int64_t beat() const { return beat_; }

  // The pieces [a, b) within a measure is written in: one value where it hides no beat (nor
  // the middle of a bar of four or more, save the syncopations every player reads), else cut
  // at the strongest place inside it.
  void Split(std::int64_t a, std::int64_t b, std::vector<Interval>& out) const;

  // The beats that hold a triplet: every beat in which a stretch begins or ends off the places
  // of the plain values (a multiple of a 64th). Each is a group of three in the time of two.
  std::vector<Interval> TripletBeats(const std::vector<Stretch>& stretches) const;

  // The stretches cut where the groups begin and end: inside a group into the largest values
  // that are written as triplets, outside as the beats ask.
  std::vector<Stretch> CutAtGroups(const std::vector<Stretch>& stretches,
                                   const std::vector<Interval>& groups) const;

  // The value a stretch of `units` is written as inside a triplet group (the triplet of the
  // value half as long again) or outside one.
  static NoteValue WrittenAs(std::int64_t units, bool in_group);

 private:
  std::int64_t Middle() const;
  std::int64_t Strength(std::int64_t x) const;
  bool Whole(std::int64_t a, std::int64_t b) const;

  int beats_;
  std::int64_t measure_;
  std::int64_t beat_;
  std::vector<std::int64_t> divisors_;  // of the beat
};

}  // namespace vordel
