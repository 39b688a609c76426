#include "outputs/lanes.h"

#include "platform/clock.h"

namespace vordel {

LaneQueues::LaneQueues(std::size_t player_capacity, std::size_t control_capacity)
    : rings_{SpscRing<StampedMessage>(player_capacity),
             SpscRing<StampedMessage>(control_capacity)} {}

bool LaneQueues::Push(Lane lane, const MidiMessage& message, std::int64_t due_ns) {
  if (!rings_[static_cast<int>(lane)].Push(StampedMessage{due_ns, message})) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  return true;
}

namespace {

constexpr int kPeekedPanic = kLaneCount;

}  // namespace

void LaneQueues::Panic(std::int64_t now_ns) {
  std::int64_t expected = 0;
  panic_at_.compare_exchange_strong(expected, now_ns != 0 ? now_ns : 1, std::memory_order_acq_rel);
}

bool LaneQueues::WaitPanicked(std::int64_t deadline_ns) const {
  while (!Panicked() && MonotonicNanos() < deadline_ns) {
    SleepUntilNanos(MonotonicNanos() + kNanosPerMilli);
  }
  return Panicked();
}

const StampedMessage* LaneQueues::Peek() {
  if (const std::int64_t at = panic_at_.load(std::memory_order_acquire); at != 0) {
    if (panic_next_ >= kPanicMessages) {
      peeked_ = -1;
      return nullptr;
    }
    MidiMessage& m = panic_message_.message;
    m.size = 3;
    if (panic_next_ < 4 * 128) {
      m.bytes[0] = static_cast<std::uint8_t>(0x80 | (panic_next_ / 128));
      m.bytes[1] = static_cast<std::uint8_t>(panic_next_ % 128);
      m.bytes[2] = 0;
    } else {
      m.bytes[0] = static_cast<std::uint8_t>(0xB0 | (panic_next_ - 4 * 128));
      m.bytes[1] = 123;
      m.bytes[2] = 0;
    }
    panic_message_.due_ns = at;
    peeked_ = kPeekedPanic;
    return &panic_message_;
  }
  const StampedMessage* player = rings_[0].Front();
  const StampedMessage* control = rings_[1].Front();
  if (control != nullptr && (player == nullptr || control->due_ns <= player->due_ns)) {
    peeked_ = 1;
    return control;
  }
  peeked_ = player != nullptr ? 0 : -1;
  return player;
}

void LaneQueues::Pop() {
  if (peeked_ == kPeekedPanic) {
    if (++panic_next_ == kPanicMessages) {
      panicked_.store(true, std::memory_order_release);
    }
    peeked_ = -1;
    return;
  }
  if (peeked_ >= 0) {
    rings_[peeked_].Pop();
    peeked_ = -1;
  }
}

void LaneQueues::Clear() {
  for (auto& ring : rings_) {
    while (ring.Front() != nullptr) {
      ring.Pop();
      dropped_.fetch_add(1, std::memory_order_relaxed);  // never delivered: lost, and said so
    }
  }
  peeked_ = -1;
}

}  // namespace vordel
