// What one composition draws on while it is made: its random source and the clock it is made
// at (every material choice, section and rest planner reseeds the source from that clock), the
// two rest planners, where its diagnostic lines go, and whether the caller still wants it.
// Owned by the call that composes; every object of that composition works with it and nothing
// else touches it, so compositions made at the same time on different threads share nothing.
// The composing thread only; not real-time safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>

#include "chances/random_source.h"

namespace vordel {

// After each note of a voice a planner decides whether a rest follows and how long it is: the
// zone of the voice, a rest due, the notes since the last rest and the size of the group.
struct RestPlanner {
  bool started = false;
  int zone = 0;
  int insert_rest = 0;
  int count = 0;
  int group_size = 0;
};

class ComposingContext {
 public:
  // cancel: when it turns true the composition is given up between sections (null: never).
  ComposingContext(std::int64_t clock_ms, std::ostream& diagnostics,
                   const std::atomic<bool>* cancel = nullptr)
      : clock_ms_(clock_ms), diagnostics_(diagnostics), cancel_(cancel) {}
  ComposingContext(const ComposingContext&) = delete;
  ComposingContext& operator=(const ComposingContext&) = delete;

  RandomSource& rng() { return rng_; }
  // srand(clock): the reseeding every material choice, section and rest planner starts with.
  // The clock is taken modulo 2^32.
  void Reseed() { rng_.srand(static_cast<std::uint32_t>(clock_ms_)); }
  std::int64_t clock_ms() const { return clock_ms_; }

  RestPlanner& intro_planner() { return intro_; }
  RestPlanner& reprise_planner() { return reprise_; }

  std::ostream& diagnostics() { return diagnostics_; }
  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

 private:
  RandomSource rng_;
  std::int64_t clock_ms_;
  RestPlanner intro_;
  RestPlanner reprise_{false, 0, 0, 0, 8};
  std::ostream& diagnostics_;
  const std::atomic<bool>* cancel_;
};

}  // namespace vordel
