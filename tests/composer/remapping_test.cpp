#include <gtest/gtest.h>

#include <vector>

#include "chances/random_source.h"
#include "composer/musical_object.h"
#include "support/test_support.h"

namespace vordel {
namespace {

class Remapping : public ::testing::Test {
 protected:
  void SetUp() override { ResetRestPlanners(); }
  testing::CoutCapture quiet_;
  ScopedClockPin pin_{500};
};

void FourNotes(MusicalObject& m, int ch = 1) {
  for (int i = 0; i < 4; ++i) {
    m.event_list.push_back(std::make_unique<Event>(ch, 40 + i, 70, i * 10, 10, 2));
    m.event_list.push_back(std::make_unique<Event>(ch, 40 + i, 0, i * 10 + 9, 0, 0));
  }
}

TEST_F(Remapping, RemapPitchRepeatsEverySecondNote) {
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

TEST_F(Remapping, RemapPitchWindowAndUnmatchedNotes) {
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

TEST_F(Remapping, RemapVelocityLeadsWithChannelOne) {
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

TEST_F(Remapping, RemapVelocityRepeatsEveryTenthLead) {
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
