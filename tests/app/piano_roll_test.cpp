#include "app/piano_roll.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "support/pieces.h"

namespace vordel {
namespace {

TEST(PianoRoll, TimeLabelsAndAxisSteps) {
  EXPECT_EQ(PianoRoll::TimeLabel(0), "0:00");
  EXPECT_EQ(PianoRoll::TimeLabel(61'999), "1:01");
  EXPECT_EQ(PianoRoll::TimeLabel(35 * 60'000), "35:00");
  EXPECT_EQ(PianoRoll::TimeLabel(4 * 3'600'000 + 5'000), "4:00:05");
  EXPECT_EQ(PianoRoll::AxisStep(60'000, 10), 10'000);
  EXPECT_EQ(PianoRoll::AxisStep(35 * 60'000, 10), 300'000);
  EXPECT_EQ(PianoRoll::AxisStep(4 * 3'600'000, 8), 1'800'000);
}

// Labels never overlap: a crowded one takes its short form or is left out, and the last one
// moves in rather than being cut at the edge.
TEST(PianoRoll, LabelsFitWithoutOverlapping) {
  using Kept = std::vector<std::pair<int, std::string>>;
  const struct {
    std::vector<PianoRoll::Label> labels;
    Kept kept;
  } kCases[] = {
      {{{10, "1 Statement", 60, "1", 6}, {100, "2 Preparation", 70, "2", 6}},
       {{10, "1 Statement"}, {100, "2 Preparation"}}},
      {{{10, "1 Statement", 60, "1", 6}, {40, "2 Preparation", 70, "2", 6}},
       {{10, "1"}, {40, "2 Preparation"}}},  // crowded: the number alone
      {{{10, "1 Statement", 60, "1", 6},
        {72, "2 Preparation", 70, "2", 6},
        {90, "3 Extension", 60, "3", 6}},
       {{10, "1"}, {72, "2"}, {90, "3 Extension"}}},
      {{{5, "1 Statement", 60, "1", 6}, {7, "2 Preparation", 70, "2", 6}},
       {{5, "1"}}},  // no room even for the number: left out
      {{{170, "4:00", 24, "", 0}, {195, "5:00", 24, "", 0}},
       {{170, "4:00"}}},  // moved in to end at 200, it would touch the one before
      {{{100, "4:00", 24, "", 0}, {190, "5:00", 24, "", 0}},
       {{100, "4:00"}, {176, "5:00"}}},  // moved in, not cut
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(PianoRoll::FitLabels(c.labels, 0, 200, 4), c.kept);
  }
}

// Notes of the four channels on one key at one time each keep a strip of their own.
TEST(PianoRoll, NotesOfEveryChannelShowOnTheSameKey) {
  for (const int row : {1, 2, 4, 8, 13}) {
    std::vector<std::pair<int, int>> bands;
    for (int channel = 1; channel <= 4; ++channel) {
      const auto [offset, height] = PianoRoll::NoteBand(row, channel);
      EXPECT_GE(height, 1);
      EXPECT_LE(offset + height, std::max(row, 1)) << row << " " << channel;
      bands.emplace_back(offset, height);
    }
    if (row >= 4) {
      for (std::size_t c = 1; c < bands.size(); ++c) {
        EXPECT_GT(bands[c].first, bands[c - 1].first) << row;  // each one's top edge shows
      }
    }
  }
}

TEST(PianoRoll, ShortPiecesShowWholeLongOnesAWindowThatFollowsThePlayhead) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);  // painting needs an application, not a display
  int argc = 1;
  char name[] = "vordel-app-tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  PianoRoll roll;
  roll.SetPiece(1, testing::HandPiece({{{1, 60, 90, 0}, {1, 60, 0, 120'000}}}));
  EXPECT_EQ(roll.ViewLength(), 120'000);
  roll.SetPiece(2, testing::HandPiece({{{1, 60, 90, 0}, {1, 60, 0, 35 * 60'000}}}));
  EXPECT_EQ(roll.ViewLength(), 120'000);
  QImage image(400, 200, QImage::Format_RGB32);
  QPainter painter(&image);
  roll.Draw(painter, QRect(0, 0, 400, 200), 0);
  EXPECT_EQ(roll.ViewStart(), 0);
  roll.Draw(painter, QRect(0, 0, 400, 200), 20 * 60'000);
  EXPECT_LE(roll.ViewStart(), 20 * 60'000);
  EXPECT_GT(roll.ViewStart() + roll.ViewLength(), 20 * 60'000);  // the playhead is in view
  roll.Draw(painter, QRect(0, 0, 400, 200), 35 * 60'000);
  EXPECT_EQ(roll.ViewStart() + roll.ViewLength(), 35 * 60'000);  // the end, not beyond
  roll.Zoom(3);
  EXPECT_LT(roll.ViewLength(), 120'000);
  roll.Zoom(-100);
  EXPECT_EQ(roll.ViewLength(), 35 * 60'000);  // out to the whole piece, no further
}

}  // namespace
}  // namespace vordel
