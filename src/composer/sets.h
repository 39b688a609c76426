// A small fixed-capacity row of integers holding one kind of musical material: a twelve-tone
// pitch row, dynamic offsets, duration codes or texture values. The set keeps its current
// serial form (normal, retrograde, inverted, retrograde inverted) in mode. The composing thread;
// not real-time safe.
#pragma once

#include <iostream>
#include <memory>
#include <ostream>

namespace vordel {

class ComposingContext;

enum SetType : int { kPitchSet = 0, kDynamicSet = 1, kDurationSet = 2, kTextureSet = 3 };
enum SetMode : int { kNormal = 0, kRetrograde = 1, kInverted = 2, kRetroInverted = 3 };

class Set {
 public:
  Set() = default;
  Set(int t, int m);
  ~Set() = default;
  Set(const Set&) = delete;
  Set& operator=(const Set&) = delete;

  // Discards the contents and gives the set type t and capacity m, empty, in normal form.
  void newset(int t, int m);

  // Where the set reports a size out of range (standard output unless told).
  void ReportTo(std::ostream& out) { report_ = &out; }

  void SetType(int t) { type = t; }
  void SetMode(int m) { mode = m; }
  int GetMode() const { return mode; }
  int GetPreviousMode() const { return mode_history; }
  int GetType() const { return type; }
  int GetSize() const { return cursize; }
  int GetCapacity() const { return maxsize; }

  // Appends t; a full set reports "too many elements..." and drops it.
  void insert(int t);
  // 1 if t is an element, by bisection (the elements must be ascending).
  int member(int t) const;
  // Element i, or 0 for an index outside the set.
  int operator[](int i) const;
  // Becomes a copy of *s: its type, capacity, mode and elements (previous mode 0).
  Set& operator=(const Set* s);

  // Cursor protocol: the caller owns the cursor. On an empty set the reads give 0.
  void start(int& i) const { i = 0; }
  bool ok(const int& i) const { return i < cursize; }
  int next(int& i) const { return (*this)[i++]; }
  int prev(int& i) const { return (*this)[i--]; }
  int cycle(int& i) const {
    if (!ok(i)) {
      start(i);
    }
    return next(i);
  }

  // Fills the set with material for its type, drawn from the composition's random source
  // (reseeded from its clock first).
  void choose(int row, ComposingContext& context);

  void retrograde();
  void invert();
  void retroinvert();
  void normal();
  void transpose(int interval);
  void rotate_left();
  void stretch(int fact);

  // Prints the type label and every element followed by ",".
  void show() const;

 private:
  int cursize = 0;
  int maxsize = 0;
  std::unique_ptr<int[]> x;
  int type = 0;
  int mode = 0;
  int mode_history = 0;
  std::ostream* report_ = &std::cout;
};

// Material tables.
extern const int pitch_root[10][12];
extern const int dynamic_root[6][7];
extern const int rhythm_root[10][4];

}  // namespace vordel
