// Composing whole pieces: note for note against pieces made by an independent build of the same
// rules, against a corpus of pieces made by an earlier checked build, with the state one piece
// leaves to the next, and two at a time on two threads.
#include "composer/piece_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

TEST(ReferencePieces, EveryPieceComesOutLineForLine) {
  std::ifstream in(std::string(VORDEL_PIECES_DIR) + "/cases.tsv");
  std::string line;
  std::getline(in, line);  // header
  int pieces = 0;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string name;
    std::string clock;
    std::string text;
    std::getline(row, name, '\t');
    std::getline(row, clock, '\t');
    std::getline(row, text);
    const std::string dump = testing::DumpLines(testing::ComposeText(text, std::stoll(clock)));
    const std::string expected =
        testing::ReadFile(std::string(VORDEL_PIECES_DIR) + "/" + name + ".dump");
    ASSERT_FALSE(expected.empty()) << name;
    // Line by line, so that a failure names the first line that differs.
    std::istringstream got_lines(dump);
    std::istringstream want_lines(expected);
    std::string got;
    std::string want;
    for (int n = 1; std::getline(want_lines, want); ++n) {
      ASSERT_TRUE(std::getline(got_lines, got)) << name << ": ends before line " << n;
      ASSERT_EQ(got, want) << name << ", line " << n;
    }
    EXPECT_FALSE(std::getline(got_lines, got)) << name << ": extra line " << got;
    ++pieces;
  }
  EXPECT_GE(pieces, 6);
}

TEST(ReferencePieces, ACorpusOfStringsClocksAndCarriedStates) {
  const std::vector<testing::CorpusPiece> corpus = testing::LoadCorpus();
  ASSERT_GE(corpus.size(), 300u);
  for (const testing::CorpusPiece& c : corpus) {
    std::ostringstream lines;
    const Piece piece =
        ComposePiece(PieceParameters::Parse(c.text), c.clock, {c.rest_planner_started}, 0, lines)
            ->piece;
    EXPECT_EQ(testing::Fingerprint(testing::DumpLines(piece)), c.dump)
        << "'" << c.text << "' at " << c.clock;
    EXPECT_EQ(lines.str().find("too many elements"), std::string::npos);  // no set overflows
  }
}

TEST(ComposePiece, TwoAtATimeOnTwoThreadsEachAsAlone) {
  struct Job {
    std::string text;
    std::int64_t clock;
    bool started;
    std::string alone;
    std::string together;
  };
  std::vector<Job> jobs = {{"0 80 40 30 25 1 50 30 23 20", 1000, false, "", ""},
                           {"3 50 40 50 10 4 60 70 20 60", 37, false, "", ""},
                           {"1 50 50 50 10 1 60 40 30 10 2 70 30 20 10", 5, true, "", ""},
                           {"0 20 90 5 80 3 70 20 95 40", 123456, true, "", ""}};
  for (Job& j : jobs) {
    j.alone = testing::DumpLines(testing::ComposeText(j.text, j.clock, j.started));
  }
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (Job& j : jobs) {
      threads.emplace_back([&j] {
        j.together = testing::DumpLines(testing::ComposeText(j.text, j.clock, j.started));
      });
    }
    for (auto& t : threads) {
      t.join();
    }
    for (const Job& j : jobs) {
      EXPECT_EQ(j.together, j.alone) << j.text;
    }
  }
}

}  // namespace
}  // namespace vordel
