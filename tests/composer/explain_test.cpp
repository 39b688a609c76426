#include "composer/explain.h"

#include <gtest/gtest.h>

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
