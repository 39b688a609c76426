#include "control/hours.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vordel {
namespace {

struct HoursCase {
  std::vector<std::pair<int, int>> ranges;  // minutes of the day
  const char* open_at;                      // "HH:MM HH:MM ..." minutes inside
  const char* closed_at;                    // minutes outside
};

int Minute(const std::string& hhmm) {
  return std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(3, 2));
}

class Hours : public ::testing::TestWithParam<HoursCase> {};

TEST_P(Hours, OpenInsideTheirRanges) {
  const OpeningHours hours(GetParam().ranges);
  std::istringstream open(GetParam().open_at);
  for (std::string t; open >> t;) {
    EXPECT_TRUE(hours.OpenAtMinute(Minute(t))) << GetParam().open_at << " at " << t;
  }
  std::istringstream closed(GetParam().closed_at);
  for (std::string t; closed >> t;) {
    EXPECT_FALSE(hours.OpenAtMinute(Minute(t))) << GetParam().closed_at << " at " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Hours,
    ::testing::Values(
        HoursCase{{{600, 1080}}, "10:00 12:30 17:59", "09:59 18:00 23:00 00:00"},
        HoursCase{{{1320, 120}}, "22:00 23:59 00:00 01:59", "02:00 12:00 21:59"},  // midnight
        HoursCase{{{600, 720}, {870, 1440}}, "11:00 14:30 23:59", "12:00 14:29 00:00"},
        HoursCase{{{0, 1440}}, "00:00 12:00 23:59", ""},
        HoursCase{{}, "00:00 12:00 23:59", ""}));  // no ranges: always open

}  // namespace
}  // namespace vordel
