// A timer driven by hand: Tick() runs the callback once on the caller's thread, with deadlines
// 1 ms apart from first_deadline_ns, as the real timer's thread would.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/timer.h"

namespace vordel::testing {

class ManualTimerService : public TimerService {
 public:
  unsigned FinestPeriodMs() override { return fail_caps ? 0 : 1; }
  unsigned Start(unsigned period_ms, TimerCallback callback, void* user) override {
    if (fail_arm || callback == nullptr || period_ms == 0) {
      return 0;
    }
    callback_ = callback;
    user_ = user;
    active_id_ = next_id_++;
    ticks_run_ = 0;
    return active_id_;
  }
  void Cancel(unsigned id) override {
    ++cancels;
    if (id != 0 && id == active_id_) {
      active_id_ = 0;
    }
  }
  // Like the real timer's thread, runs the remaining ticks until the timer is cancelled.
  void Wait(unsigned id) override {
    if (Active(id)) {
      RunUntilStopped(1 << 30);
    }
  }
  bool Active(unsigned id) override { return id != 0 && id == active_id_; }

  // Runs one tick of the running timer; false when none runs.
  bool Tick() {
    if (active_id_ == 0) {
      return false;
    }
    const std::int64_t deadline = first_deadline_ns + ticks_run_++ * kNanosPerMilli;
    callback_(active_id_, user_, deadline);
    return true;
  }
  // Ticks until the timer is cancelled or max_ticks have run; returns the ticks run.
  int RunUntilStopped(int max_ticks) {
    int n = 0;
    while (n < max_ticks && Tick()) {
      ++n;
    }
    return n;
  }

  bool fail_caps = false;
  bool fail_arm = false;
  int cancels = 0;
  std::int64_t first_deadline_ns = 1000000000;

 private:
  TimerCallback callback_ = nullptr;
  void* user_ = nullptr;
  unsigned active_id_ = 0;
  unsigned next_id_ = 1;
  std::int64_t ticks_run_ = 0;
};

}  // namespace vordel::testing
