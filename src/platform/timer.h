// A periodic timer of millisecond resolution: capability query, resolution periods, periodic
// events with a callback and a user word on a thread of their own, and cancellation that works
// from inside the callback without waiting for it. The control thread arms, kills and waits;
// the callback runs on the timer's thread, where KillEvent is real-time safe.
#pragma once

#include <atomic>
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

// callback(timer id, message, user word, deadline, 0): `deadline` is the monotonic time in
// nanoseconds at which this tick was due, however late it runs.
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

  // Whether the last timer thread got real-time scheduling.
  bool RealTime() const { return real_time_.load(std::memory_order_relaxed); }

 private:
  struct Timer {
    unsigned id = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::int64_t origin_ns = 0;
    std::thread thread;
  };
  std::shared_ptr<Timer> Find(unsigned id);
  void Reap();

  std::mutex mutex_;  // guards timers_ (window thread only; never taken by a tick)
  std::vector<std::shared_ptr<Timer>> timers_;
  unsigned next_id_ = 1;
  std::atomic<bool> real_time_{false};
};

}  // namespace vordel
