#include "outputs/lanes.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

MidiMessage Note(int key) {
  return NoteMessage(1, static_cast<unsigned char>(key), 90);
}

TEST(LaneQueues, TheEarliestOfBothLanesComesFirst) {
  LaneQueues q(8, 8);
  q.Push(Lane::kPlayer, Note(1), 100);
  q.Push(Lane::kPlayer, Note(2), 300);
  q.Push(Lane::kControl, Note(3), 200);
  q.Push(Lane::kControl, Note(4), 300);  // a tie: the control lane's message first
  std::vector<int> order;
  while (const StampedMessage* m = q.Peek()) {
    order.push_back(m->message.bytes[1]);
    q.Pop();
  }
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 2}));
  EXPECT_TRUE(q.Empty());
}

TEST(LaneQueues, AFullLaneDropsAndCountsWithoutTouchingTheOther) {
  LaneQueues q(2, 2);
  EXPECT_TRUE(q.Push(Lane::kPlayer, Note(1), 1));
  EXPECT_TRUE(q.Push(Lane::kPlayer, Note(2), 2));
  EXPECT_FALSE(q.Push(Lane::kPlayer, Note(3), 3));
  EXPECT_TRUE(q.Push(Lane::kControl, Note(4), 4));
  EXPECT_EQ(q.Dropped(), 1u);
  q.Clear();
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.Peek(), nullptr);
}

}  // namespace
}  // namespace vordel
