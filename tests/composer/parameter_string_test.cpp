#include "composer/parameter_string.h"

#include <gtest/gtest.h>

#include <string>

namespace vordel {
namespace {

struct ReadCase {
  std::string text;
  std::string numbers;  // as read, canonical
  int sections;
  int leftover;
  PieceParameters::Verdict verdict;
  std::string refusal;  // a part of the reason
};

class Reading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Reading, ATextBecomesItsNumbersOnce) {
  const ReadCase& c = GetParam();
  const PieceParameters p = PieceParameters::Parse(c.text);
  EXPECT_EQ(p.Canonical(), c.numbers);
  EXPECT_EQ(static_cast<int>(p.sections().size()), c.sections);
  EXPECT_EQ(p.leftover(), c.leftover);
  EXPECT_EQ(p.verdict(), c.verdict);
  if (c.refusal.empty()) {
    EXPECT_EQ(p.refusal(), "");
  } else {
    EXPECT_NE(p.refusal().find(c.refusal), std::string::npos) << p.refusal();
  }
}

using V = PieceParameters::Verdict;
INSTANTIATE_TEST_SUITE_P(
    Texts, Reading,
    ::testing::Values(
        ReadCase{"0 80 40 30 25 1 50 30 23 20", "0 80 40 30 25 1 50 30 23 20", 2, 0, V::kAccepted,
                 ""},
        ReadCase{"1\t2\n3\r\n4\v5\f6\r\n", "1 2 3 4 5 6", 1, 1, V::kAccepted, ""},
        ReadCase{"-7 +8 x 12abc -", "-7 8 0 12 0", 1, 0, V::kAccepted, ""},
        ReadCase{"99999999999 -99999999999 2147483647 -2147483648 1",
                 "2147483647 -2147483648 2147483647 -2147483648 1", 1, 0, V::kAccepted, ""},
        ReadCase{"", "", 0, 0, V::kNoCompleteGroup,
                 "Parameter string ignored: it holds 0 number(s), not one complete group of "
                 "five."},
        ReadCase{"01", "1", 0, 1, V::kNoCompleteGroup, "holds 1 number(s)"},
        ReadCase{"1 2 3 4", "1 2 3 4", 0, 4, V::kNoCompleteGroup, "holds 4 number(s)"},
        ReadCase{"0 80 40 30 1000000000", "0 80 40 30 1000000000", 1, 0, V::kTooManyEvents,
                 "Parameter string refused: it would generate 19200000096 events, more than the "
                 "limit of 1000000."}),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
      return "case" + std::to_string(info.index);
    });

// Where a piece plays or is ready, the refusal says that it stays; where none is, it does not.
TEST(Reading, ARefusalSaysThePieceIsKeptOnlyWhereItIs) {
  const PieceParameters refused = PieceParameters::Parse("1 2");
  EXPECT_EQ(refused.refusal(),
            "Parameter string ignored: it holds 2 number(s), not one complete group of five.");
  EXPECT_EQ(refused.KeptRefusal(),
            "Parameter string ignored: it holds 2 number(s), not one complete group of five; the "
            "current composition is kept.");
  EXPECT_EQ(PieceParameters::Parse("0 80 40 30 25").KeptRefusal(), "");
}

}  // namespace
}  // namespace vordel
