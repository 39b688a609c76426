#include "composer/explain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/pieces.h"

namespace vordel {
namespace {

struct WarningCase {
  const char* text;
  std::vector<std::string> warnings;
};

class ParameterWarningsOf : public ::testing::TestWithParam<WarningCase> {};

TEST_P(ParameterWarningsOf, EveryValueOutsideItsRangeEveryOddTokenAndEveryLeftover) {
  EXPECT_EQ(ParameterWarnings(PieceParameters::Parse(GetParam().text)), GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParameterWarningsOf,
    ::testing::Values(
        WarningCase{"0 80 40 30 25 1 50 30 23 20", {}},
        WarningCase{"4 1 1 1 0 0 100 47 100 1000", {}},  // the edges of the useful ranges
        WarningCase{"9 0 200 200 -5",
                    {"section 1: function 9 is not one of 0-4; the section has no material of "
                     "its own (every note on the register's lowest key)",
                     "section 1: register 0 is outside 1-100; its pitches start from C3, as for 50",
                     "section 1: velocity 200 is above 47; the dynamics add up to 80 to it, and "
                     "every note above 127 is played at 127",
                     "section 1: tempo 200 is outside 1-100 and is read as 50 (280 beats a "
                     "minute)",
                     "section 1: length -5 is below 0; the section has no notes"}},
        WarningCase{"-1 101 0 0 25",
                    {"section 1: function -1 is not one of 0-4; the section has no material of "
                     "its own (every note on the register's lowest key)",
                     "section 1: register 101 is outside 1-100; its pitches start from C3, as for "
                     "50",
                     "section 1: velocity 0 is below 1; its quietest notes are played at "
                     "velocity 1, or not at all where they come to 0",
                     "section 1: tempo 0 is outside 1-100 and is read as 50 (280 beats a "
                     "minute)"}},
        WarningCase{"4O 50 40 30 25 hello 3",
                    {"\"4O\" is not a plain number and is read as 4",
                     "\"hello\" is not a plain number and is read as 0",
                     "2 number(s) after the last complete group of five are not used: hello 3"}},
        WarningCase{"0 50 40 30 99999999999",
                    {"\"99999999999\" is beyond the range of numbers and is read as 2147483647"}},
        WarningCase{"hello",
                    {"\"hello\" is not a plain number and is read as 0",
                     "1 number(s) after the last complete group of five are not used: "
                     "hello"}}));

TEST(ParameterWarnings, GroupsBeyondTheFiftiethAndTextBeyondTheLimit) {
  std::string fifty_two;
  for (int i = 0; i < 52; ++i) {
    fifty_two += "0 50 40 30 0 ";
  }
  EXPECT_EQ(ParameterWarnings(PieceParameters::Parse(fifty_two)),
            (std::vector<std::string>{"2 group(s) of five after the 50th make no section"}));
  const std::string long_text = "0 50 40 30 0" + std::string(kMaxParameterText, ' ') + "1";
  EXPECT_EQ(ParameterWarnings(PieceParameters::Parse(long_text)),
            (std::vector<std::string>{"only the first 4095 characters of the string are read"}));
}

// The words match what the composer does: the tempo it computes with, the keys it starts from,
// and velocities that stay within the base and 80 above it.
TEST(Explain, TheWordsAgreeWithThePieces) {
  for (const int tempo : {-5, 0, 1, 8, 9, 30, 50, 99, 100, 101, 200}) {
    const Piece piece = testing::ComposeText("0 50 40 " + std::to_string(tempo) + " 0", 0);
    EXPECT_EQ(piece.sections().at(0).tempo, BeatsPerMinuteOfTempo(tempo)) << tempo;
  }
  EXPECT_EQ(BeatsPerMinuteOfTempo(1), 520);
  EXPECT_EQ(BeatsPerMinuteOfTempo(30), 360);
  EXPECT_EQ(BeatsPerMinuteOfTempo(100), 40);
  for (const int velocity : {1, 20, 47}) {
    for (const int function : {0, 1, 2, 3, 4}) {
      const std::string text =
          std::to_string(function) + " 60 " + std::to_string(velocity) + " 30 60 0 60 40 30 10";
      const Piece piece = testing::ComposeText(text, 7);
      for (const Note& n : piece.Notes()) {
        if (n.section == 0) {
          ASSERT_GE(n.velocity, velocity) << text;
          ASSERT_LE(n.velocity, velocity + 80) << text;
          ASSERT_LE(n.velocity, 127) << text;
        }
      }
    }
  }
  // Registers outside 1-100 start where 50 does (0 and 127 make the same piece); inside, five
  // steps of an octave.
  EXPECT_TRUE(testing::DumpLines(testing::ComposeText("0 0 40 30 5", 3)) ==
              testing::DumpLines(testing::ComposeText("0 127 40 30 5", 3)));
  for (const int outside : {0, 127, -3}) {
    const Piece piece = testing::ComposeText("1 " + std::to_string(outside) + " 40 30 5", 3);
    int lowest = 127;
    for (const Note& n : piece.Notes()) {
      lowest = std::min(lowest, n.channel < 3 ? n.key : n.key + 12);
    }
    EXPECT_GE(lowest, LowestKeyOfRegister(50) - 11) << outside;
  }
  EXPECT_EQ(LowestKeyOfRegister(127), LowestKeyOfRegister(0));
  EXPECT_EQ(KeyName(LowestKeyOfRegister(1)), "C1");
  EXPECT_EQ(KeyName(LowestKeyOfRegister(80)), "C4");
  EXPECT_EQ(KeyName(LowestKeyOfRegister(100)), "C5");
}

TEST(Explain, EverySectionInWordsThenTheWarnings) {
  const PieceParameters p = PieceParameters::Parse("0 80 40 1 25 9 0 40 200 10 7");
  const std::string text =
      ExplainParameters(p, testing::ComposeText("0 80 40 1 25 9 0 40 200 10 7", 0));
  for (const char* line :
       {"\"0 80 40 1 25 9 0 40 200 10 7\": 2 section(s), ",
        "\nSection 1: Statement - states a twelve-tone row of its own",
        "\n  register      80  pitches from C4 (60); sounds ",
        "\n  tempo          1  520 beats a minute (a beat of 115 ms)\n",  // the edge: no "as for"
        "\n  length        25  2 pitch cycle(s) in each part of the section; 288 notes in ",
        "\nSection 2: Unknown - no material of its own",
        "\n  tempo        200  280 beats a minute (a beat of 214 ms), as for 50\n",
        "\nWarnings:\n  section 2: function 9 is not one of 0-4",
        "\n  1 number(s) after the last complete group of five are not used: 7\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  // A refused string: the reading, the warnings and the reason, without a piece.
  const std::string refused = ExplainParameters(PieceParameters::Parse("1 2"), Piece());
  EXPECT_NE(refused.find("0 section(s)\n"), std::string::npos) << refused;
  EXPECT_NE(refused.find("Parameter string ignored: it holds 2 number(s)"), std::string::npos);
}

}  // namespace
}  // namespace vordel
