#include "platform/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/clock.h"

namespace vordel {
namespace {

struct Counter {
  std::atomic<int> ticks{0};
  int stop_after = 0;
  TimerService* service = nullptr;
  std::atomic<std::thread::id> thread{};
  std::atomic<std::int64_t> first_deadline{0};
  std::atomic<std::int64_t> last_deadline{0};
  std::atomic<std::int64_t> first_ran{0};
  std::atomic<std::int64_t> last_ran{0};
};

void CountAndMaybeStop(unsigned id, void* user, std::int64_t deadline) {
  auto* c = static_cast<Counter*>(user);
  c->thread.store(std::this_thread::get_id());
  if (c->first_deadline.load() == 0) {
    c->first_deadline.store(deadline);
    c->first_ran.store(MonotonicNanos());
  }
  c->last_deadline.store(deadline);
  c->last_ran.store(MonotonicNanos());
  if (c->ticks.fetch_add(1) + 1 == c->stop_after) {
    c->service->Cancel(id);  // from inside: must not wait for this very callback
  }
}

bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 5000 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

// Ticks run on a thread of their own, one period apart, each with its own deadline (one period
// after the one before, however late it ran); a timer that cancels itself ends after that tick
// and is no longer active, even before anyone waits for it.
TEST(ThreadTimer, TicksAPeriodApartAndCancelFromInside) {
  ThreadTimerService timer;
  EXPECT_EQ(timer.FinestPeriodMs(), 1u);
  EXPECT_EQ(timer.Start(0, &CountAndMaybeStop, nullptr), 0u);
  EXPECT_EQ(timer.Start(1, nullptr, nullptr), 0u);
  Counter c;
  c.stop_after = 5;
  c.service = &timer;
  const unsigned id = timer.Start(2, &CountAndMaybeStop, &c);
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(Eventually([&] { return !timer.Active(id); }));
  EXPECT_EQ(c.ticks.load(), 5);
  EXPECT_NE(c.thread.load(), std::this_thread::get_id());
  EXPECT_EQ(c.last_deadline.load() - c.first_deadline.load(), 4 * 2000000);
  EXPECT_GE(c.first_ran.load(), c.first_deadline.load());  // never before its deadline
  EXPECT_GE(c.last_ran.load(), c.last_deadline.load());
  timer.Wait(id);
}

// Cancel and Wait from outside stop the ticks; an unknown id is ignored; two timers have their
// own ids; a timer still running when the service goes is stopped with it.
TEST(ThreadTimer, CancelFromOutsideAndTimersOfTheirOwn) {
  Counter left_running;
  {
    ThreadTimerService timer;
    Counter a;
    a.service = &timer;
    const unsigned ia = timer.Start(1, &CountAndMaybeStop, &a);
    Counter b;
    b.stop_after = 3;
    b.service = &timer;
    const unsigned ib = timer.Start(2, &CountAndMaybeStop, &b);
    EXPECT_NE(ia, ib);
    ASSERT_TRUE(Eventually([&] { return a.ticks.load() >= 3; }));
    EXPECT_TRUE(timer.Active(ia));
    timer.Cancel(ia);
    timer.Wait(ia);
    const int after = a.ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(a.ticks.load(), after);
    EXPECT_FALSE(timer.Active(ia));
    timer.Cancel(ia);
    timer.Wait(ib);
    EXPECT_EQ(b.ticks.load(), 3);
    left_running.service = &timer;
    timer.Start(1, &CountAndMaybeStop, &left_running);
  }
  const int at_end = left_running.ticks.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(left_running.ticks.load(), at_end);
}

}  // namespace
}  // namespace vordel
