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
