// A periodic timer of millisecond resolution: periodic ticks with a callback and a user pointer
// on a thread of their own, at absolute deadlines, and cancellation that works from inside the
// callback without waiting for it. The control thread starts, cancels and waits; the callback
// runs on the timer's thread, where Cancel is real-time safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vordel {

// callback(timer id, user pointer, deadline): `deadline_ns` is the monotonic time at which this
// tick was due, however late it runs.
using TimerCallback = void (*)(unsigned timer, void* user, std::int64_t deadline_ns);

class TimerService {
 public:
  virtual ~TimerService() = default;
  // The finest period a timer can tick at, in milliseconds; 0 when no timer can run here.
  virtual unsigned FinestPeriodMs() = 0;
  // Starts a periodic timer; its first tick comes one period after the call. Returns its id, or
  // 0 when it could not start.
  virtual unsigned Start(unsigned period_ms, TimerCallback callback, void* user) = 0;
  // Stops the timer; from inside its callback it returns at once, and the current tick is the
  // last. Unknown ids are ignored.
  virtual void Cancel(unsigned id) = 0;
  // Waits until the timer's thread has ended (after it was cancelled). Must not be called from
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
  unsigned FinestPeriodMs() override { return 1; }
  unsigned Start(unsigned period_ms, TimerCallback callback, void* user) override;
  void Cancel(unsigned id) override;
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

  std::mutex mutex_;  // guards timers_ (control thread only; never taken by a tick)
  std::vector<std::shared_ptr<Timer>> timers_;
  unsigned next_id_ = 1;
  std::atomic<bool> real_time_{false};
};

}  // namespace vordel
