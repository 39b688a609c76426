#include <gtest/gtest.h>

#include <vector>

#include "chances/random_source.h"
#include "composer/musical_object.h"
#include "test_support.h"

namespace vordel {
namespace {

class RestsAndRemapping : public ::testing::Test {
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

TEST_F(RestsAndRemapping, IntroPlannerDrawsItsFirstGroupSizeOnceInTheProgram) {
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

TEST_F(RestsAndRemapping, IntroPlannerZonesAndSparseRests) {
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

TEST_F(RestsAndRemapping, ReprisePlannerWaitsEightNotesFirst) {
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

TEST_F(RestsAndRemapping, InsertEventByTime) {
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
void FourNotes(MusicalObject& m, int ch = 1) {
  for (int i = 0; i < 4; ++i) {
    m.event_list.push_back(std::make_unique<Event>(ch, 40 + i, 70, i * 10, 10, 2));
    m.event_list.push_back(std::make_unique<Event>(ch, 40 + i, 0, i * 10 + 9, 0, 0));
  }
}

TEST_F(RestsAndRemapping, RemapPitchRepeatsEverySecondNote) {
  MusicalObject m(0, 50, 50, 50, 10);  // lowest key 48
  Set* p = m.GetPitchSet();
  p->newset(kPitchSet, 3);
  for (int v : {5, 7, 9})
    p->insert(v);
  FourNotes(m);
  m.RemapPitch(0, 100, 2);
  std::vector<int> keys;
  for (const auto& e : m.event_list)
    keys.push_back(e->GetKEY());
  EXPECT_EQ(keys, (std::vector<int>{53, 53, 53, 53, 55, 55, 55, 55}));
  EXPECT_TRUE(m.ev_iter == m.event_list.end());
}

TEST_F(RestsAndRemapping, RemapPitchWindowAndUnmatchedNotes) {
  MusicalObject m(0, 50, 50, 50, 10);
  Set* p = m.GetPitchSet();
  p->newset(kPitchSet, 1);
  p->insert(1);
  FourNotes(m);
  m.event_list.push_back(std::make_unique<Event>(1, 99, 70, 40, 10, 2));  // no end
  m.RemapPitch(10, 20, 2);                                                // notes 1 and 2 only
  std::vector<int> keys;
  for (const auto& e : m.event_list)
    keys.push_back(e->GetKEY());
  EXPECT_EQ(keys, (std::vector<int>{40, 40, 49, 49, 49, 49, 43, 43, 99}));
  m.RemapPitch(30, 20, 2);  // empty window
  std::vector<int> again;
  for (const auto& e : m.event_list)
    again.push_back(e->GetKEY());
  EXPECT_EQ(again, keys);
}

TEST_F(RestsAndRemapping, RemapVelocityLeadsWithChannelOne) {
  MusicalObject m(0, 50, 30, 50, 10);  // velocity base 30
  Set* d = m.GetDynamicSet();
  d->newset(kDynamicSet, 2);
  d->insert(10);
  d->insert(20);
  // channel 1 note, channel 2 note, channel 1 end, channel 3 note after the end.
  m.event_list.push_back(std::make_unique<Event>(1, 60, 99, 0, 10, 2));
  m.event_list.push_back(std::make_unique<Event>(2, 61, 99, 1, 10, 2));
  m.event_list.push_back(std::make_unique<Event>(2, 61, 0, 5, 0, 0));
  m.event_list.push_back(std::make_unique<Event>(1, 60, 0, 9, 0, 0));
  m.event_list.push_back(std::make_unique<Event>(3, 62, 99, 10, 10, 2));
  m.event_list.push_back(std::make_unique<Event>(1, 63, 99, 20, 10, 2));
  m.event_list.push_back(std::make_unique<Event>(4, 64, 99, 21, 10, 2));
  m.RemapVelocity(0, 100, 10, 2);
  std::vector<std::int64_t> vels;
  for (const auto& e : m.event_list)
    vels.push_back(e->GetVEL());
  // 10*2+30 = 50 for the first lead, 20*2+30 = 70 for the second; channel 2 follows the first
  // lead; channel 3 lies after the lead's end (a channel-1 event) and keeps its velocity.
  EXPECT_EQ(vels, (std::vector<std::int64_t>{50, 50, 0, 0, 99, 70, 70}));
}

TEST_F(RestsAndRemapping, RemapVelocityRepeatsEveryTenthLead) {
  MusicalObject m(0, 50, 0, 50, 10);
  Set* d = m.GetDynamicSet();
  d->newset(kDynamicSet, 12);
  for (int v = 1; v <= 12; ++v)
    d->insert(v);
  for (int i = 0; i < 12; ++i) {
    m.event_list.push_back(std::make_unique<Event>(1, 60, 5, i, 1, 2));
  }
  m.RemapVelocity(0, 100, 10, 1);
  std::vector<std::int64_t> vels;
  for (const auto& e : m.event_list)
    vels.push_back(e->GetVEL());
  EXPECT_EQ(vels, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 10, 11}));
}

}  // namespace
}  // namespace vordel
