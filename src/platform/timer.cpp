#include "platform/timer.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/realtime.h"

namespace vordel {
namespace {

// The timer whose callback runs on this thread, so that it can cancel itself without a lock.
thread_local void* t_current_timer = nullptr;

}  // namespace

ThreadTimerService::~ThreadTimerService() {
  std::vector<std::shared_ptr<Timer>> timers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timers.swap(timers_);
  }
  for (auto& t : timers) {
    t->cancelled.store(true, std::memory_order_release);
    if (t->thread.joinable()) {
      t->thread.join();
    }
  }
}

void ThreadTimerService::Reap() {
  // Joins threads that have ended by themselves; called with mutex_ held.
  for (auto it = timers_.begin(); it != timers_.end();) {
    if ((*it)->finished.load(std::memory_order_acquire)) {
      if ((*it)->thread.joinable()) {
        (*it)->thread.join();
      }
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

unsigned ThreadTimerService::Start(unsigned period_ms, TimerCallback callback, void* user) {
  if (callback == nullptr || period_ms == 0) {
    return 0;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Reap();
  auto timer = std::make_shared<Timer>();
  timer->id = next_id_++;
  if (next_id_ == 0) {
    next_id_ = 1;
  }
  const std::int64_t period = static_cast<std::int64_t>(period_ms) * kNanosPerMilli;
  timer->origin_ns = MonotonicNanos();
  Timer* raw = timer.get();
  try {
    timer->thread = std::thread([this, raw, period, callback, user] {
      t_current_timer = raw;
      real_time_.store(TryRealTime(RealTimeRole::kTick), std::memory_order_relaxed);
      std::int64_t deadline = raw->origin_ns;
      while (!raw->cancelled.load(std::memory_order_acquire)) {
        deadline += period;
        SleepUntilNanos(deadline);
        if (raw->cancelled.load(std::memory_order_acquire)) {
          break;
        }
        callback(raw->id, user, deadline);
      }
      raw->finished.store(true, std::memory_order_release);
    });
  } catch (...) {
    return 0;
  }
  timers_.push_back(timer);
  return timer->id;
}

std::shared_ptr<ThreadTimerService::Timer> ThreadTimerService::Find(unsigned id) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& t : timers_) {
    if (t->id == id) {
      return t;
    }
  }
  return nullptr;
}

void ThreadTimerService::Cancel(unsigned id) {
  // From inside its own callback a timer only raises its flag: no lock, no waiting.
  auto* own = static_cast<Timer*>(t_current_timer);
  if (own != nullptr && own->id == id) {
    own->cancelled.store(true, std::memory_order_release);
    return;
  }
  if (std::shared_ptr<Timer> t = Find(id)) {
    t->cancelled.store(true, std::memory_order_release);
  }
}

void ThreadTimerService::Wait(unsigned id) {
  std::shared_ptr<Timer> t = Find(id);
  if (!t) {
    return;
  }
  if (t->thread.joinable() && t->thread.get_id() != std::this_thread::get_id()) {
    t->thread.join();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(std::remove(timers_.begin(), timers_.end(), t), timers_.end());
}

bool ThreadTimerService::Active(unsigned id) {
  std::shared_ptr<Timer> t = Find(id);
  return t && !t->finished.load(std::memory_order_acquire);
}

}  // namespace vordel
