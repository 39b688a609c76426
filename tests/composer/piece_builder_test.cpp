// Composing whole pieces: note for note against pieces made by an independent build of the same
// rules, against a corpus of pieces made by an earlier checked build, with the state one piece
// leaves to the next, and two at a time on two threads.
#include "composer/piece_builder.h"

#include <gtest/gtest.h>

#include <atomic>
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
    const Piece piece = testing::ComposeText(c.text, c.clock, c.rest_planner_started);
    EXPECT_EQ(testing::Fingerprint(testing::DumpLines(piece)), c.dump)
        << "'" << c.text << "' at " << c.clock;
  }
}

TEST(ComposePiece, TheStateOnePieceLeavesToTheNext) {
  // The rest planner's very first draw happens once in a program: the same string composed
  // after a piece that used it differs from the one composed first, and the carried state
  // says so and makes it again.
  std::ostringstream quiet;
  const PieceParameters p = PieceParameters::Parse("3 50 40 50 10");
  const Composed first = *ComposePiece(p, 37, {false}, 0, quiet);
  EXPECT_EQ(testing::DumpLines(first.piece),
            testing::ReadFile(std::string(VORDEL_PIECES_DIR) + "/antecedent-rests.dump"));
  EXPECT_TRUE(first.carried_out.rest_planner_started);
  const Composed second = *ComposePiece(p, 37, first.carried_out, 0, quiet);
  EXPECT_NE(testing::DumpLines(second.piece), testing::DumpLines(first.piece));
  EXPECT_EQ(second.piece.Reproduce(),
            "vordel-compose --clock 37 --rest-planner-started --dump '3 50 40 50 10'");
  // A piece without Introduction rests leaves the state as it found it.
  const Composed plain = *ComposePiece(PieceParameters::Parse("0 80 40 30 25"), 5, {}, 0, quiet);
  EXPECT_FALSE(plain.carried_out.rest_planner_started);
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

TEST(ComposePiece, GivenUpWhenCancelledAndEmptyWhenRefused) {
  std::ostringstream quiet;
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(ComposePiece(PieceParameters::Parse("0 50 40 50 25"), 1, {}, 0, quiet, &cancel));
  cancel = false;
  EXPECT_TRUE(ComposePiece(PieceParameters::Parse("0 50 40 50 25"), 1, {}, 0, quiet, &cancel));
  const Composed refused = *ComposePiece(PieceParameters::Parse("1 2"), 1, {true}, 0, quiet);
  EXPECT_TRUE(refused.piece.empty());
  EXPECT_EQ(refused.piece.Reproduce(), "");
  EXPECT_TRUE(refused.carried_out.rest_planner_started);
  // The composer's lines go where the caller says: the position line closes every piece.
  std::ostringstream lines;
  ComposePiece(PieceParameters::Parse("0 80 40 30 25 1 50 30 23 20"), 0, {}, 0, lines);
  EXPECT_EQ(lines.str(),
            "[SetPosition] Playing from object: 1 / TotTime: 68809 / TotObj: 2 / CurObj: 1 / "
            "Offset: 0\n");
}

}  // namespace
}  // namespace vordel
