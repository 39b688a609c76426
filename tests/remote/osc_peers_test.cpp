#include "remote/osc_peers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

namespace vordel {
namespace {

OscPeer Peer(const std::string& host, int port) {
  OscPeer p;
  if (host.find(':') == std::string::npos) {
    auto* a = reinterpret_cast<sockaddr_in*>(&p.address);
    a->sin_family = AF_INET;
    inet_pton(AF_INET, host.c_str(), &a->sin_addr);
    a->sin_port = htons(static_cast<std::uint16_t>(port));
    p.length = sizeof(sockaddr_in);
  } else {
    auto* a = reinterpret_cast<sockaddr_in6*>(&p.address);
    a->sin6_family = AF_INET6;
    inet_pton(AF_INET6, host.c_str(), &a->sin6_addr);
    a->sin6_port = htons(static_cast<std::uint16_t>(port));
    p.length = sizeof(sockaddr_in6);
  }
  return p;
}

struct AllowCase {
  const char* allow;
  const char* sender;
  bool heard;
};

class OscAllow : public ::testing::TestWithParam<AllowCase> {};

TEST_P(OscAllow, LetsInTheSendersNamed) {
  std::string error;
  const auto list = OscAllowList::Parse(GetParam().allow, &error);
  ASSERT_TRUE(list) << error;
  EXPECT_EQ(list->Allows(Peer(GetParam().sender, 9000)), GetParam().heard);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, OscAllow,
    ::testing::Values(
        AllowCase{"192.168.1.0/24", "192.168.1.77", true},
        AllowCase{"192.168.1.0/24", "192.168.2.77", false},
        AllowCase{"192.168.1.7", "192.168.1.7", true},
        AllowCase{"192.168.1.7", "192.168.1.6", false},
        AllowCase{"10.0.0.0/9", "10.127.255.255", true},
        AllowCase{"10.0.0.0/9", "10.128.0.0", false}, AllowCase{"0.0.0.0/0", "203.0.113.9", true},
        AllowCase{" 10.1.1.1 , fd00::/8", "fd12::1", true}, AllowCase{"fd00::/8", "fe80::1", false},
        AllowCase{"192.168.1.0/24", "::ffff:192.168.1.5", true},  // mapped
        AllowCase{"127.0.0.0/8,::1", "::1", true}, AllowCase{"127.0.0.0/8,::1", "127.3.4.5", true},
        AllowCase{"127.0.0.0/8,::1", "192.168.1.1", false},
        // this machine is heard whatever the list says...
        AllowCase{"192.0.2.2/32", "127.0.0.1", true}, AllowCase{"192.0.2.2/32", "::1", true},
        AllowCase{"192.0.2.2/32", "192.0.2.3", false},
        // ...unless the list says no-loopback
        AllowCase{"192.0.2.2/32,no-loopback", "127.0.0.1", false},
        AllowCase{"no-loopback, 192.0.2.2", "::1", false},
        AllowCase{"no-loopback,192.0.2.2", "192.0.2.2", true}));

TEST(OscAllow, MalformedListsSayWhichPart) {
  for (const char* bad : {"", "10.0.0.1,", "10.0.0/8", "10.0.0.0/", "10.0.0.0/33", "::1/129",
                          "10.0.0.0/x", "example.org", "no-loopback", "loopback"}) {
    std::string error;
    EXPECT_FALSE(OscAllowList::Parse(bad, &error)) << bad;
    EXPECT_EQ(error.rfind("--osc-allow: ", 0), 0u) << bad;
  }
  EXPECT_TRUE(OscAllowList::IsLoopback("127.0.0.1"));
  EXPECT_TRUE(OscAllowList::IsLoopback("::1"));
  EXPECT_FALSE(OscAllowList::IsLoopback("0.0.0.0"));
  EXPECT_FALSE(OscAllowList::IsLoopback("::"));
}

TEST(OscSubscribers, ExpireUnlessRenewedAndMakeRoomForNewOnes) {
  OscSubscribers subs;
  const auto t0 = OscClock::time_point() + std::chrono::hours(1);
  for (std::size_t i = 0; i < OscSubscribers::kMax; ++i) {
    const OscPeer p = Peer("127.0.0.1", 10000 + static_cast<int>(i));
    EXPECT_FALSE(subs.Subscribe(p, p, t0 + std::chrono::seconds(i)));
  }
  // The first one renews; the full table then makes room by dropping the oldest, the second.
  EXPECT_FALSE(subs.Subscribe(Peer("127.0.0.1", 10000), Peer("127.0.0.1", 10000),
                              t0 + std::chrono::seconds(100)));
  const auto replaced = subs.Subscribe(Peer("10.0.0.1", 9000), Peer("10.0.0.1", 9000),
                                       t0 + std::chrono::seconds(101));
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->ToString(), "127.0.0.1:10001");
  EXPECT_EQ(subs.Current(t0 + std::chrono::seconds(101)).size(), OscSubscribers::kMax);
  // Ten minutes after its subscription each is gone.
  const auto later = t0 + std::chrono::minutes(10) + std::chrono::seconds(80);
  const auto left = subs.Current(later);
  ASSERT_EQ(left.size(), 2u);  // the renewed one and the newcomer
  EXPECT_EQ(left[0].ToString(), "127.0.0.1:10000");
  // To the second: the renewed one goes, the newcomer has a second left.
  EXPECT_EQ(subs.Current(t0 + std::chrono::seconds(100) + std::chrono::minutes(10)).size(), 1u);
  subs.Unsubscribe(Peer("10.0.0.1", 9000));
  EXPECT_TRUE(subs.Current(later).empty());
}

// One sender that asks for many subscriptions (each naming another port) holds eight places and
// only ever replaces its own: everybody else stays subscribed.
TEST(OscSubscribers, OneSenderHoldsEightPlacesAndReplacesOnlyItsOwn) {
  OscSubscribers subs;
  const auto t0 = OscClock::time_point() + std::chrono::hours(1);
  const OscPeer listener = Peer("127.0.0.1", 9000);
  EXPECT_FALSE(subs.Subscribe(listener, listener, t0));
  const OscPeer flooder = Peer("127.0.0.1", 5000);
  std::vector<std::string> replaced;
  for (int i = 0; i < 70; ++i) {
    if (const auto gone = subs.Subscribe(Peer("127.0.0.1", 20000 + i), flooder,
                                         t0 + std::chrono::milliseconds(i + 1))) {
      replaced.push_back(gone->ToString());
    }
  }
  const std::vector<OscPeer> now = subs.Current(t0 + std::chrono::seconds(1));
  EXPECT_EQ(now.size(), 1 + OscSubscribers::kPerSender);
  EXPECT_EQ(now.front(), listener);
  ASSERT_EQ(replaced.size(), 70 - OscSubscribers::kPerSender);
  EXPECT_EQ(replaced.front(), "127.0.0.1:20000");  // the flooder's own oldest, first to go
  EXPECT_EQ(now.back().ToString(), "127.0.0.1:20069");
}

TEST(OscAnswerLimit, AHundredASecondToEachHost) {
  OscAnswerLimit limit;
  const auto t0 = OscClock::time_point() + std::chrono::hours(1);
  int answered = 0;
  for (int i = 0; i < 150; ++i) {  // from many ports of one host
    answered += limit.Allow(Peer("127.0.0.1", 9000 + i), t0 + std::chrono::milliseconds(i)) ? 1 : 0;
  }
  EXPECT_EQ(answered, OscAnswerLimit::kPerSecond);
  EXPECT_TRUE(limit.Allow(Peer("127.0.0.2", 9000), t0));  // another host has its own hundred
  EXPECT_EQ(limit.TakeHeldBack(), 50u);
  EXPECT_TRUE(limit.Allow(Peer("127.0.0.1", 9000), t0 + std::chrono::seconds(1)));
  EXPECT_EQ(limit.TakeHeldBack(), 0u);
}

}  // namespace
}  // namespace vordel
