// The process's clocks: the monotonic clock every due time is stamped in, and milliseconds since
// the program started. Any thread; real-time safe (both read the vDSO clock, no system call).
#pragma once

#include <cstdint>

namespace vordel {

inline constexpr std::int64_t kNanosPerMilli = 1000000;

// CLOCK_MONOTONIC in nanoseconds.
std::int64_t MonotonicNanos();

// Whole milliseconds since the program started.
std::int64_t MillisSinceStart();

// Sleeps until the monotonic time `deadline_ns` (not real-time safe: it blocks).
void SleepUntilNanos(std::int64_t deadline_ns);

}  // namespace vordel
