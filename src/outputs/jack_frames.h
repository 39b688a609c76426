// Where in a JACK cycle a message due at a given time goes: its due time turned into a frame
// (as jack_time_to_frames does, from the cycle's start frame and time and its period), plus the
// output's latency in frames. A frame before the cycle goes at offset 0 (late), a frame past it
// waits for a later cycle. The frame counter may wrap; offsets are computed across the wrap. Any
// thread; real-time safe.
#pragma once

#include <cmath>
#include <cstdint>

namespace vordel {

struct CyclePlacement {
  bool later = false;        // belongs to a later cycle
  std::uint32_t offset = 0;  // frame offset within this cycle (when not later)
  bool late = false;         // its frame had passed: written at offset 0
};

// due_us and cycle_usecs are JACK microsecond times; cycle_frames the frame time at the cycle's
// start; period_usecs the cycle's length in microseconds for nframes frames.
inline CyclePlacement PlaceInCycle(std::uint64_t due_us, std::uint32_t cycle_frames,
                                   std::uint64_t cycle_usecs, double period_usecs,
                                   std::uint32_t nframes, std::uint32_t latency_frames) {
  CyclePlacement p;
  const double since_us = static_cast<double>(static_cast<std::int64_t>(due_us - cycle_usecs));
  const auto frames_since = static_cast<std::int64_t>(
      std::floor(since_us * static_cast<double>(nframes) / period_usecs + 0.5));
  // The absolute (wrapping) frame the message is written at, then its distance from the
  // cycle's start.
  const std::uint32_t target =
      cycle_frames + static_cast<std::uint32_t>(frames_since) + latency_frames;
  const auto distance = static_cast<std::int32_t>(target - cycle_frames);
  if (distance < 0) {
    p.late = true;
    p.offset = 0;
  } else if (static_cast<std::uint32_t>(distance) >= nframes) {
    p.later = true;
  } else {
    p.offset = static_cast<std::uint32_t>(distance);
  }
  return p;
}

}  // namespace vordel
