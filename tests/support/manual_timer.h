// A timer driven by hand: Tick() runs the callback once on the caller's thread, with deadlines
// 1 ms apart from first_deadline_ns, as the real timer's thread would.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/timer.h"

namespace vordel::testing {

class ManualTimerService : public TimerService {
 public:
  unsigned GetDevCaps(timecaps_tag* caps) override {
    if (fail_caps || caps == nullptr) {
      return kTimerError;
    }
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return kTimerNoError;
  }
  unsigned BeginPeriod(unsigned period) override {
    ++periods_begun;
    last_period = period;
    return kTimerNoError;
  }
  unsigned EndPeriod(unsigned period) override {
    ++periods_ended;
    last_period = period;
    return kTimerNoError;
  }
  unsigned SetEvent(unsigned delay, unsigned, TimerCallback callback,
                    std::uintptr_t user) override {
    if (fail_arm || callback == nullptr || delay == 0) {
      return 0;
    }
    callback_ = callback;
    user_ = user;
    active_id_ = next_id_++;
    ticks_run_ = 0;
    return active_id_;
  }
  unsigned KillEvent(unsigned id) override {
    ++kills;
    if (id != 0 && id == active_id_) {
      active_id_ = 0;
      return kTimerNoError;
    }
    return kTimerError;
  }
  // Like the real timer's thread, runs the remaining ticks until the timer is killed.
  void Wait(unsigned id) override {
    if (Active(id)) {
      RunUntilStopped(1 << 30);
    }
  }
  bool Active(unsigned id) override { return id != 0 && id == active_id_; }

  // Runs one tick of the armed timer; false when none is armed.
  bool Tick() {
    if (active_id_ == 0) {
      return false;
    }
    const std::int64_t deadline = first_deadline_ns + ticks_run_++ * kNanosPerMilli;
    callback_(active_id_, 0, user_, static_cast<std::uintptr_t>(deadline), 0);
    return true;
  }
  // Ticks until the timer is killed or max_ticks have run; returns the ticks run.
  int RunUntilStopped(int max_ticks) {
    int n = 0;
    while (n < max_ticks && Tick()) {
      ++n;
    }
    return n;
  }

  bool fail_caps = false;
  bool fail_arm = false;
  int periods_begun = 0;
  int periods_ended = 0;
  int kills = 0;
  unsigned last_period = 0;
  std::int64_t first_deadline_ns = 1000000000;

 private:
  TimerCallback callback_ = nullptr;
  std::uintptr_t user_ = 0;
  unsigned active_id_ = 0;
  unsigned next_id_ = 1;
  std::int64_t ticks_run_ = 0;
};

}  // namespace vordel::testing
