// A piece as a value: when each event is sent, the notes it sounds, and the lines that say how
// to make it again.
#include "composer/piece.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/pieces.h"

namespace vordel {
namespace {

using testing::HandPiece;

TEST(Piece, EventsGoInTheTickThatReachesThemSectionAfterSection) {
  // A note end before the piece's start goes in the first tick; the second section's first
  // event, due while the first section still plays, goes at once in the tick after the first
  // section is exhausted; an empty section takes one tick.
  const Piece p =
      HandPiece({{{1, 60, 90, -1}, {1, 60, 0, 10}}, {{2, 62, 90, 5}, {2, 62, 0, 20}}, {}});
  std::vector<std::int64_t> ticks;
  std::vector<std::tuple<std::int64_t, std::int64_t>> sections;
  for (const PieceSection& s : p.sections()) {
    sections.emplace_back(s.first_tick, s.end_tick);
    for (const ComposedEvent& e : s.events) {
      ticks.push_back(e.tick);
    }
  }
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{0, 10, 11, 20}));
  EXPECT_EQ(sections,
            (std::vector<std::tuple<std::int64_t, std::int64_t>>{{0, 10}, {11, 20}, {21, 21}}));
  EXPECT_EQ(p.end_tick(), 21);
  EXPECT_EQ(p.EventCount(), 4u);
}

struct NoteCase {
  const char* what;
  std::vector<testing::HandEvent> events;
  std::vector<std::tuple<int, int, int, std::int64_t, std::int64_t>> notes;  // ch key vel on len
};

class NotesOf : public ::testing::TestWithParam<NoteCase> {};

TEST_P(NotesOf, APiece) {
  const Piece p = HandPiece({GetParam().events});
  std::vector<std::tuple<int, int, int, std::int64_t, std::int64_t>> got;
  for (const Note& n : p.Notes()) {
    got.emplace_back(n.channel, n.key, n.velocity, n.onset, n.length);
    EXPECT_EQ(n.section, 0);
  }
  EXPECT_EQ(got, GetParam().notes) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotesOf,
    ::testing::Values(
        NoteCase{"channels 3 and 4 sound an octave lower",
                 {{3, 64, 90, 0}, {4, 64, 80, 0}, {3, 64, 0, 7}, {4, 64, 0, 9}},
                 {{3, 52, 90, 0, 7}, {4, 52, 80, 0, 9}}},
        NoteCase{"velocities stay audible; keys outside the MIDI range sound as 60",
                 {{1, 200, 300, 0}, {2, 0, -5, 1}, {1, 200, 0, 4}, {2, 0, 0, 5}},
                 {{1, 60, 127, 0, 4}, {2, 60, 1, 1, 4}}},
        NoteCase{"a key started twice ends oldest first",
                 {{1, 60, 90, 0}, {1, 60, 70, 2}, {1, 60, 0, 3}, {1, 60, 0, 8}},
                 {{1, 60, 90, 0, 3}, {1, 60, 70, 2, 6}}},
        NoteCase{"an end before any start ends nothing; a start never ended lasts to the end",
                 {{2, 62, 0, 0}, {2, 62, 50, 1}, {1, 60, 40, 1}, {1, 60, 0, 4}},
                 {{2, 62, 50, 1, 3}, {1, 60, 40, 1, 3}}},
        NoteCase{"the same key on two channels is two notes",
                 {{1, 60, 90, 0}, {2, 60, 90, 0}, {2, 60, 0, 1}, {1, 60, 0, 6}},
                 {{1, 60, 90, 0, 6}, {2, 60, 90, 0, 1}}}),
    [](const ::testing::TestParamInfo<NoteCase>& info) {
      return "case" + std::to_string(info.index);
    });

TEST(Piece, SaysHowToMakeItAgain) {
  const Piece p = testing::ComposeText(" +1\t02 -3 abc 9\r\n7", 5);
  EXPECT_EQ(p.Reproduce(), "vordel-compose --clock 5 --dump '1 2 -3 0 9 7'");
  EXPECT_EQ(testing::ComposeText("1 2 3 4 5", 1234, true).Reproduce(),
            "vordel-compose --clock 1234 --rest-planner-started --dump '1 2 3 4 5'");
  EXPECT_EQ(Piece().Reproduce(), "");
  EXPECT_EQ(HandPiece({{}, {}}, 51834).PositionLine(),
            "[SetPosition] Playing from object: 1 / TotTime: 51834 / TotObj: 2 / CurObj: 1 / "
            "Offset: 0");
  // Another ensemble shares the piece and changes only the tracks.
  const Piece strings = p.WithEnsemble(1);
  EXPECT_EQ(strings.tracks()[0].Patch, 41);
  EXPECT_EQ(p.tracks()[0].Patch, 61);
  EXPECT_EQ(strings.Notes().data(), p.Notes().data());
  EXPECT_EQ(p.WithEnsemble(7).ensemble(), 0);
  EXPECT_STREQ(EnsembleName(2), "Woodwinds");
  EXPECT_STREQ(EnsembleName(3), "BrassWood");  // a number out of range: the first
  EXPECT_STREQ(EnsembleName(-1), "BrassWood");
}

TEST(Piece, SectionsKnowTheirTempoAndBeat) {
  const Piece p = testing::ComposeText("0 80 40 30 25 1 50 30 23 20", 0);
  ASSERT_EQ(p.sections().size(), 2u);
  EXPECT_EQ(p.sections()[0].tempo, 360);
  EXPECT_DOUBLE_EQ(p.sections()[0].beat_ms, 166.5);  // the whole note is 666 ms
  EXPECT_EQ(p.sections()[1].tempo, 400);
  EXPECT_DOUBLE_EQ(p.sections()[1].beat_ms, 150.0);
  EXPECT_EQ(p.sections()[1].function, 1);
  // The first ends with a fermata of 600 ms, which its end includes; the second follows.
  EXPECT_EQ(p.sections()[1].onset, p.sections()[0].end);
  EXPECT_EQ(p.total_ms(), p.sections()[1].end);
}

}  // namespace
}  // namespace vordel
