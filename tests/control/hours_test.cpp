#include "control/hours.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

struct HoursCase {
  const char* text;
  const char* open_at;    // "HH:MM HH:MM ..." minutes inside
  const char* closed_at;  // minutes outside
};

int Minute(const std::string& hhmm) {
  return std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(3, 2));
}

class Hours : public ::testing::TestWithParam<HoursCase> {};

TEST_P(Hours, OpenInsideTheirRanges) {
  std::string error;
  const auto hours = OpeningHours::Parse(GetParam().text, &error);
  ASSERT_TRUE(hours) << error;
  std::istringstream open(GetParam().open_at);
  for (std::string t; open >> t;) {
    EXPECT_TRUE(hours->OpenAtMinute(Minute(t))) << GetParam().text << " at " << t;
  }
  std::istringstream closed(GetParam().closed_at);
  for (std::string t; closed >> t;) {
    EXPECT_FALSE(hours->OpenAtMinute(Minute(t))) << GetParam().text << " at " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Hours,
    ::testing::Values(HoursCase{"10:00-18:00", "10:00 12:30 17:59", "09:59 18:00 23:00 00:00"},
                      HoursCase{"22:00-02:00", "22:00 23:59 00:00 01:59", "02:00 12:00 21:59"},
                      HoursCase{"10:00-12:00, 14:30-24:00", "11:00 14:30 23:59",
                                "12:00 14:29 00:00"},
                      HoursCase{"00:00-24:00", "00:00 12:00 23:59", ""}));

TEST(Hours, MalformedRangesNameTheirPart) {
  for (const char* bad : {"", "10-18", "10:00-", "25:00-18:00", "10:00-10:00", "10:60-11:00",
                          "24:00-10:00", "10:00-18:00,", "9:00-18:00", "10:00–18:00"}) {
    std::string error;
    EXPECT_FALSE(OpeningHours::Parse(bad, &error)) << bad;
    EXPECT_EQ(error.rfind("--hours: '", 0), 0u) << error;
    EXPECT_NE(error.find("like 10:00-18:00"), std::string::npos);
  }
  std::string error;
  OpeningHours::Parse("10:00-18:00,nonsense", &error);
  EXPECT_EQ(error, "--hours: 'nonsense' is not a range of local times like 10:00-18:00");
}

}  // namespace
}  // namespace vordel
