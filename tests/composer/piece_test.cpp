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

}  // namespace
}  // namespace vordel
