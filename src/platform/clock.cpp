#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace vordel {
namespace {

const std::int64_t g_program_start = MonotonicNanos();

}  // namespace

std::int64_t MonotonicNanos() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::int64_t MillisSinceStart() {
  return (MonotonicNanos() - g_program_start) / kNanosPerMilli;
}

void SleepUntilNanos(std::int64_t deadline_ns) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(deadline_ns / 1000000000);
  ts.tv_nsec = static_cast<long>(deadline_ns % 1000000000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace vordel
