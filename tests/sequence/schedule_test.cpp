#include "sequence/schedule.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/pieces.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;
using testing::HandPiece;

Bytes B(const MidiMessage& m) {
  return Bytes(m.bytes, m.bytes + m.size);
}

TEST(Schedule, TheBytesAndTicksThePlayerSends) {
  // Channels 3 and up an octave lower, starts and ends alike; velocities kept audible; each
  // message at the tick the piece gives its event, section after section.
  const Piece piece = HandPiece({{{3, 64, 90, 0},
                                  {3, 64, 0, 1},
                                  {1, 60, 300, 2},
                                  {1, 61, -5, 2},
                                  {1, 62, 256, 2},
                                  {4, 12, 80, 3}},
                                 {{2, 70, 60, 1}, {2, 70, 0, 9}}},
                                0, 2);
  const Schedule s = BuildSchedule(piece);
  std::vector<std::pair<std::int64_t, Bytes>> got;
  for (const ScheduledMessage& m : s.messages) {
    got.emplace_back(m.tick, B(m.message));
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::int64_t, Bytes>>{{0, {0x92, 52, 90}},
                                                              {1, {0x82, 52, 0}},
                                                              {2, {0x90, 60, 127}},
                                                              {2, {0x90, 61, 1}},
                                                              {2, {0x90, 62, 127}},
                                                              {3, {0x93, 60, 80}},
                                                              {4, {0x91, 70, 60}},
                                                              {9, {0x81, 70, 0}}}));
  EXPECT_EQ(s.object_end_ticks, (std::vector<std::int64_t>{3, 9}));
  EXPECT_EQ(s.end_tick, 9);
  EXPECT_EQ(s.Objects(), 2);
  // The piece's ensemble (2, Woodwinds): program, pan and volume, channel by channel.
  EXPECT_EQ(B(s.ensemble[0]), (Bytes{0xC0, 73}));
  EXPECT_EQ(B(s.ensemble[1]), (Bytes{0xB0, 10, 30}));
  EXPECT_EQ(B(s.ensemble[2]), (Bytes{0xB0, 7, 100}));
  EXPECT_EQ(B(s.ensemble[9]), (Bytes{0xC3, 42}));
  EXPECT_EQ(B(BuildSchedule(piece.WithEnsemble(0)).ensemble[9]), (Bytes{0xC3, 45}));
}

TEST(Schedule, WalkGivesTheEnsembleFirstThenEveryMessageAtItsTick) {
  const Schedule s =
      BuildSchedule(HandPiece({{{1, 60, 90, 0}, {2, 62, 90, 0}, {1, 60, 0, 5}, {2, 62, 0, 7}}}));
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
  EXPECT_EQ(cursor.NextTick(), 5);
  EXPECT_EQ(cursor.SendDue(6, [&](const MidiMessage&) { ++sent; }), 1);
  cursor.Rewind();
  EXPECT_EQ(cursor.SendDue(100, [&](const MidiMessage&) { ++sent; }), 4);
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_TRUE(ScheduleCursor().AtEnd());
}

}  // namespace
}  // namespace vordel
