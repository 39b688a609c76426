#include "cli/values.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vordel {
namespace {

// Every kind of value, with what a user types: the whole text within its range, or nothing.
TEST(Values, TheWholeTextWithinItsRangeOrNothing) {
  const struct {
    const char* text;
    std::optional<std::int64_t> port;  // 0..65535
    std::optional<double> seconds;     // 0..3600
    std::optional<double> gain;        // -60..40
  } kCases[] = {
      {"7770", 7770, std::nullopt, std::nullopt},
      {"0", 0, 0.0, 0.0},
      {"3", 3, 3.0, 3.0},
      {"2.5", std::nullopt, 2.5, 2.5},
      {".5", std::nullopt, 0.5, 0.5},
      {"3.", std::nullopt, 3.0, 3.0},
      {"-1", std::nullopt, std::nullopt, -1.0},
      {"-60", std::nullopt, std::nullopt, -60.0},
      {"-60.5", std::nullopt, std::nullopt, std::nullopt},
      {"40", 40, 40.0, 40.0},
      {"3600", 3600, 3600.0, std::nullopt},
      {"65535", 65535, std::nullopt, std::nullopt},
      {"65536", std::nullopt, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt, std::nullopt},
      {".", std::nullopt, std::nullopt, std::nullopt},
      {"0x10", std::nullopt, std::nullopt, std::nullopt},
      {"1e1", std::nullopt, std::nullopt, std::nullopt},
      {"+3", std::nullopt, std::nullopt, std::nullopt},
      {" 3", std::nullopt, std::nullopt, std::nullopt},
      {"3 ", std::nullopt, std::nullopt, std::nullopt},
      {"3s", std::nullopt, std::nullopt, std::nullopt},
      {"inf", std::nullopt, std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt, std::nullopt},
      {"1.2.3", std::nullopt, std::nullopt, std::nullopt},
      {"99999999999999999999", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ParseWholeNumber(c.text, 0, 65535), c.port) << "'" << c.text << "'";
    EXPECT_EQ(ParseDecimal(c.text, 0, 3600), c.seconds) << "'" << c.text << "'";
    EXPECT_EQ(ParseDecimal(c.text, -60, 40), c.gain) << "'" << c.text << "'";
  }
}

TEST(Values, TimeSignaturesAndTimesOfDay) {
  using Meter = std::optional<std::pair<int, int>>;
  const struct {
    const char* text;
    Meter meter;
  } kMeters[] = {{"4/4", Meter({4, 4})},         {"6/8", Meter({6, 8})}, {"5/16", Meter({5, 16})},
                 {"32/1", Meter({32, 1})},       {"4", std::nullopt},    {"0/4", std::nullopt},
                 {"33/4", std::nullopt},         {"3/5", std::nullopt},  {"3/32", std::nullopt},
                 {"3/4x", std::nullopt},         {"-3/4", std::nullopt}, {"4/4/4", std::nullopt},
                 {"4294967300/4", std::nullopt}, {"/4", std::nullopt},   {"4/", std::nullopt}};
  for (const auto& c : kMeters) {
    EXPECT_EQ(ParseTimeSignature(c.text), c.meter) << c.text;
  }
  const struct {
    const char* text;
    bool end;
    std::optional<int> minute;
  } kTimes[] = {{"09:00", false, 540},
                {"9:00", false, 540},
                {"0:05", false, 5},
                {"23:59", false, 1439},
                {"24:00", true, 1440},
                {"24:00", false, std::nullopt},
                {"24:01", true, std::nullopt},
                {"10:60", false, std::nullopt},
                {"9", false, std::nullopt},
                {"9:0", false, std::nullopt},
                {"009:00", false, std::nullopt},
                {"-1:00", false, std::nullopt},
                {"9:00 ", false, std::nullopt}};
  for (const auto& c : kTimes) {
    EXPECT_EQ(ParseTimeOfDay(c.text, c.end), c.minute) << c.text;
  }
}

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
  const auto hours = ParseOpeningHours(GetParam().text, &error);
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
                      HoursCase{"9:00-18:00", "09:00 17:59", "08:59 18:00"},
                      HoursCase{"22:00-02:00", "22:00 23:59 00:00 01:59", "02:00 12:00 21:59"},
                      HoursCase{"10:00-12:00, 14:30-24:00", "11:00 14:30 23:59",
                                "12:00 14:29 00:00"},
                      HoursCase{"00:00-24:00", "00:00 12:00 23:59", ""}));

TEST(Hours, MalformedRangesNameTheirPart) {
  for (const char* bad : {"", "10-18", "10:00-", "25:00-18:00", "10:00-10:00", "10:60-11:00",
                          "24:00-10:00", "10:00-18:00,", "10:00–18:00", "10:00-18:00-19:00"}) {
    std::string error;
    EXPECT_FALSE(ParseOpeningHours(bad, &error)) << bad;
    EXPECT_EQ(error.rfind("--hours: '", 0), 0u) << error;
    EXPECT_NE(error.find("like 10:00-18:00"), std::string::npos);
  }
  std::string error;
  ParseOpeningHours("10:00-18:00,nonsense", &error);
  EXPECT_EQ(error, "--hours: 'nonsense' is not a range of local times like 10:00-18:00");
}

}  // namespace
}  // namespace vordel
