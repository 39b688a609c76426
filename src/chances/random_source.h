// The process-wide random source every random decision of the composer draws from.
//
// A small linear congruential generator (state * 22695477 + 1, modulo 2^32) whose draws are
// (state >> 16) & 0x7FFF, plus a millisecond clock counted from program start. The generation
// algorithms reseed with srand(clock()), so pinning the clock makes a piece reproducible.
// Control thread only (where pieces are built); not real-time safe.
#pragma once

#include <cstdint>
#include <optional>

namespace vordel {

inline constexpr int kRandMax = 0x7FFF;

// Advances the generator and returns a value in 0..32767.
int rand();

// Sets the generator state.
void srand(std::uint32_t seed);

// Current generator state (for tests and diagnostics).
std::uint32_t rand_state();

// Milliseconds since program start, or the pinned value when one is set.
std::int64_t clock();

// Pins clock() to a fixed value; std::nullopt returns it to the monotonic clock.
void PinClock(std::optional<std::int64_t> ms);

// The pinned value, if any.
std::optional<std::int64_t> PinnedClock();

// RAII helper for code that needs clock() fixed for a while (tests, rebuilds).
class ScopedClockPin {
 public:
  explicit ScopedClockPin(std::int64_t ms) : previous_(PinnedClock()) { PinClock(ms); }
  ~ScopedClockPin() { PinClock(previous_); }
  ScopedClockPin(const ScopedClockPin&) = delete;
  ScopedClockPin& operator=(const ScopedClockPin&) = delete;

 private:
  std::optional<std::int64_t> previous_;
};

}  // namespace vordel

namespace vordel {

// srand(clock()): the reseeding every material choice, section and rest planner starts with.
// The clock value is taken modulo 2^32.
inline void ReseedFromClock() {
  srand(static_cast<std::uint32_t>(clock()));
}

}  // namespace vordel
