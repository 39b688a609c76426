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

// A panic (the process is about to die): whatever waits is never delivered; instead a Note Off
// for every key of channels 1-4, then All Notes Off on all sixteen, all due when it was asked
// for; then nothing, whatever the lanes are sent.
TEST(LaneQueues, APanicEndsEveryNoteInsteadOfWhatWaits) {
  LaneQueues q(8, 8);
  q.Push(Lane::kPlayer, Note(1), 100);
  q.Push(Lane::kControl, Note(2), 50);
  q.Panic(500);
  q.Panic(900);  // only the first counts
  q.Push(Lane::kPlayer, Note(3), 600);
  std::vector<MidiMessage> out;
  while (const StampedMessage* m = q.Peek()) {
    EXPECT_EQ(m->due_ns, 500);
    EXPECT_FALSE(q.Panicked());
    out.push_back(m->message);
    q.Pop();
  }
  EXPECT_TRUE(q.Panicked());
  EXPECT_TRUE(q.WaitPanicked(0));
  ASSERT_EQ(out.size(), static_cast<std::size_t>(LaneQueues::kPanicMessages));
  for (int ch = 0; ch < 4; ++ch) {
    for (int key = 0; key < 128; ++key) {
      EXPECT_EQ(out[static_cast<std::size_t>(ch * 128 + key)],
                (MidiMessage{
                    {static_cast<std::uint8_t>(0x80 | ch), static_cast<std::uint8_t>(key), 0}, 3}));
    }
  }
  for (int ch = 0; ch < 16; ++ch) {
    EXPECT_EQ(out[static_cast<std::size_t>(4 * 128 + ch)],
              (MidiMessage{{static_cast<std::uint8_t>(0xB0 | ch), 123, 0}, 3}));
  }
}

}  // namespace
}  // namespace vordel
