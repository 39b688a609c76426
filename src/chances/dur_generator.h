// Duration codes and their lengths in milliseconds for one tempo.
//
// A code's low bits (with the flag bits 8, 16, 32, 64 and 128 cleared, modulo 6) select a note
// value from whole (0) to thirty-second (5); 8 or 32 mark a triplet (2/3), 16 a dotted value
// (1.5), 64 negates, and 128 halves the value when the caller asks for the sounding length.
// The composing thread; real-time safe (no allocation), though nothing real-time uses it.
#pragma once

#include <array>

namespace vordel {

inline constexpr int kDurTriplet = 0x08;
inline constexpr int kDurDotted = 0x10;
inline constexpr int kDurTriplet2 = 0x20;
inline constexpr int kDurNegative = 0x40;
inline constexpr int kDurHalved = 0x80;

// Names of the six duration indices, whole to thirty-second.
extern const char* const duration_codes[6];

class DurGenerator {
 public:
  DurGenerator();

  // durTab[0] = 240000 / Tempo, each following entry half the one before (kept as floats).
  void durCalc(int Tempo);

  // Length of a duration code in ms; flags 1 gives the sounding length (bit 128 halves).
  int Getdur(int code, int flags) const;

  // The value a code writes, in 192nds of a whole note (a triplet 2/3 and a dotted value 3/2
  // of its plain value; negative for a negative code). Bit 128 does not change it.
  static int WrittenUnits(int code);

  // 2v/3 truncated the way an extended-precision product with the double 2/3 truncates:
  // floor(2v/3), or 2v/3 - 1 when 2v/3 is a whole number.
  static int TripletOf(float v);

 protected:
  std::array<float, 6> durTab{};
  double triool_fact;
  double dot_fact;
};

}  // namespace vordel
