// Maps the monotonic clock onto the built-in synthesizer's sequencer clock. That clock counts
// the milliseconds of audio the synthesizer has rendered, so it advances in bursts (one audio
// period at a time) and in whole milliseconds; it runs at the sound card's rate, which drifts
// against the system's; and it falls behind when the audio system drops cycles. A reading is
// never ahead of the rendering's leading edge, and among many readings at random moments of the
// bursts the highest is close to it: the mapping is the highest reading of the last half second
// (kept as the highest of each 10 ms), so it follows drift and does not jitter with the bursts.
// A reading well below every recent one means the audio dropped cycles: the readings before it
// are forgotten at once, so the mapping follows the drop within a few readings. Delivery thread
// only; real-time safe (fixed arrays).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace vordel {

class SequencerClock {
 public:
  // The sequencer showed seq_ms when the monotonic clock read mono_ns.
  void Observe(std::int64_t mono_ns, std::int64_t seq_ms) {
    const double offset = static_cast<double>(seq_ms) - static_cast<double>(mono_ns) / 1e6;
    const std::int64_t bucket = mono_ns / kBucketNanos;
    double lowest = std::numeric_limits<double>::infinity();
    int readings = 0;
    for (const Slot& s : slots_) {
      if (s.bucket > bucket - kBuckets) {
        lowest = std::min(lowest, s.lowest);
        readings += s.readings;
      }
    }
    if (readings >= kReadingsToJudge && offset < lowest - kDropMs) {
      slots_.fill(Slot{});  // the audio fell behind: what came before no longer holds
    }
    Slot& slot = slots_[static_cast<std::size_t>(bucket % kBuckets)];
    if (slot.bucket != bucket) {
      slot = Slot{bucket, offset, offset, 0};
    }
    slot.highest = std::max(slot.highest, offset);
    slot.lowest = std::min(slot.lowest, offset);
    ++slot.readings;
    double highest = -std::numeric_limits<double>::infinity();
    for (const Slot& s : slots_) {
      if (s.bucket > bucket - kBuckets) {
        highest = std::max(highest, s.highest);
      }
    }
    offset_ = highest;
    ready_ = true;
  }

  bool Ready() const { return ready_; }

  // The sequencer time (ms, fractional) of a monotonic time.
  double ToSequencer(std::int64_t mono_ns) const {
    return static_cast<double>(mono_ns) / 1e6 + offset_;
  }

 private:
  static constexpr std::int64_t kBucketNanos = 10000000;  // 10 ms
  static constexpr std::int64_t kBuckets = 50;            // half a second
  static constexpr int kReadingsToJudge = 10;
  static constexpr double kDropMs = 1.0;

  struct Slot {
    std::int64_t bucket = std::numeric_limits<std::int64_t>::min() / 2;
    double highest = 0;
    double lowest = 0;
    int readings = 0;
  };

  std::array<Slot, kBuckets> slots_{};
  bool ready_ = false;
  double offset_ = 0;
};

}  // namespace vordel
