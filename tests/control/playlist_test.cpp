#include "control/playlist.h"

#include <gtest/gtest.h>

#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

struct LineCase {
  const char* line;
  const char* canonical;  // "" when the line is skipped
  std::int64_t clock;     // -1: not pinned
  bool started;
  const char* reason;  // part of why it is skipped
};

class PlaylistLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(PlaylistLine, IsAPieceOrSaysWhyNot) {
  const LineCase& c = GetParam();
  const Playlist list = ParsePlaylist(std::string("# a comment\n\n") + c.line + "\n", "list");
  if (*c.canonical == '\0') {
    EXPECT_TRUE(list.entries.empty());
    ASSERT_EQ(list.skipped.size(), 1u);
    EXPECT_EQ(list.skipped[0].rfind("list:3: ", 0), 0u) << list.skipped[0];
    EXPECT_NE(list.skipped[0].find(c.reason), std::string::npos) << list.skipped[0];
    return;
  }
  ASSERT_EQ(list.entries.size(), 1u);
  const PlaylistEntry& e = list.entries[0];
  EXPECT_EQ(e.line, 3);
  EXPECT_EQ(e.parameters.Canonical(), c.canonical);
  EXPECT_EQ(e.clock_ms.value_or(-1), c.clock);
  EXPECT_EQ(e.carried.rest_planner_started, c.started);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PlaylistLine,
    ::testing::Values(
        LineCase{"0 50 40 1 0", "0 50 40 1 0", -1, false, ""},
        LineCase{"  3 50 40 50 10\r", "3 50 40 50 10", -1, false, ""},
        // A [Reproduce] line as the program prints it, whole or in part.
        LineCase{"vordel-compose --clock 1843 --rest-planner-started --dump '3 50 40 50 10'",
                 "3 50 40 50 10", 1843, true, ""},
        LineCase{"--clock 77 \"4 70 10 1 0\"", "4 70 10 1 0", 77, false, ""},
        LineCase{"--clock -1 '0 50 40 1 0'", "0 50 40 1 0", 4294967295, false, ""},
        LineCase{"1 2 3", "", -1, false, "not one complete group of five"},
        LineCase{"--clock x '0 50 40 1 0'", "", -1, false, "whole number of milliseconds"},
        LineCase{"--clock 5 --loud '0 50 40 1 0'", "", -1, false, "'--loud' is not an option"},
        LineCase{"--clock 5 '0 50 40 1 0", "", -1, false, "quote is not closed"},
        LineCase{"--clock 5", "", -1, false, "no parameter string"},
        LineCase{"'0 50 40 1 0' --clock", "", -1, false, "'--clock' is not an option"},
        LineCase{"--clock 5 0 50 40 1 0", "", -1, false, "more than one parameter string"},
        LineCase{"vordel-compose --rest-planner-started '0 50 40 1 0'", "", -1, false,
                 "goes with --clock"},
        LineCase{"--rest-planner-started '0 50 40 1 0'", "", -1, false, "goes with --clock"},
        LineCase{"--dump 0 50 40 1 0", "", -1, false, "more than one parameter string"}),
    [](const ::testing::TestParamInfo<LineCase>& info) {
      return "line" + std::to_string(info.index);
    });

// What the program writes to make a piece again, read back as a playlist line, makes that piece:
// the same notes, and the same line again.
struct Made {
  const char* text;
  std::int64_t clock;
  bool started;
};

class ReproduceLine : public ::testing::TestWithParam<Made> {};

TEST_P(ReproduceLine, ReadBackMakesTheSamePiece) {
  const Made& m = GetParam();
  const Piece piece = testing::ComposeText(m.text, m.clock, m.started);
  const Playlist list = ParsePlaylist(piece.Reproduce() + "\n", "journal");
  ASSERT_EQ(list.entries.size(), 1u) << piece.Reproduce();
  const PlaylistEntry& e = list.entries[0];
  ASSERT_TRUE(e.clock_ms.has_value());
  const Piece again =
      testing::ComposeText(e.parameters.Canonical(), *e.clock_ms, e.carried.rest_planner_started);
  EXPECT_EQ(again.Reproduce(), piece.Reproduce());
  EXPECT_EQ(testing::DumpLines(again), testing::DumpLines(piece));
}

INSTANTIATE_TEST_SUITE_P(Lines, ReproduceLine,
                         ::testing::Values(Made{"0 80 40 30 25 1 50 30 23 20", 187, false},
                                           Made{" +1\t02 -3 abc 9\r\n7", 5, false},
                                           Made{"3 50 40 50 10", 1843, true},
                                           Made{"4 70 10 1 0", 0, true},
                                           Made{"0 50 40 200 0", 4294967295, false},
                                           Made{"-5 300 -40 0 2", 77, false}));

}  // namespace
}  // namespace vordel
