// One timed note message of the generated music: a note start (velocity above 0) or a note
// end (velocity 0) on one channel. Times and lengths are milliseconds (player ticks) on the
// time line of the whole piece; they and the velocity are 64-bit so that no parameter value
// can make them wrap.
// The composing thread; plain values, held by value in the object that makes them.
#pragma once

#include <cstdint>
#include <ostream>

namespace vordel {

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
};

}  // namespace vordel
