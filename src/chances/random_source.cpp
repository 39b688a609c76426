#include "chances/random_source.h"

#include <atomic>

#include "platform/clock.h"

namespace vordel {
namespace {

// The composer runs on one thread; the atomics only keep a stray reader on another thread
// (a status display, a test harness) free of data races.
std::atomic<std::uint32_t> g_state{1};
std::atomic<bool> g_pinned{false};
std::atomic<std::int64_t> g_pinned_value{0};

}  // namespace

int rand() {
  std::uint32_t s = g_state.load(std::memory_order_relaxed);
  s = s * 22695477u + 1u;
  g_state.store(s, std::memory_order_relaxed);
  return static_cast<int>((s >> 16) & 0x7FFFu);
}

void srand(std::uint32_t seed) {
  g_state.store(seed, std::memory_order_relaxed);
}

std::uint32_t rand_state() {
  return g_state.load(std::memory_order_relaxed);
}

std::int64_t clock() {
  if (g_pinned.load(std::memory_order_acquire)) {
    return g_pinned_value.load(std::memory_order_relaxed);
  }
  return MillisSinceStart();
}

void PinClock(std::optional<std::int64_t> ms) {
  if (ms) {
    g_pinned_value.store(*ms, std::memory_order_relaxed);
    g_pinned.store(true, std::memory_order_release);
  } else {
    g_pinned.store(false, std::memory_order_release);
  }
}

std::optional<std::int64_t> PinnedClock() {
  if (!g_pinned.load(std::memory_order_acquire)) {
    return std::nullopt;
  }
  return g_pinned_value.load(std::memory_order_relaxed);
}

}  // namespace vordel
