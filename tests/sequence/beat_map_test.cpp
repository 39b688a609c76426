#include "sequence/beat_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "support/pieces.h"

namespace vordel {
namespace {

struct Sample {
  const char* text;
  std::int64_t clock;
};

const Sample kSamples[] = {{"0 80 40 30 25 1 50 30 23 20", 0},
                           {"3 50 40 50 10", 37},
                           {"1 50 50 50 10 1 60 40 30 10 2 70 30 20 10", 5},
                           {"4 60 70 20 30 2 40 55 80 12 0 90 20 95 60", 777},
                           {"0 10 127 99 40", 3}};

double WrittenBeat(const BeatMap& map, const Note& n) {
  return map.section_beat[static_cast<std::size_t>(n.section)] +
         static_cast<double>(n.written_onset) / 48.0;
}

class BeatMapOf : public ::testing::TestWithParam<Sample> {
 protected:
  void SetUp() override {
    piece_ = testing::ComposeText(GetParam().text, GetParam().clock);
    map_ = BuildBeatMap(piece_);
    ASSERT_FALSE(map_.empty());
    ASSERT_EQ(map_.section_beat.size(), piece_.sections().size());
  }
  Piece piece_;
  BeatMap map_;
};

TEST_P(BeatMapOf, RisesThroughThePieceAndEndsWithIt) {
  for (std::size_t i = 1; i < map_.points.size(); ++i) {
    EXPECT_GT(map_.points[i].tick, map_.points[i - 1].tick);
    EXPECT_GT(map_.points[i].beat, map_.points[i - 1].beat);
    EXPECT_GE(map_.points[i].section, map_.points[i - 1].section);
  }
  EXPECT_EQ(map_.points.front().tick, 0);
  EXPECT_EQ(map_.points.front().beat, 0.0);
  EXPECT_EQ(map_.points.back().tick, piece_.end_tick());
  for (std::size_t s = 0; s < map_.section_beat.size(); ++s) {
    EXPECT_EQ(map_.section_beat[s], std::round(map_.section_beat[s])) << "section " << s;
    if (s > 0) {
      EXPECT_GT(map_.section_beat[s], map_.section_beat[s - 1]);
    }
  }
}

// The notes sit on the beats they are written on: every note of the voice that leads exactly,
// the others as near as their own durations' rounding lets them (half of them exactly), and the
// beats run at the tempo the notes are written at nearly all of the time.
TEST_P(BeatMapOf, PutsTheNotesOnTheirWrittenBeats) {
  BeatCursor cursor;
  std::vector<double> off;
  std::map<double, std::int64_t> points;
  for (const BeatPoint& p : map_.points) {
    points[p.beat] = p.tick;
  }
  std::size_t on_points = 0;
  for (const Note& n : piece_.Notes()) {
    if (!n.exact) {
      continue;
    }
    cursor.Reset(&map_);
    const double beat = WrittenBeat(map_, n);
    off.push_back(std::abs(cursor.TickOf(beat) - static_cast<double>(n.onset)));
    const auto point = points.find(beat);
    if (point != points.end() && point->second == n.onset) {
      ++on_points;
      const MusicalPosition at = cursor.At(static_cast<double>(n.onset));
      EXPECT_DOUBLE_EQ(at.beat, beat);
      EXPECT_EQ(at.section, n.section);
      EXPECT_NEAR(at.beat_in_section, static_cast<double>(n.written_onset) / 48.0, 1e-9);
      const PieceSection& s = piece_.sections()[static_cast<std::size_t>(n.section)];
      EXPECT_DOUBLE_EQ(at.tempo, s.tempo / static_cast<double>(n.tempo_factor));
    }
  }
  ASSERT_FALSE(off.empty());
  EXPECT_GE(on_points + 2, map_.points.size() - piece_.sections().size());
  std::sort(off.begin(), off.end());
  EXPECT_LE(off[off.size() / 2], 1.0);
  double in_tempo = 0;
  for (std::size_t i = 0; i + 1 < map_.points.size(); ++i) {
    const BeatPoint& a = map_.points[i];
    const BeatPoint& b = map_.points[i + 1];
    const double ticks = static_cast<double>(b.tick - a.tick);
    if (std::abs((b.beat - a.beat) / ticks * 60000.0 / a.tempo - 1.0) < 0.03) {
      in_tempo += ticks;
    }
  }
  EXPECT_GE(in_tempo / static_cast<double>(piece_.end_tick()), 0.95);
}

// Read forward a tick at a time, as a playback reads it: the beats never go back, the tick of a
// beat gives that beat again, and past the end everything stays at the end.
TEST_P(BeatMapOf, ReadsForwardTickByTick) {
  BeatCursor ticks;
  BeatCursor beats;
  ticks.Reset(&map_);
  beats.Reset(&map_);
  MusicalPosition before;
  for (std::int64_t t = 0; t <= piece_.end_tick() + 5; t += 7) {
    const MusicalPosition at = ticks.At(static_cast<double>(t));
    ASSERT_GE(at.beat, before.beat) << "tick " << t;
    ASSERT_GE(at.section, before.section) << "tick " << t;
    ASSERT_GT(at.tempo, 0.0);
    if (t <= piece_.end_tick()) {
      ASSERT_NEAR(beats.TickOf(at.beat), static_cast<double>(t), 1e-6) << "tick " << t;
    }
    before = at;
  }
  EXPECT_DOUBLE_EQ(before.beat, map_.points.back().beat);
  EXPECT_EQ(before.section, static_cast<int>(piece_.sections().size()) - 1);
}

INSTANTIATE_TEST_SUITE_P(Pieces, BeatMapOf, ::testing::ValuesIn(kSamples));

TEST(BeatMap, OfAnEmptyPieceIsEmptyAndReadsAsTheStart) {
  const BeatMap map = BuildBeatMap(Piece());
  EXPECT_TRUE(map.empty());
  BeatCursor cursor;
  cursor.Reset(&map);
  EXPECT_EQ(cursor.At(100).beat, 0.0);
  EXPECT_EQ(cursor.TickOf(3), 0.0);
}

TEST(BeatMap, OfNotesWithoutWrittenValuesRunsAtTheSectionsTempo) {
  const Piece piece =
      testing::HandPiece({{{1, 60, 80, 0}, {1, 60, 0, 1000}}, {{1, 62, 80, 0}, {1, 62, 0, 500}}});
  const BeatMap map = BuildBeatMap(piece);
  ASSERT_FALSE(map.empty());
  EXPECT_EQ(map.points.back().tick, piece.end_tick());
  EXPECT_EQ(map.section_beat.size(), 2u);
}

}  // namespace
}  // namespace vordel
