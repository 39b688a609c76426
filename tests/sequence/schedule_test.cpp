#include "sequence/schedule.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/pieces.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

class ScheduleOf : public ::testing::Test {
 protected:
  void Add(const std::vector<testing::HandEvent>& events) { AddObjectWith(piece_, events); }
  static Bytes B(const MidiMessage& m) { return Bytes(m.bytes, m.bytes + m.size); }
  testing::CoutCapture quiet_;
  testing::TestPiece piece_;
};

TEST_F(ScheduleOf, EventsGoInTheTickThatReachesThemObjectAfterObject) {
  // A note end before the piece's start goes in the first tick; the second object's first
  // event, due while the first object still plays, goes at once in the tick after the first
  // object is exhausted; an empty object takes one tick.
  Add({{1, 60, 90, -1}, {1, 60, 0, 10}});
  Add({{2, 62, 90, 5}, {2, 62, 0, 20}});
  Add({});
  const Schedule s = BuildSchedule(piece_);
  ASSERT_EQ(s.messages.size(), 4u);
  EXPECT_EQ(s.messages[0].tick, 0);
  EXPECT_EQ(s.messages[1].tick, 10);
  EXPECT_EQ(s.messages[2].tick, 11);
  EXPECT_EQ(s.messages[3].tick, 20);
  EXPECT_EQ(s.object_end_ticks, (std::vector<std::int64_t>{10, 20, 21}));
  EXPECT_EQ(s.end_tick, 21);
  const std::vector<NoteSpan> spans = NoteSpans(s);
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[1].start, 11);
  EXPECT_EQ(spans[1].end, 20);
  EXPECT_EQ(spans[1].channel, 2);
}

TEST_F(ScheduleOf, BytesAreTheOnesThePlayerSends) {
  // Channels 3 and up an octave lower, starts and ends alike; velocities kept audible.
  Add({{3, 64, 90, 0},
       {3, 64, 0, 1},
       {1, 60, 300, 2},
       {1, 61, -5, 2},
       {1, 62, 256, 2},
       {4, 12, 80, 3}});
  const Schedule s = BuildSchedule(piece_);
  std::vector<Bytes> got;
  for (const ScheduledMessage& m : s.messages) {
    got.push_back(B(m.message));
  }
  EXPECT_EQ(got, (std::vector<Bytes>{{0x92, 52, 90},
                                     {0x82, 52, 0},
                                     {0x90, 60, 127},
                                     {0x90, 61, 1},
                                     {0x90, 62, 127},
                                     {0x93, 60, 80}}));
  // Ensemble 0: program, pan and volume, channel by channel.
  EXPECT_EQ(B(s.ensemble[0]), (Bytes{0xC0, 60}));
  EXPECT_EQ(B(s.ensemble[1]), (Bytes{0xB0, 10, 30}));
  EXPECT_EQ(B(s.ensemble[2]), (Bytes{0xB0, 7, 100}));
  EXPECT_EQ(B(s.ensemble[9]), (Bytes{0xC3, 45}));
  piece_.ChooseEnsemble(2);
  EXPECT_EQ(B(BuildSchedule(piece_).ensemble[0]), (Bytes{0xC0, 73}));  // Flute
}

TEST_F(ScheduleOf, WalkGivesTheEnsembleFirstThenEveryMessageAtItsTick) {
  Add({{1, 60, 90, 0}, {2, 62, 90, 0}, {1, 60, 0, 5}, {2, 62, 0, 7}});
  const Schedule s = BuildSchedule(piece_);
  std::vector<std::pair<std::int64_t, Bytes>> walked;
  WalkSchedule(s,
               [&](std::int64_t tick, const MidiMessage& m) { walked.emplace_back(tick, B(m)); });
  ASSERT_EQ(walked.size(), 12u + 4u);
  EXPECT_EQ(walked[0], (std::pair<std::int64_t, Bytes>{0, {0xC0, 60}}));
  EXPECT_EQ(walked[12], (std::pair<std::int64_t, Bytes>{0, {0x90, 60, 90}}));
  EXPECT_EQ(walked[15], (std::pair<std::int64_t, Bytes>{7, {0x81, 62, 0}}));
  // The cursor the player uses sends exactly what is due.
  ScheduleCursor cursor(&s);
  int sent = 0;
  EXPECT_EQ(cursor.SendDue(4, [&](const MidiMessage&) { ++sent; }), 2);
  EXPECT_EQ(cursor.SendDue(6, [&](const MidiMessage&) { ++sent; }), 1);
  cursor.Rewind();
  EXPECT_EQ(cursor.SendDue(100, [&](const MidiMessage&) { ++sent; }), 4);
  EXPECT_TRUE(cursor.AtEnd());
}

TEST_F(ScheduleOf, DensestSecond) {
  Add({{1, 60, 90, 0}, {1, 60, 0, 999}, {1, 61, 90, 1000}, {1, 61, 0, 1001}, {1, 62, 90, 1500}});
  EXPECT_EQ(DensestSecond(BuildSchedule(piece_)), 4);  // ticks 999 to 1500
  EXPECT_EQ(DensestSecond(Schedule{}), 0);
}

}  // namespace
}  // namespace vordel
