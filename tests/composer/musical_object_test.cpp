#include "composer/musical_object.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "chances/random_source.h"
#include "support/test_support.h"

namespace vordel {
namespace {

TEST(MusicalObject, StartUpObjectsDeriveTheirSlots) {
  testing::CoutCapture quiet;
  MusicalObject a(0, 80, 40, 30, 25);
  EXPECT_EQ(a.GetAlgParm(0), 60);
  EXPECT_EQ(a.GetAlgParm(1), 40);
  EXPECT_EQ(a.GetAlgParm(2), 360);
  EXPECT_EQ(a.GetAlgParm(3), 8);
  for (int slot : {22, 38, 57}) {
    EXPECT_EQ(a.GetAlgParm(slot), 2) << slot;
  }
  for (int slot : {23, 39, 58}) {
    EXPECT_EQ(a.GetAlgParm(slot), 4) << slot;
  }
  MusicalObject b(1, 50, 30, 23, 20);
  EXPECT_EQ(b.GetAlgParm(0), 48);
  EXPECT_EQ(b.GetAlgParm(1), 30);
  EXPECT_EQ(b.GetAlgParm(2), 400);
  EXPECT_EQ(b.GetAlgParm(3), 7);
  EXPECT_EQ(b.GetAlgParm(22), 2);
}

TEST(MusicalObject, RegisterAtTheEdgesOfP1) {
  testing::CoutCapture quiet;
  const std::pair<int, int> cases[] = {{0, 48},  {101, 48}, {100, 72},     {24, 24},
                                       {25, 36}, {1, 24},   {INT_MIN, 48}, {INT_MAX, 48}};
  for (auto [p1, slot0] : cases) {
    EXPECT_EQ(MusicalObject(0, p1, 0, 50, 10).GetAlgParm(0), slot0) << "p1 " << p1;
  }
}

TEST(MusicalObject, TempoAtTheEdgesOfP3) {
  testing::CoutCapture quiet;
  const std::pair<int, int> cases[] = {{100, 40}, {93, 40}, {92, 80},
                                       {1, 520},  {0, 280}, {-5, 280}};
  for (auto [p3, tempo] : cases) {
    EXPECT_EQ(MusicalObject(0, 50, 0, p3, 10).GetAlgParm(2), tempo) << "p3 " << p3;
  }
}

TEST(MusicalObject, LengthAtTheEdgesOfP4) {
  testing::CoutCapture quiet;
  struct Case {
    int p4;
    std::int64_t length, cycles;
  };
  const Case cases[] = {{0, 3, 1},
                        {-1, 2, 0},
                        {4, 3, 1},
                        {5, 4, 1},
                        {25, 8, 2},
                        {-20, -1, -1},
                        {INT_MAX, 429496732, 143165577},
                        {INT_MIN, -429496727, -143165576}};
  for (const Case& c : cases) {
    MusicalObject m(0, 50, 0, 50, c.p4);
    EXPECT_EQ(m.GetAlgParm(3), c.length) << "p4 " << c.p4;
    for (int slot : {22, 38, 57}) {
      EXPECT_EQ(m.GetAlgParm(slot), c.cycles) << "p4 " << c.p4 << " slot " << slot;
    }
  }
}

TEST(MusicalObject, InstancesAndTheEmptyListMessage) {
  const int before = MusicalObject::MusObjInstances;
  testing::CoutCapture out;
  {
    MusicalObject m(0, 50, 50, 50, 10);
    EXPECT_EQ(MusicalObject::MusObjInstances, before + 1);
  }
  EXPECT_EQ(MusicalObject::MusObjInstances, before);
  EXPECT_EQ(out.str(), "\t\tNO EVENTS IN EVENTLIST...\n");
  {
    MusicalObject m(0, 50, 50, 50, 10);
    m.event_list.push_back(std::make_unique<Event>(1, 60, 1, 0, 1, 2));
  }
  EXPECT_EQ(out.str(), "\t\tNO EVENTS IN EVENTLIST...\n");  // no second message
}

TEST(MusicalObject, MarkovChainThresholds) {
  testing::CoutCapture quiet;
  MusicalObject m(0, 50, 50, 50, 10);
  // For each starting form, predict r = rand() % 100 and check the returned form.
  const int matrix[4][4] = {
      {25, 50, 80, 100}, {40, 60, 80, 100}, {40, 50, 55, 100}, {20, 60, 75, 100}};
  for (int from = 0; from < 4; ++from) {
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
      testing::Lcg lcg(seed);
      const int r = lcg.next() % 100;
      int expected = 0;
      while (r > matrix[from][expected]) {
        ++expected;
      }
      srand(seed);
      ASSERT_EQ(m.ChooseNextSetMode2(from), expected) << "from " << from << " r " << r;
    }
  }
  m.GetDynamicSet()->retrograde();
  srand(7);
  const int via_set = m.ChooseNextSetMode(1);
  srand(7);
  EXPECT_EQ(via_set, m.ChooseNextSetMode2(1));
}

TEST(MusicalObject, Reports) {
  testing::CoutCapture out;
  MusicalObject m(0, 80, 40, 30, 25);
  m.show();
  EXPECT_EQ(out.str(),
            "\n> MusicalObject:\n fnk:Statement\n p1:80\n p2:40\n p3:30\n p4:25\n"
            " tempo:360 length:8\npitch-set:\ndynamic-set:\nduration-set:\ntexture-set:\n");
  char info[256];
  m.GetMusObjectInfo(info, sizeof info);
  EXPECT_STREQ(
      info, "MusicalObject:\nfnk: Statement.\nP1: 80.\nP2: 40.\nP3: 30.\nP4: 25.\nTempo: 360.\n");
}

}  // namespace
}  // namespace vordel
