#include "platform/spsc_ring.h"

#include <gtest/gtest.h>

#include <thread>

namespace vordel {
namespace {

TEST(SpscRing, KeepsOrderRefusesWhenFullAndWraps) {
  SpscRing<int> ring(3);  // rounded up to 4
  EXPECT_EQ(ring.Capacity(), 4u);
  EXPECT_EQ(ring.Front(), nullptr);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(ring.Push(i));
  }
  EXPECT_FALSE(ring.Push(99));
  for (int round = 0; round < 10; ++round) {  // many times around the buffer
    ASSERT_NE(ring.Front(), nullptr);
    EXPECT_EQ(*ring.Front(), round);
    ring.Pop();
    EXPECT_TRUE(ring.Push(round + 4));
    EXPECT_EQ(ring.Size(), 4u);
  }
}

TEST(SpscRing, HandsEveryValueFromOneThreadToAnother) {
  SpscRing<long> ring(64);
  constexpr long kCount = 200000;
  std::thread producer([&] {
    for (long i = 0; i < kCount;) {
      if (ring.Push(i)) {
        ++i;
      }
    }
  });
  long expected = 0;
  while (expected < kCount) {
    if (const long* v = ring.Front()) {
      ASSERT_EQ(*v, expected);
      ring.Pop();
      ++expected;
    }
  }
  producer.join();
  EXPECT_EQ(ring.Front(), nullptr);
}

}  // namespace
}  // namespace vordel
