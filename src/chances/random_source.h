// The random source every random decision of a composition draws from: a small linear
// congruential generator (state x 22695477 + 1, modulo 2^32) whose draws are (state >> 16) &
// 0x7FFF, 0 to 32767. A value: each composition owns one (in its composing context) and reseeds
// it from the composition's clock, so two compositions made at the same time share nothing.
// The thread that owns it; real-time safe.
#pragma once

#include <cstdint>

namespace vordel {

inline constexpr int kRandMax = 0x7FFF;

class RandomSource {
 public:
  // Advances the generator and returns a value in 0..32767.
  int rand() {
    state_ = state_ * 22695477u + 1u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }
  // Sets the generator's state.
  void srand(std::uint32_t seed) { state_ = seed; }
  std::uint32_t state() const { return state_; }

 private:
  std::uint32_t state_ = 1;
};

}  // namespace vordel
