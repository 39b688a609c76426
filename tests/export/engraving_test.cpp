// The meter's rules for writing lengths: which lengths are one value, where a length is cut, and
// how triplets are gathered.
#include "export/engraving.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace vordel {
namespace {

// Lengths in 192nds of a whole note: the type (0 whole ... 7 128th), dot and triplet of each.
TEST(ValueOf, EveryWrittenValueAndNothingElse) {
  const std::tuple<std::int64_t, int, bool, bool> kCases[] = {
      {192, 0, false, false}, {288, 0, true, false}, {144, 1, true, false},  {128, 0, false, true},
      {96, 1, false, false},  {48, 2, false, false}, {32, 2, false, true},   {72, 2, true, false},
      {24, 3, false, false},  {16, 3, false, true},  {12, 4, false, false},  {9, 5, true, false},
      {3, 6, false, false},   {2, 6, false, true},   {1, 7, false, true},    {5, -1, false, false},
      {40, -1, false, false}, {0, -1, false, false}, {384, -1, false, false}};
  for (const auto& [units, type, dotted, triplet] : kCases) {
    const NoteValue v = ValueOf(units);
    EXPECT_EQ(std::make_tuple(v.type, v.dotted, v.triplet), std::make_tuple(type, dotted, triplet))
        << units << " units";
  }
  // Inside a triplet group a length is the triplet of the value half as long again.
  EXPECT_TRUE(Meter::WrittenAs(24, true).triplet);
  EXPECT_TRUE(Meter::WrittenAs(24, true).dotted);
  EXPECT_EQ(Meter::WrittenAs(24, true).type, 3);
  EXPECT_FALSE(Meter::WrittenAs(24, false).triplet);
}

struct SplitCase {
  const char* what;
  int beats;
  int beat_type;
  std::int64_t a;
  std::int64_t b;
  std::vector<Interval> pieces;
};

class Splits : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Splits, ByTheBeats) {
  const SplitCase& c = GetParam();
  std::vector<Interval> got;
  Meter(c.beats, c.beat_type).Split(c.a, c.b, got);
  EXPECT_EQ(got, c.pieces) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Meters, Splits,
    ::testing::Values(
        SplitCase{"a whole bar", 4, 4, 0, 192, {{0, 192}}},
        SplitCase{"a dotted half from the bar", 4, 4, 0, 144, {{0, 144}}},
        SplitCase{"quarter, half, quarter", 4, 4, 48, 144, {{48, 144}}},
        SplitCase{"eighth, quarter, eighth", 4, 4, 24, 72, {{24, 72}}},
        SplitCase{"eighth, dotted quarter", 4, 4, 24, 96, {{24, 96}}},
        SplitCase{"a half off the beat across the middle", 4, 4, 72, 168, {{72, 96}, {96, 168}}},
        SplitCase{"a dotted half from the second beat", 4, 4, 48, 192, {{48, 96}, {96, 192}}},
        SplitCase{"sixteenth, dotted eighth, then a sixteenth", 4, 4, 12, 60, {{12, 48}, {48, 60}}},
        SplitCase{"a quarter from the second sixteenth of the second beat",
                  4,
                  4,
                  60,
                  108,
                  {{60, 96}, {96, 108}}},
        SplitCase{"no single value: cut at the half beat", 4, 4, 0, 40, {{0, 24}, {24, 40}}},
        SplitCase{"a half on the second beat of three", 3, 4, 48, 144, {{48, 144}}},
        SplitCase{"three beats of three", 3, 4, 0, 144, {{0, 144}}},
        SplitCase{"a dotted quarter in six eighths", 6, 8, 0, 72, {{0, 72}}},
        SplitCase{"from the middle of a beat of seven eighths to a beat", 7, 8, 12, 48, {{12, 48}}},
        SplitCase{"from a quarter of a beat of seven eighths", 7, 8, 6, 48, {{6, 24}, {24, 48}}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) {
      return "case" + std::to_string(info.index);
    });

struct GroupCase {
  const char* what;
  std::vector<Interval> stretches;  // in 4/4
  std::vector<Interval> groups;
  std::vector<std::int64_t> cut;  // the lengths written
};

class Triplets : public ::testing::TestWithParam<GroupCase> {};

TEST_P(Triplets, GatherInBeatsAndAreWrittenInTripletValues) {
  const GroupCase& c = GetParam();
  const Meter meter(4, 4);
  std::vector<Stretch> stretches;
  for (const auto& [x, y] : c.stretches) {
    stretches.push_back({x, y, stretches.size()});
  }
  const std::vector<Interval> groups = meter.TripletBeats(stretches);
  EXPECT_EQ(groups, c.groups) << c.what;
  std::vector<std::int64_t> lengths;
  std::int64_t at = 0;
  for (const Stretch& s : meter.CutAtGroups(stretches, groups)) {
    EXPECT_EQ(s.x, at) << c.what;  // nothing lost, nothing added
    at = s.y;
    lengths.push_back(s.y - s.x);
    bool inside = false;
    for (const auto& [from, to] : groups) {
      inside = inside || (from <= s.x && s.y <= to);
    }
    const NoteValue v = Meter::WrittenAs(s.y - s.x, inside);
    EXPECT_GE(v.type, 0) << c.what << ": " << s.x << ".." << s.y;
    EXPECT_EQ(v.triplet, inside) << c.what << ": " << s.x << ".." << s.y;
  }
  EXPECT_EQ(lengths, c.cut) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    FourFour, Triplets,
    ::testing::Values(GroupCase{"three triplet eighths, then a dotted half",
                                {{0, 16}, {16, 32}, {32, 48}, {48, 192}},
                                {{0, 48}},
                                {16, 16, 16, 144}},
                      GroupCase{"an eighth, a triplet 64th and the rest of the beat",
                                {{0, 24}, {24, 26}, {26, 48}, {48, 192}},
                                {{0, 48}},
                                {24, 2, 16, 6, 144}},
                      GroupCase{"a triplet quarter across a beat",
                                {{0, 48}, {48, 80}, {80, 112}, {112, 144}, {144, 192}},
                                {{48, 96}, {96, 144}},
                                {48, 32, 16, 16, 32, 48}},
                      GroupCase{"plain values only",
                                {{0, 24}, {24, 72}, {72, 96}, {96, 192}},
                                {},
                                {24, 48, 24, 96}}),
    [](const ::testing::TestParamInfo<GroupCase>& info) {
      return "case" + std::to_string(info.index);
    });

}  // namespace
}  // namespace vordel
