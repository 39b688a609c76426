#include "app/piano_roll.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

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
