// The two lanes of an output (the player's tick and the control thread), each a single-producer
// ring of stamped messages, emptied by the output's one consumer (its delivery thread or its
// JACK process callback) in due-time order across both. Push is for a lane's producer, Panic for
// any thread, the rest for the consumer; all of it is real-time safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "midi/output.h"
#include "platform/spsc_ring.h"

namespace vordel {

// Room on the player's lane for the densest second a legal piece can make (every one of its
// events could fall into the same tick) plus the messages that end a playback.
inline constexpr std::size_t kPlayerLaneCapacity = std::size_t{1} << 20;
inline constexpr std::size_t kControlLaneCapacity = std::size_t{1} << 14;

struct StampedMessage {
  std::int64_t due_ns = 0;
  MidiMessage message;
};

class LaneQueues {
 public:
  explicit LaneQueues(std::size_t player_capacity = kPlayerLaneCapacity,
                      std::size_t control_capacity = kControlLaneCapacity);

  // Producer of `lane`: false (and counted as dropped) when the lane is full.
  bool Push(Lane lane, const MidiMessage& message, std::int64_t due_ns);

  // Consumer: the earliest waiting message of both lanes (null when both are empty). On equal
  // due times the control lane goes first.
  const StampedMessage* Peek();
  // Consumer: removes the message the last Peek returned.
  void Pop();
  // Consumer: throws away everything waiting (stale messages of a device that went away, what
  // could not be delivered before a close), counted as dropped.
  void Clear();

  bool Empty() const { return rings_[0].Size() == 0 && rings_[1].Size() == 0; }
  std::uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

  // Any thread, for a process about to die: from now on the consumer gets the messages that end
  // every note (a Note Off for each key of channels 1-4, where the pieces play, then All Notes
  // Off on all sixteen), made on the spot and due at `now_ns`, instead of anything the lanes
  // hold; after them, nothing. Only the first call counts.
  void Panic(std::int64_t now_ns);
  // Whether the consumer has taken the last of them.
  bool Panicked() const { return panicked_.load(std::memory_order_acquire); }
  // Not the consumer: waits until it has, but not past the monotonic `deadline_ns`; whether it
  // has.
  bool WaitPanicked(std::int64_t deadline_ns) const;
  static constexpr int kPanicMessages = 4 * 128 + 16;

 private:
  SpscRing<StampedMessage> rings_[kLaneCount];
  int peeked_ = -1;
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<std::int64_t> panic_at_{0};
  int panic_next_ = 0;  // consumer
  StampedMessage panic_message_;
  std::atomic<bool> panicked_{false};
};

}  // namespace vordel
