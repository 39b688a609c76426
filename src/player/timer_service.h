// A periodic timer of millisecond resolution: capability query, resolution periods, periodic
// events with a callback and a user word on a thread of their own, and cancellation that works
// from inside the callback without waiting for it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vordel {

struct timecaps_tag {
  unsigned wPeriodMin;
  unsigned wPeriodMax;
};

// callback(timer id, message, user word, 0, 0)
using TimerCallback = void (*)(unsigned wID, unsigned wMsg, std::uintptr_t dwUser,
                               std::uintptr_t dw1, std::uintptr_t dw2);

inline constexpr unsigned kTimerNoError = 0;
inline constexpr unsigned kTimerError = 97;

class TimerService {
 public:
  virtual ~TimerService() = default;
  virtual unsigned GetDevCaps(timecaps_tag* caps) = 0;
  virtual unsigned BeginPeriod(unsigned period) = 0;
  virtual unsigned EndPeriod(unsigned period) = 0;
  // Arms a periodic timer; its first tick comes one delay after the call. Returns its id, or
  // 0 when it could not be armed.
  virtual unsigned SetEvent(unsigned delay, unsigned resolution, TimerCallback callback,
                            std::uintptr_t user) = 0;
  // Stops the timer; from inside its callback it returns at once, and the current tick is the
  // last. Unknown ids are ignored.
  virtual unsigned KillEvent(unsigned id) = 0;
  // Waits until the timer's thread has ended (after it was killed). Must not be called from
  // the timer's own callback.
  virtual void Wait(unsigned id) = 0;
  // Whether a tick of this timer can still run.
  virtual bool Active(unsigned id) = 0;
};

// Ticks on a thread per timer, at absolute deadlines start + n x period of the monotonic clock,
// so the timer does not drift: a late tick is caught up at once. Tries real-time scheduling and
// quietly runs without it when that is not permitted.
class ThreadTimerService : public TimerService {
 public:
  ThreadTimerService() = default;
  ~ThreadTimerService() override;
  unsigned GetDevCaps(timecaps_tag* caps) override;
  unsigned BeginPeriod(unsigned period) override;
  unsigned EndPeriod(unsigned period) override;
  unsigned SetEvent(unsigned delay, unsigned resolution, TimerCallback callback,
                    std::uintptr_t user) override;
  unsigned KillEvent(unsigned id) override;
  void Wait(unsigned id) override;
  bool Active(unsigned id) override;

  // Monotonic time of the timer's first deadline minus one period (tick n is due at
  // origin + (n + 1) x period); for measurements.
  std::chrono::steady_clock::time_point Origin(unsigned id);
  // Whether the last timer thread got real-time scheduling.
  bool RealTime() const { return real_time_.load(std::memory_order_relaxed); }

 private:
  struct Timer {
    unsigned id = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::chrono::steady_clock::time_point origin;
    std::thread thread;
  };
  std::shared_ptr<Timer> Find(unsigned id);
  void Reap();

  std::mutex mutex_;  // guards timers_ (window thread only; never taken by a tick)
  std::vector<std::shared_ptr<Timer>> timers_;
  unsigned next_id_ = 1;
  std::atomic<bool> real_time_{false};
};

// A timer driven by hand, for tests: Tick() runs the callback once on the caller's thread.
class ManualTimerService : public TimerService {
 public:
  unsigned GetDevCaps(timecaps_tag* caps) override;
  unsigned BeginPeriod(unsigned period) override;
  unsigned EndPeriod(unsigned period) override;
  unsigned SetEvent(unsigned delay, unsigned resolution, TimerCallback callback,
                    std::uintptr_t user) override;
  unsigned KillEvent(unsigned id) override;
  // Like the real timer's thread, runs the remaining ticks until the timer is killed.
  void Wait(unsigned id) override;
  bool Active(unsigned id) override { return id != 0 && id == active_id_; }

  // Runs one tick of the armed timer; false when none is armed.
  bool Tick();
  // Ticks until the timer is killed or max_ticks have run; returns the ticks run.
  int RunUntilStopped(int max_ticks);

  bool fail_caps = false;
  bool fail_arm = false;
  int periods_begun = 0;
  int periods_ended = 0;
  int kills = 0;
  unsigned last_period = 0;

 private:
  TimerCallback callback_ = nullptr;
  std::uintptr_t user_ = 0;
  unsigned active_id_ = 0;
  unsigned next_id_ = 1;
};

}  // namespace vordel
