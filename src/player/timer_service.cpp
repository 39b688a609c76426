#include "player/timer_service.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cerrno>

namespace vordel {
namespace {

timespec ToTimespec(std::chrono::steady_clock::time_point t) {
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.tv_nsec = static_cast<long>(ns % 1000000000);
  return ts;
}

// steady_clock is CLOCK_MONOTONIC on Linux, so its time points are absolute deadlines for
// clock_nanosleep.
void SleepUntil(std::chrono::steady_clock::time_point t) {
  const timespec ts = ToTimespec(t);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

// The timer whose callback runs on this thread, so that it can cancel itself without a lock.
thread_local void* t_current_timer = nullptr;

bool TryRealTime() {
  sched_param param{};
  param.sched_priority = std::max(1, sched_get_priority_max(SCHED_FIFO) / 2);
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

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

unsigned ThreadTimerService::GetDevCaps(timecaps_tag* caps) {
  if (caps == nullptr) {
    return kTimerError;
  }
  caps->wPeriodMin = 1;
  caps->wPeriodMax = 1000000;
  return kTimerNoError;
}

unsigned ThreadTimerService::BeginPeriod(unsigned period) {
  return period == 0 ? kTimerError : kTimerNoError;
}

unsigned ThreadTimerService::EndPeriod(unsigned period) {
  return period == 0 ? kTimerError : kTimerNoError;
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

unsigned ThreadTimerService::SetEvent(unsigned delay, unsigned resolution, TimerCallback callback,
                                      std::uintptr_t user) {
  (void)resolution;
  if (callback == nullptr || delay == 0) {
    return 0;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Reap();
  auto timer = std::make_shared<Timer>();
  timer->id = next_id_++;
  if (next_id_ == 0) {
    next_id_ = 1;
  }
  const auto period = std::chrono::milliseconds(delay);
  timer->origin = std::chrono::steady_clock::now();
  Timer* raw = timer.get();
  try {
    timer->thread = std::thread([this, raw, period, callback, user] {
      t_current_timer = raw;
      real_time_.store(TryRealTime(), std::memory_order_relaxed);
      auto deadline = raw->origin;
      while (!raw->cancelled.load(std::memory_order_acquire)) {
        deadline += period;
        SleepUntil(deadline);
        if (raw->cancelled.load(std::memory_order_acquire)) {
          break;
        }
        callback(raw->id, 0, user, 0, 0);
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

unsigned ThreadTimerService::KillEvent(unsigned id) {
  // From inside its own callback a timer only raises its flag: no lock, no waiting.
  auto* own = static_cast<Timer*>(t_current_timer);
  if (own != nullptr && own->id == id) {
    own->cancelled.store(true, std::memory_order_release);
    return kTimerNoError;
  }
  std::shared_ptr<Timer> t = Find(id);
  if (!t) {
    return kTimerError;
  }
  t->cancelled.store(true, std::memory_order_release);
  return kTimerNoError;
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

std::chrono::steady_clock::time_point ThreadTimerService::Origin(unsigned id) {
  std::shared_ptr<Timer> t = Find(id);
  return t ? t->origin : std::chrono::steady_clock::time_point{};
}

unsigned ManualTimerService::GetDevCaps(timecaps_tag* caps) {
  if (fail_caps || caps == nullptr) {
    return kTimerError;
  }
  caps->wPeriodMin = 1;
  caps->wPeriodMax = 1000000;
  return kTimerNoError;
}

unsigned ManualTimerService::BeginPeriod(unsigned period) {
  ++periods_begun;
  last_period = period;
  return kTimerNoError;
}

unsigned ManualTimerService::EndPeriod(unsigned period) {
  ++periods_ended;
  last_period = period;
  return kTimerNoError;
}

unsigned ManualTimerService::SetEvent(unsigned delay, unsigned, TimerCallback callback,
                                      std::uintptr_t user) {
  if (fail_arm || callback == nullptr || delay == 0) {
    return 0;
  }
  callback_ = callback;
  user_ = user;
  active_id_ = next_id_++;
  return active_id_;
}

unsigned ManualTimerService::KillEvent(unsigned id) {
  ++kills;
  if (id != 0 && id == active_id_) {
    active_id_ = 0;
    return kTimerNoError;
  }
  return kTimerError;
}

void ManualTimerService::Wait(unsigned id) {
  if (Active(id)) {
    RunUntilStopped(1 << 30);
  }
}

bool ManualTimerService::Tick() {
  if (active_id_ == 0) {
    return false;
  }
  callback_(active_id_, 0, user_, 0, 0);
  return true;
}

int ManualTimerService::RunUntilStopped(int max_ticks) {
  int n = 0;
  while (n < max_ticks && Tick()) {
    ++n;
  }
  return n;
}

}  // namespace vordel
