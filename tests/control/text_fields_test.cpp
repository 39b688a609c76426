#include "control/text_fields.h"

#include <gtest/gtest.h>

#include <utility>

namespace vordel {
namespace {

TEST(TextFields, TrimAndCommaFields) {
  EXPECT_EQ(Trim(" \t a b \r"), "a b");
  EXPECT_EQ(Trim(" \t\r"), "");
  EXPECT_EQ(CommaFields("a, b,"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(CommaFields(""), (std::vector<std::string>{""}));
}

// The window's counters, its status bar and the piano roll's axis say times this way.
TEST(TextFields, MinutesAndSeconds) {
  const std::pair<std::int64_t, const char*> rows[] = {
      {-5, "0:00"},           {0, "0:00"},          {999, "0:00"},
      {1000, "0:01"},         {67000, "1:07"},      {599999, "9:59"},
      {3599999, "59:59"},     {3600000, "1:00:00"}, {3723000, "1:02:03"},
      {36000000, "10:00:00"},
  };
  for (const auto& [ms, text] : rows) {
    EXPECT_EQ(MinutesAndSeconds(ms), text) << ms;
  }
}

}  // namespace
}  // namespace vordel
