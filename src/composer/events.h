// One timed note message of the generated music: a note start (velocity above 0) or a note
// end (velocity 0) on one channel. Times and lengths are milliseconds (player ticks) on the
// time line of the whole piece; they and the velocity are 64-bit so that no parameter value
// can make them wrap.
// The composing thread; plain values, held by value in the object that makes them.
#pragma once

#include <cstdint>
#include <ostream>

namespace vordel {

// Whole notes are measured in these units: every value the composer writes (whole to
// thirty-second, dotted, triplet) and half of each is a whole number of them.
inline constexpr int kUnitsPerWhole = 192;

// A note start's value as the composer wrote it. `part` is the section of the object it was
// made in (0 the Introduction, 1 the Development, 2 the Reprise; -1 for an event without one);
// `onset` counts the written values (and rests) of its voice before it in that section, and
// `timed` the same each taken with its tempo factor (so at the object's own tempo).
struct Written {
  double timed = 0;        // units at the object's tempo
  std::int32_t onset = 0;  // units (a voice of an accepted piece stays far below 2^31)
  std::int32_t value = 0;  // units
  float factor = 1.0f;     // the tempo factor: a written value lasts this many times its length
  std::int16_t part = -1;
  bool staccato = false;  // the composer halved its sounding length
  bool held = false;      // the object's last note, held longer
};

// A rest a planner put into a voice: its channel, the section of the object, its place among
// the voice's written values and its own value (units).
struct PlannedRest {
  int channel = 1;
  int part = 0;
  std::int64_t onset = 0;
  int value = 0;
};

class Event {
 public:
  Event(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d, int exp);
  Event(int c, int k, std::int64_t v, std::int64_t t, std::int64_t d);

  int GetCH() const { return ch; }
  int GetKEY() const { return key; }
  std::int64_t GetVEL() const { return vel; }
  int GetEXP() const { return expression; }
  std::int64_t GetTIME() const { return time; }
  std::int64_t GetDUR() const { return dur; }

  void SetKEY(int k) { key = k; }
  void SetVEL(std::int64_t v) { vel = v; }
  void SetTIME(std::int64_t t) { time = t; }
  void SetDUR(std::int64_t d) { dur = d; }
  const Written& GetWritten() const { return written; }
  void SetWritten(const Written& w) { written = w; }

  // Prints ">EV<ch>,<key>,<vel>,<time>,<dur>" and an end of line.
  void show(std::ostream& out) const;

  friend struct AscendingTime;

 private:
  int ch;
  int key;
  std::int64_t vel;
  std::int64_t time;
  std::int64_t dur;
  int expression;
  Written written;
};

}  // namespace vordel
