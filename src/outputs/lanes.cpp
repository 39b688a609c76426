#include "outputs/lanes.h"

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

const StampedMessage* LaneQueues::Peek() {
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
  if (peeked_ >= 0) {
    rings_[peeked_].Pop();
    peeked_ = -1;
  }
}

void LaneQueues::Clear() {
  for (auto& ring : rings_) {
    while (ring.Front() != nullptr) {
      ring.Pop();
    }
  }
  peeked_ = -1;
}

}  // namespace vordel
