#include <gtest/gtest.h>

#include <vector>

#include "chances/random_source.h"
#include "composer/musical_object.h"
#include "support/test_support.h"

namespace vordel {
namespace {

class Rests : public ::testing::Test {
 protected:
  void SetUp() override { ResetRestPlanners(); }
  testing::CoutCapture quiet_;
  ScopedClockPin pin_{500};
};

int PickExpected(const int (&row)[6], int r) {
  int code = 0;
  for (int i = 0; i < 6; ++i) {
    if (row[i] <= r)
      code = i;
  }
  return code;
}

TEST_F(Rests, IntroPlannerDrawsItsFirstGroupSizeOnceInTheProgram) {
  MusicalObject m(3, 50, 60, 50, 25);  // 2 pitch cycles
  const int zone0[6] = {0, 500, 600, 850, 900, 950};
  // Find a seed whose first voice starts with group size 0 (a rest at note 0).
  for (std::uint32_t seed = 0; seed < 200; ++seed) {
    testing::Lcg lcg(seed);
    lcg.next();                        // the program's first call: initial group size
    const int group = lcg.next() % 3;  // step 1 redraws it, then reseeds from the clock
    ResetRestPlanners();
    srand(seed);
    const int code = m.I_InsertRest(0);
    if (group != 0) {
      EXPECT_EQ(code, -1) << seed;
      continue;
    }
    testing::Lcg after(500);
    after.next();  // growth of the group size
    EXPECT_EQ(code, PickExpected(zone0, after.next() % 1000)) << seed;
  }
  EXPECT_TRUE(IntroRestPlannerStarted());
  // Later voices draw only once in step 1.
  srand(1);
  testing::Lcg lcg(1);
  const int group = lcg.next() % 3;
  const int code = m.I_InsertRest(0);
  EXPECT_EQ(code >= 0, group == 0);
}

TEST_F(Rests, IntroPlannerZonesAndSparseRests) {
  MusicalObject m(3, 50, 60, 50, 25);
  srand(3);
  int rests = 0;
  for (int n = 0; n < 24; ++n) {
    const int code = m.I_InsertRest(n);
    ASSERT_GE(code, -1);
    ASSERT_LE(code, 5);
    rests += code >= 0;
    if (n >= 1) {
      EXPECT_EQ(GetRestPlannerSnapshot().i_zone, 2) << n;  // 1200 * n / 2 is above 70 at once
    }
  }
  EXPECT_GE(rests, 1);
}

TEST_F(Rests, ReprisePlannerWaitsEightNotesFirst) {
  MusicalObject m(3, 50, 60, 50, 25);
  srand(11);
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(m.R_InsertRest(n), -1) << n;
  }
  EXPECT_GE(m.R_InsertRest(8), 0);
  // Rests become denser, down to one after every note.
  int rests = 0;
  for (int n = 9; n < 200; ++n) {
    rests += m.R_InsertRest(n) >= 0;
  }
  EXPECT_GT(rests, 20);
  EXPECT_GE(GetRestPlannerSnapshot().r_group_size, 1);
}

TEST_F(Rests, InsertEventByTime) {
  MusicalObject m(0, 50, 50, 50, 10);
  m.InsertEvent(new Event(1, 1, 1, 10, 0, 2));
  ASSERT_EQ(m.event_list.size(), 1u);
  m.InsertEvent(new Event(1, 2, 1, 30, 0, 2));
  m.InsertEvent(new Event(1, 3, 1, 20, 0, 2));  // earlier than only the last
  m.InsertEvent(new Event(1, 4, 1, 10, 0, 2));  // same time: goes behind
  std::vector<int> keys;
  for (const auto& e : m.event_list)
    keys.push_back(e->GetKEY());
  EXPECT_EQ(keys, (std::vector<int>{1, 4, 3, 2}));
}

// Four notes on channel 1, each start followed by its end.

}  // namespace
}  // namespace vordel
