// A piece as a value: when each event is sent, the notes it sounds, and the lines that say how
// to make it again.
#include "composer/piece.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
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

// The written time is carried from the codes, never measured: checked against the milliseconds
// it was not made from. Each note lasts its value at its tempo factor (half of it when the
// composer halved it, held notes aside); from one note of a voice to its next, at the tempo of
// their part, the written values and rests between them last what the milliseconds say, and
// the planners' rests fill the written time between them; each part begins on a beat, after
// the one before.
TEST(WrittenTime, AgreesWithTheMilliseconds) {
  std::vector<std::pair<std::string, std::int64_t>> strings = {
      {"0 80 40 30 25 1 50 30 23 20", 0},
      {"3 50 40 50 10", 37},
      {"1 50 50 50 10 1 60 40 30 10 2 70 30 20 10", 5},
      {"4 60 70 20 30 2 40 55 80 12 0 90 20 95 60", 777},
      {"0 10 127 99 40", 3}};
  const std::vector<testing::CorpusPiece> corpus = testing::LoadCorpus();
  for (std::size_t i = 0; i < corpus.size(); i += 40) {
    strings.emplace_back(corpus[i].text, corpus[i].clock);
  }
  std::size_t exact = 0;
  std::size_t written = 0;
  std::size_t rests_between = 0;
  for (const auto& [text, clock] : strings) {
    const Piece piece = testing::ComposeText(text, clock);
    const std::string label = "'" + text + "' at " + std::to_string(clock);
    for (const PieceSection& s : piece.sections()) {
      for (std::size_t p = 1; p < 3; ++p) {
        EXPECT_EQ(s.part_start[p] % 48, 0) << label;
        EXPECT_GE(s.part_start[p], s.part_start[p - 1]) << label;
      }
    }
    std::vector<const Note*> last(5, nullptr);
    for (const Note& n : piece.Notes()) {
      if (n.value == 0) {
        continue;
      }
      ++written;
      const PieceSection& s = piece.sections()[static_cast<std::size_t>(n.section)];
      const double unit_ms = static_cast<double>(240000 / s.tempo) / 192.0;
      const double lasts = n.value * n.tempo_factor * unit_ms / (n.staccato ? 2.0 : 1.0);
      if (!n.held) {
        // The table's truncations, stretched by the factor, and the note's last millisecond.
        EXPECT_NEAR(static_cast<double>(n.length), lasts, 2.0 * n.tempo_factor + 2.0) << label;
      }
      const Note* before = last[static_cast<std::size_t>(n.channel)];
      if (before != nullptr && before->section == n.section && before->part == n.part &&
          before->exact && n.exact && before->onset < n.onset) {
        ++exact;
        const double factor = s.part_factor[static_cast<std::size_t>(n.part)];
        const double between =
            static_cast<double>(n.written_onset - before->written_onset) * factor * unit_ms;
        // A note's and a rest's truncations, stretched by the factor.
        EXPECT_NEAR(static_cast<double>(n.onset - before->onset), between, 4.0 * factor + 1.0)
            << label;
        // What lies between them in written time is the planners' rests.
        std::int64_t rests = 0;
        for (const PlannedRest& r : s.rests) {
          const std::int64_t at = s.part_start[static_cast<std::size_t>(r.part)] + r.onset;
          if (r.channel == n.channel && r.part == n.part && at >= before->written_onset &&
              at < n.written_onset) {
            rests += r.value;
          }
        }
        if (before->value > 0) {
          EXPECT_EQ(n.written_onset - before->written_onset - before->value, rests) << label;
          rests_between += rests > 0 ? 1 : 0;
        }
      }
      last[static_cast<std::size_t>(n.channel)] = &n;
    }
  }
  EXPECT_GT(exact, written / 2);  // most notes are at their part's tempo
  EXPECT_GT(rests_between, 10u);
}

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
