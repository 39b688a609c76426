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
                 "Parameter string ignored: it holds 0 number(s), not one complete group of five; "
                 "the current composition is kept."},
        ReadCase{"01", "1", 0, 1, V::kNoCompleteGroup, "holds 1 number(s)"},
        ReadCase{"1 2 3 4", "1 2 3 4", 0, 4, V::kNoCompleteGroup, "holds 4 number(s)"},
        ReadCase{"0 80 40 30 1000000000", "0 80 40 30 1000000000", 1, 0, V::kTooManyEvents,
                 "Parameter string refused: it would generate 19200000096 events, more than the "
                 "limit of 1000000; the current composition is kept."}),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
      return "case" + std::to_string(info.index);
    });

TEST(Reading, TokensSayWhatTheyWereReadAs) {
  const PieceParameters p = PieceParameters::Parse("4O +5 -0012 99999999999 x");
  ASSERT_EQ(p.tokens().size(), 5u);
  EXPECT_EQ(p.tokens()[0].value, 4);
  EXPECT_FALSE(p.tokens()[0].plain);
  EXPECT_TRUE(p.tokens()[1].plain);
  EXPECT_EQ(p.tokens()[2].value, -12);
  EXPECT_TRUE(p.tokens()[2].plain);
  EXPECT_TRUE(p.tokens()[3].saturated);
  EXPECT_FALSE(p.tokens()[4].plain);
  EXPECT_EQ(p.tokens()[4].text, "x");
}

TEST(Reading, AtMost4095BytesAndFiftySections) {
  std::string text;
  while (text.size() < 4090) {
    text += "1 ";
  }
  text += "22 345 6";  // crosses the limit after "22 34"
  ASSERT_EQ(text.find("345"), 4093u);
  const PieceParameters p = PieceParameters::Parse(text);
  ASSERT_EQ(p.tokens().size(), 2047u);
  EXPECT_EQ(p.tokens().back().value, 34);
  EXPECT_EQ(p.sections().size(), 50u);  // the groups after the fiftieth make nothing
  EXPECT_EQ(p.groups_dropped(), 2047 / 5 - 50);
  // Only the sections that are made count towards the events.
  EXPECT_EQ(PieceParameters::Parse("0 0 0 0 17355 1").planned_events(), 24 * 1158 * 12);
  EXPECT_EQ(PlannedObjectEvents(0, 25), 576);
  EXPECT_EQ(PlannedObjectEvents(1, 25), 528);  // a Preparation has three Introduction voices
  EXPECT_EQ(PlannedObjectEvents(2, 25), 528);
  EXPECT_EQ(PlannedObjectEvents(0, -20), 0);
}

TEST(Reading, ClockValuesAreTakenModulo2To32) {
  EXPECT_EQ(ParseClockValue("0"), 0u);
  EXPECT_EQ(ParseClockValue("4294967296"), 0u);
  EXPECT_EQ(ParseClockValue("-1"), 4294967295u);
  EXPECT_EQ(ParseClockValue("123456789012345678901234567890"), 1312754386u);
  EXPECT_FALSE(ParseClockValue("").has_value());
  EXPECT_FALSE(ParseClockValue("-").has_value());
  EXPECT_FALSE(ParseClockValue("12ms").has_value());
}

}  // namespace
}  // namespace vordel
