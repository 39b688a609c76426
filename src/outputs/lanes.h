// The two lanes of an output (the player's tick and the control thread), each a single-producer
// ring of stamped messages, emptied by the output's one consumer (its delivery thread or its
// JACK process callback) in due-time order across both. Push is for a lane's producer, the rest
// for the consumer; all of it is real-time safe.
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
  // Consumer: throws away everything waiting (stale messages of a device that went away).
  void Clear();

  bool Empty() const { return rings_[0].Size() == 0 && rings_[1].Size() == 0; }
  std::uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  SpscRing<StampedMessage> rings_[kLaneCount];
  int peeked_ = -1;
  std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace vordel
