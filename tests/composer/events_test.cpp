#include "composer/events.h"

#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <vector>

#include "chances/random_source.h"
#include "composer/event_order.h"
#include "composer/musical_object.h"
#include "support/test_support.h"

namespace vordel {
namespace {

TEST(Event, InstancesAreCounted) {
  const int before = Event::EvInstances;
  {
    Event a(1, 60, 90, 0, 100, 2);
    auto b = std::make_unique<Event>(2, 61, 0, 5, 0);
    EXPECT_EQ(Event::EvInstances, before + 2);
    EXPECT_EQ(b->GetEXP(), 0);
  }
  EXPECT_EQ(Event::EvInstances, before);
}

TEST(Event, ShowPrintsTheFiveNumbers) {
  testing::CoutCapture out;
  Event(1, 67, 50, 0, 332, 2).show();
  Event(4, 53, 0, 3000000200LL, 0, 0).show();
  EXPECT_EQ(out.str(), ">EV1,67,50,0,332\n>EV4,53,0,3000000200,0\n");
}

std::vector<std::int64_t> TimesOf(const EventList& l) {
  std::vector<std::int64_t> t;
  for (const auto& e : l) {
    t.push_back(e->GetTIME());
  }
  return t;
}

std::unique_ptr<MusicalObject> WithTimes(const std::vector<std::int64_t>& times) {
  auto obj = std::make_unique<MusicalObject>(0, 50, 50, 50, 10);
  int key = 0;
  for (auto t : times) {
    obj->event_list.push_back(std::make_unique<Event>(1, key++, 1, t, 0, 2));
  }
  return obj;
}

TEST(EventOrder, SortKeepsEqualTimesInTheirOrder) {
  testing::CoutCapture quiet;
  auto obj = WithTimes({30, 10, 20, 10});
  obj->SortEventList();
  EXPECT_EQ(TimesOf(obj->event_list), (std::vector<std::int64_t>{10, 10, 20, 30}));
  auto it = obj->event_list.begin();
  EXPECT_EQ((*it)->GetKEY(), 1);  // the first 10 of the input stays first
  EXPECT_EQ((*++it)->GetKEY(), 3);
}

TEST(EventOrder, SortEdgeCases) {
  testing::CoutCapture quiet;
  auto empty = WithTimes({});
  empty->SortEventList();
  EXPECT_TRUE(empty->event_list.empty());
  auto two = WithTimes({10, 5});
  two->SortEventList();
  EXPECT_EQ(TimesOf(two->event_list), (std::vector<std::int64_t>{5, 10}));
  auto last_smallest = WithTimes({4, 5, 6, -3});
  last_smallest->SortEventList();
  EXPECT_EQ(TimesOf(last_smallest->event_list), (std::vector<std::int64_t>{-3, 4, 5, 6}));
}

TEST(EventOrder, ListSortAndBubbleSortAgreeOnManyEqualTimes) {
  testing::CoutCapture quiet;
  srand(31337);
  for (int round = 0; round < 50; ++round) {
    const int n = 1 + rand() % 300;
    std::vector<std::int64_t> times;
    for (int i = 0; i < n; ++i) {
      times.push_back(rand() % 12 - 3);  // few distinct values, some negative
    }
    auto a = WithTimes(times);
    a->SortEventList();
    std::list<Event*> b;
    std::vector<std::unique_ptr<Event>> owned;
    int key = 0;
    for (auto t : times) {
      owned.push_back(std::make_unique<Event>(1, key++, 1, t, 0, 2));
      b.push_back(owned.back().get());
    }
    bubble_sort(b.begin(), b.end(), AscendingTime{});
    ASSERT_EQ(a->event_list.size(), b.size());
    auto ia = a->event_list.begin();
    for (auto* e : b) {
      ASSERT_EQ((*ia)->GetKEY(), e->GetKEY()) << "round " << round;
      ++ia;
    }
  }
}

}  // namespace
}  // namespace vordel
