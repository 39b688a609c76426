// Maps the monotonic clock onto the built-in synthesizer's sequencer clock. That clock counts
// the milliseconds of audio the synthesizer has rendered, so it advances in bursts (one audio
// block or period at a time) and in whole milliseconds, and it runs at the sound card's rate,
// which drifts against the system's. Each reading is at or behind the rendering's leading edge;
// the mapping follows the highest readings of each second, moving at most 0.2 ms per second
// (200 ppm) once settled, and jumps only when the audio restarted. Delivery thread only;
// real-time safe.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vordel {

class SequencerClock {
 public:
  // The sequencer showed seq_ms when the monotonic clock read mono_ns.
  void Observe(std::int64_t mono_ns, std::int64_t seq_ms) {
    const double offset = static_cast<double>(seq_ms) - static_cast<double>(mono_ns) / 1e6;
    if (!ready_) {
      ready_ = true;
      offset_ = offset;
      window_start_ = mono_ns;
      window_max_ = offset;
      return;
    }
    window_max_ = std::max(window_max_, offset);
    if (mono_ns - window_start_ < kWindowNanos) {
      // While settling, the estimate follows every higher reading at once.
      if (settled_windows_ < kSettlingWindows && offset > offset_) {
        offset_ = offset;
      }
      return;
    }
    const double step = window_max_ - offset_;
    if (step > kJumpMs || step < -kJumpMs) {
      offset_ = window_max_;
    } else if (settled_windows_ < kSettlingWindows) {
      offset_ = std::max(offset_, window_max_);
    } else {
      offset_ += std::clamp(step, -kSlewMs, kSlewMs);
    }
    ++settled_windows_;
    window_start_ = mono_ns;
    window_max_ = offset;
  }

  bool Ready() const { return ready_; }

  // The sequencer time (ms, fractional) of a monotonic time.
  double ToSequencer(std::int64_t mono_ns) const {
    return static_cast<double>(mono_ns) / 1e6 + offset_;
  }

 private:
  static constexpr std::int64_t kWindowNanos = 1000000000;
  static constexpr int kSettlingWindows = 2;
  static constexpr double kSlewMs = 0.2;
  static constexpr double kJumpMs = 50.0;

  bool ready_ = false;
  double offset_ = 0;
  std::int64_t window_start_ = 0;
  double window_max_ = 0;
  int settled_windows_ = 0;
};

}  // namespace vordel
