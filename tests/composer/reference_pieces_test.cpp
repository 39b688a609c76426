// Whole pieces, note for note, against pieces made by an independent build of the same rules.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "composer/piece_builder.h"
#include "test_support.h"

namespace vordel {
namespace {

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
      ASSERT_EQ(BuildPiece(piece, c.text, std::cout), BuildResult::kBuilt) << c.name;
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
    BuildPiece(piece, text, std::cout);
    fresh_dump = testing::DumpLines(piece);
    EXPECT_TRUE(IntroRestPlannerStarted());
    BuildPiece(piece, text, std::cout);
    later_dump = testing::DumpLines(piece);
  }
  EXPECT_EQ(fresh_dump, ReadFile(std::string(VORDEL_PIECES_DIR) + "/antecedent-rests.dump"));
  EXPECT_NE(later_dump, fresh_dump);
  // Marking the planner as started reproduces the later piece.
  testing::FreshComposer again(37);
  MarkIntroRestPlannerStarted();
  testing::TestPiece piece;
  BuildPiece(piece, text, std::cout);
  EXPECT_EQ(testing::DumpLines(piece), later_dump);
}

}  // namespace
}  // namespace vordel
