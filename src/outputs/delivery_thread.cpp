#include "outputs/delivery_thread.h"

#include <time.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/realtime.h"

namespace vordel {
namespace {

// At close, what is due later than this is not waited for.
constexpr std::int64_t kCloseGrace = 1000 * kNanosPerMilli;
// How long a panic waits for its messages to be delivered, and then for a device to play them.
constexpr std::int64_t kPanicWait = 500 * kNanosPerMilli;
constexpr std::int64_t kPanicAfter = 20 * kNanosPerMilli;

void WaitUntil(sem_t* sem, std::int64_t deadline_ns) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(deadline_ns / 1000000000);
  ts.tv_nsec = static_cast<long>(deadline_ns % 1000000000);
  sem_clockwait(sem, CLOCK_MONOTONIC, &ts);
}

}  // namespace

DeliveryThreadOutput::DeliveryThreadOutput(Timing timing, std::int64_t latency_ns, bool real_time)
    : timing_(timing), latency_ns_(latency_ns), real_time_(real_time) {
  sem_init(&wake_, 0, 0);
}

DeliveryThreadOutput::~DeliveryThreadOutput() {
  // A derived class closes in its own destructor; this only makes sure the thread is gone.
  if (thread_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    sem_post(&wake_);
    thread_.join();
  }
  sem_destroy(&wake_);
}

void DeliveryThreadOutput::Start() {
  thread_ = std::thread([this] { Run(); });
}

unsigned DeliveryThreadOutput::Send(Lane lane, const MidiMessage& message, std::int64_t due_ns) {
  if (!queues_.Push(lane, message, due_ns)) {
    return kMidiErrorNotReady;
  }
  pending_[static_cast<int>(lane)].store(true, std::memory_order_relaxed);
  return Status();
}

void DeliveryThreadOutput::Commit(Lane lane) {
  // One wake-up per burst, not per message.
  if (pending_[static_cast<int>(lane)].exchange(false, std::memory_order_acq_rel)) {
    sem_post(&wake_);
  }
}

void DeliveryThreadOutput::Run() {
  if (real_time_) {
    TryRealTime(RealTimeRole::kDelivery);
  }
  const std::int64_t interval = CheckIntervalNanos();
  std::int64_t next_check = MonotonicNanos() + interval;
  std::int64_t give_up_after = 0;  // set when closing
  for (;;) {
    const std::int64_t now = MonotonicNanos();
    if (now >= next_check) {
      CheckDevice();
      next_check = now + interval;
    }
    const bool stopping = stopping_.load(std::memory_order_acquire);
    if (stopping && give_up_after == 0) {
      give_up_after = now + kCloseGrace;
    }
    std::int64_t wake_at = next_check;
    if (const StampedMessage* head = queues_.Peek()) {
      const std::int64_t at =
          timing_ == Timing::kAtDueTime ? head->due_ns + latency_ns_ : head->due_ns;
      if (timing_ == Timing::kWhenQueued || at <= now || (stopping && at > give_up_after)) {
        if (!(stopping && at > give_up_after)) {
          const unsigned r = Deliver(head->message, head->due_ns);
          if (r != kMidiOk) {
            SetStatus(r);
          }
        }
        queues_.Pop();
        if (queues_.Panicked() && !panic_settled_.load(std::memory_order_relaxed)) {
          CheckDevice();  // the device settles what it was handed (a recording is flushed)
          panic_settled_.store(true, std::memory_order_release);
        }
        continue;
      }
      wake_at = std::min(wake_at, at);
    } else if (stopping) {
      return;
    }
    WaitUntil(&wake_, wake_at);
  }
}

void DeliveryThreadOutput::Panic() {
  const std::int64_t now = MonotonicNanos();
  queues_.Panic(now);
  sem_post(&wake_);
  // Delivered at their due time plus the latency (or at once, to a device that schedules them
  // that much later): then they have sounded.
  const std::int64_t give_up = now + latency_ns_ + kPanicWait;
  while (thread_.joinable() && !panic_settled_.load(std::memory_order_acquire) &&
         MonotonicNanos() < give_up) {
    SleepUntilNanos(MonotonicNanos() + kNanosPerMilli);
  }
  if (panic_settled_.load(std::memory_order_acquire)) {
    SleepUntilNanos(MonotonicNanos() + latency_ns_ + kPanicAfter);
  }
}

void DeliveryThreadOutput::Close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  if (thread_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    sem_post(&wake_);
    thread_.join();
  }
  CloseDevice();
}

}  // namespace vordel
