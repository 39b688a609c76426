#include "composer/parameter_string.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "support/pieces.h"

namespace vordel {
namespace {

using testing::CoutCapture;
using testing::TestPiece;

TEST(ParameterString, CountsAndConvertsNumbers) {
  TestPiece p;
  EXPECT_EQ(p.ParseParmString("0 80 40 30 25 1 50 30 23 20"), 10);
  EXPECT_EQ(p.ParseParmString("0 80 40 30 25 1 50"), 7);
  EXPECT_EQ(p.ParseParmString("   1    2  3 4   5   "), 5);
  EXPECT_EQ(p.ParseParmString(""), 0);
  EXPECT_EQ(p.ParseParmString("     "), 0);
  EXPECT_EQ(p.ParseParmString("1\t2\n3\r\n4\v5\f6\r\n"), 6);
  EXPECT_EQ(SplitParameterString("1 2 3 4 25\r\n"), (std::vector<int>{1, 2, 3, 4, 25}));
  EXPECT_EQ(SplitParameterString("-7 +8 x 12abc -"), (std::vector<int>{-7, 8, 0, 12, 0}));
  EXPECT_EQ(SplitParameterString("99999999999 -99999999999 2147483647 -2147483648"),
            (std::vector<int>{INT_MAX, INT_MIN, INT_MAX, INT_MIN}));
  EXPECT_EQ(ConvertNumber("123456789012345678901234567890"), INT_MAX);
}

TEST(ParameterString, ReadsAtMost4095Bytes) {
  std::string text;
  while (text.size() < 4090)
    text += "1 ";
  text += "22 345 6";  // crosses the limit after "22 34"
  ASSERT_EQ(text.find("345"), 4093u);
  const std::vector<int> numbers = SplitParameterString(text);
  ASSERT_EQ(numbers.size(), 2047u);
  EXPECT_EQ(numbers[numbers.size() - 2], 22);
  EXPECT_EQ(numbers.back(), 34);
  TestPiece p;
  EXPECT_EQ(p.ParseParmString(text.c_str()), static_cast<int>(numbers.size()));
  EXPECT_EQ(std::string(p.input_stream).size(), 1u);  // split in place: "1" then a terminator
}

}  // namespace
}  // namespace vordel
