// A beat timeline shared with other programs (a Link session's): the beat at a moment of the
// monotonic clock, as a straight line between two tempo changes. One thread publishes the line as
// it learns of changes; the player's tick reads it. Publish: one thread at a time. Read, BeatAt,
// TimeAt: any thread, real-time safe (no lock, no allocation; a read that keeps meeting a
// publication gives up after a few tries and says so).
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

namespace vordel {

class BeatTimeline {
 public:
  struct Line {
    std::int64_t origin_ns = 0;  // a moment of the monotonic clock
    double origin_beat = 0;      // the beat at that moment
    double bpm = 0;              // beats a minute from there on
  };

  static double BeatAt(const Line& line, std::int64_t t_ns) {
    return line.origin_beat + static_cast<double>(t_ns - line.origin_ns) * line.bpm / 60e9;
  }
  static std::int64_t TimeAt(const Line& line, double beat) {
    return line.origin_ns + std::llround((beat - line.origin_beat) * 60e9 / line.bpm);
  }

  void Publish(const Line& line) {
    seq_.fetch_add(1, std::memory_order_acq_rel);
    origin_ns_.store(line.origin_ns, std::memory_order_relaxed);
    origin_beat_.store(line.origin_beat, std::memory_order_relaxed);
    bpm_.store(line.bpm, std::memory_order_relaxed);
    seq_.fetch_add(1, std::memory_order_release);
  }
  // False before the first publication (or, rarely, when every try met one under way).
  bool Read(Line* line) const {
    for (int tries = 0; tries < 8; ++tries) {
      const unsigned before = seq_.load(std::memory_order_acquire);
      if (before % 2 != 0) {
        continue;
      }
      Line l;
      l.origin_ns = origin_ns_.load(std::memory_order_relaxed);
      l.origin_beat = origin_beat_.load(std::memory_order_relaxed);
      l.bpm = bpm_.load(std::memory_order_relaxed);
      std::atomic_thread_fence(std::memory_order_acquire);
      if (seq_.load(std::memory_order_relaxed) == before) {
        if (l.bpm <= 0) {
          return false;
        }
        *line = l;
        return true;
      }
    }
    return false;
  }

 private:
  std::atomic<unsigned> seq_{0};
  std::atomic<std::int64_t> origin_ns_{0};
  std::atomic<double> origin_beat_{0};
  std::atomic<double> bpm_{0};
};

}  // namespace vordel
