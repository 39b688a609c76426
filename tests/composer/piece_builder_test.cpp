// Building pieces, and whole pieces note for note against pieces made by an independent build of
// the same rules.
#include "composer/piece_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "chances/random_source.h"
#include "composer/diagnostics.h"
#include "support/pieces.h"

namespace vordel {
namespace {

using testing::CoutCapture;
using testing::Obj;
using testing::TestPiece;

class PieceBuilding : public ::testing::Test {
 protected:
  CoutCapture out_;
  testing::FreshComposer fresh_{1000};
  TestPiece p_;
};

TEST_F(PieceBuilding, NoCompleteGroupKeepsTheCurrentPiece) {
  ASSERT_EQ(BuildPiece(p_, "0 80 40 30 25").result, BuildResult::kBuilt);
  std::ostringstream diag;
  {
    ScopedDiagnosticStream to(diag);
    EXPECT_EQ(BuildPiece(p_, "01").result, BuildResult::kNoCompleteGroup);
  }
  EXPECT_EQ(p_.object_list.size(), 1u);
  EXPECT_NE(diag.str().find("not one complete group of five"), std::string::npos);
}

TEST_F(PieceBuilding, OversizedPiecesAreRefusedBeforeClearing) {
  ASSERT_EQ(BuildPiece(p_, "0 80 40 30 25").result, BuildResult::kBuilt);
  std::ostringstream diag;
  {
    ScopedDiagnosticStream to(diag);
    EXPECT_EQ(BuildPiece(p_, "0 80 40 30 1000000000").result, BuildResult::kTooManyEvents);
  }
  EXPECT_EQ(p_.object_list.size(), 1u);
  EXPECT_FALSE(Obj(p_, 0).event_list.empty());
  EXPECT_NE(diag.str().find("more than the limit of 1000000"), std::string::npos);
  EXPECT_EQ(PlannedObjectEvents(0, 25), 576);
  EXPECT_EQ(PlannedObjectEvents(1, 25), 528);
  EXPECT_EQ(PlannedObjectEvents(0, -20), 0);
  EXPECT_EQ(PlannedPieceEvents("0 0 0 0 17355 1"), 24 * 1158 * 12);  // the 6th number is ignored
}

struct PieceCase {
  std::string name;
  std::int64_t clock;
  std::string text;
};

std::vector<PieceCase> LoadCases() {
  std::ifstream in(std::string(VORDEL_PIECES_DIR) + "/cases.tsv");
  std::vector<PieceCase> cases;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream row(line);
    PieceCase c;
    std::string clock;
    std::getline(row, c.name, '\t');
    std::getline(row, clock, '\t');
    std::getline(row, c.text);
    c.clock = std::stoll(clock);
    cases.push_back(c);
  }
  return cases;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ReferencePieces, EveryPieceComesOutLineForLine) {
  const std::vector<PieceCase> cases = LoadCases();
  ASSERT_GE(cases.size(), 6u);
  for (const PieceCase& c : cases) {
    std::string dump;
    {
      testing::CoutCapture quiet;
      testing::FreshComposer fresh(c.clock);
      testing::TestPiece piece;
      ASSERT_EQ(BuildPiece(piece, c.text).result, BuildResult::kBuilt) << c.name;
      dump = testing::DumpLines(piece);
    }
    const std::string expected = ReadFile(std::string(VORDEL_PIECES_DIR) + "/" + c.name + ".dump");
    ASSERT_FALSE(expected.empty()) << c.name;
    // Compare line by line so that a failure names the first differing line.
    std::istringstream got_lines(dump);
    std::istringstream want_lines(expected);
    std::string got;
    std::string want;
    int line = 0;
    while (std::getline(want_lines, want)) {
      ++line;
      ASSERT_TRUE(std::getline(got_lines, got)) << c.name << ": ends before line " << line;
      ASSERT_EQ(got, want) << c.name << ", line " << line;
    }
    EXPECT_FALSE(std::getline(got_lines, got)) << c.name << ": extra line " << got;
  }
}

TEST(ReferencePieces, TheSecondPieceOfAProcessSkipsTheFirstCallDraw) {
  // In one process the rest planner's very first draw happens only once, so a piece built
  // after another one that used it differs from the same piece built fresh.
  const char* text = "3 50 40 50 10";
  std::string fresh_dump;
  std::string later_dump;
  testing::CoutCapture quiet;
  {
    testing::FreshComposer fresh(37);
    testing::TestPiece piece;
    BuildPiece(piece, text);
    fresh_dump = testing::DumpLines(piece);
    EXPECT_TRUE(IntroRestPlannerStarted());
    BuildPiece(piece, text);
    later_dump = testing::DumpLines(piece);
  }
  EXPECT_EQ(fresh_dump, ReadFile(std::string(VORDEL_PIECES_DIR) + "/antecedent-rests.dump"));
  EXPECT_NE(later_dump, fresh_dump);
  // Marking the planner as started reproduces the later piece.
  testing::FreshComposer again(37);
  MarkIntroRestPlannerStarted();
  testing::TestPiece piece;
  BuildPiece(piece, text);
  EXPECT_EQ(testing::DumpLines(piece), later_dump);
}

TEST(PieceBuilder, ReproduceCommandNormalisesTheNumbers) {
  EXPECT_EQ(ReproduceCommand(" +1\t02 -3 abc 99999999999\r\n", 5, false),
            "vordel-compose --clock 5 --dump '1 2 -3 0 2147483647'");
  EXPECT_EQ(ReproduceCommand("1 2 3 4 5", 1234, true),
            "vordel-compose --clock 1234 --rest-planner-started --dump '1 2 3 4 5'");
}

}  // namespace
}  // namespace vordel
