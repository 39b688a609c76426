#include "platform/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vordel {
namespace {

struct Counter {
  std::atomic<int> ticks{0};
  int stop_after = 0;
  TimerService* service = nullptr;
  std::atomic<std::thread::id> thread{};
  std::atomic<std::int64_t> first_deadline{0};
  std::atomic<std::int64_t> last_deadline{0};
};

void CountAndMaybeStop(unsigned id, void* user, std::int64_t deadline) {
  auto* c = static_cast<Counter*>(user);
  c->thread.store(std::this_thread::get_id());
  if (c->first_deadline.load() == 0) {
    c->first_deadline.store(deadline);
  }
  c->last_deadline.store(deadline);
  if (c->ticks.fetch_add(1) + 1 == c->stop_after) {
    c->service->Cancel(id);  // from inside: must not wait for this very callback
  }
}

TEST(ThreadTimer, CancelFromInsideTheCallbackEndsAfterThatTick) {
  ThreadTimerService timer;
  Counter c;
  c.stop_after = 5;
  c.service = &timer;
  const unsigned id = timer.Start(1, &CountAndMaybeStop, &c);
  ASSERT_NE(id, 0u);
  timer.Wait(id);
  EXPECT_EQ(c.ticks.load(), 5);
  EXPECT_NE(c.thread.load(), std::this_thread::get_id());
  EXPECT_FALSE(timer.Active(id));
  // Each tick carries its own deadline, one period after the one before, however late it ran.
  EXPECT_EQ(c.last_deadline.load() - c.first_deadline.load(), 4 * 1000000);
}

TEST(ThreadTimer, CancelFromOutsideThenWaitStopsTheTicks) {
  ThreadTimerService timer;
  Counter c;
  c.service = &timer;
  const unsigned id = timer.Start(1, &CountAndMaybeStop, &c);
  while (c.ticks.load() < 3) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(timer.Active(id));
  timer.Cancel(id);
  timer.Wait(id);
  const int after = c.ticks.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(c.ticks.load(), after);
  EXPECT_FALSE(timer.Active(id));  // gone
  timer.Cancel(id);                // and an unknown id is ignored
}

TEST(ThreadTimer, TwoTimersHaveTheirOwnIds) {
  ThreadTimerService timer;
  Counter a;
  Counter b;
  a.stop_after = 2;
  b.stop_after = 3;
  a.service = b.service = &timer;
  const unsigned ia = timer.Start(1, &CountAndMaybeStop, &a);
  const unsigned ib = timer.Start(2, &CountAndMaybeStop, &b);
  EXPECT_NE(ia, ib);
  timer.Wait(ia);
  timer.Wait(ib);
  EXPECT_EQ(a.ticks.load(), 2);
  EXPECT_EQ(b.ticks.load(), 3);
}

}  // namespace
}  // namespace vordel
