// Who may talk to vordel over OSC, and who hears from it: the senders let in (this machine, and
// others by address and prefix length), the subscribers (each for ten minutes unless it subscribes
// again; at most eight places for one sender; when all places are taken a new one replaces the
// oldest), and at most a hundred answers a second to each host, so that a listening vordel is
// neither a tool for locking out its users nor an amplifier of other people's traffic. What
// subscribers are told is not an answer and is not held back. OSC thread only (and tests); not
// real-time safe.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "remote/osc_handler.h"

namespace vordel {

using OscClock = std::chrono::steady_clock;

class OscAllowList {
 public:
  // "ADDR[/BITS],...": IPv4 or IPv6 addresses, each with the number of leading bits that must
  // match (all of them when not given), heard besides this machine's own loopback addresses; the
  // word no-loopback in the list leaves those out. nullopt, with the reason, when a part is
  // malformed or nobody at all would be heard.
  static std::optional<OscAllowList> Parse(const std::string& text, std::string* error);
  // 127.0.0.0/8 and ::1 alone.
  static OscAllowList Loopback();
  bool Allows(const OscPeer& peer) const;
  // Whether every address in `listen` is a loopback address (127.x, ::1).
  static bool IsLoopback(const std::string& listen);

 private:
  struct Range {
    int family;                   // AF_INET or AF_INET6
    std::uint8_t bytes[16] = {};  // the address
    int bits = 0;                 // leading bits that must match
  };
  std::vector<Range> ranges_;
  bool loopback_ = true;
};

class OscSubscribers {
 public:
  static constexpr std::size_t kMax = 64;
  static constexpr std::size_t kPerSender = 8;
  static constexpr std::chrono::seconds kLifetime{600};

  // Adds the peer (answers go there; `sender` is where the request came from), or renews its
  // subscription. A sender holds at most kPerSender places: beyond that its own oldest one goes.
  // When all places are taken the oldest of all goes. What went is returned.
  std::optional<OscPeer> Subscribe(const OscPeer& peer, const OscPeer& sender,
                                   OscClock::time_point now);
  void Unsubscribe(const OscPeer& peer);
  // The subscriptions that have not expired (the expired ones are forgotten).
  std::vector<OscPeer> Current(OscClock::time_point now);

 private:
  struct Subscription {
    OscPeer peer;
    OscPeer sender;
    OscClock::time_point since;
  };
  std::vector<Subscription> subscriptions_;
};

class OscAnswerLimit {
 public:
  static constexpr int kPerSecond = 100;
  // Whether one more answer may go to this peer's host now (and counts it): never more than
  // kPerSecond within any one second.
  bool Allow(const OscPeer& to, OscClock::time_point now);
  // Answers held back since the last call.
  std::uint64_t TakeHeldBack();

 private:
  // The times of the last kPerSecond answers to a host, oldest at `next`.
  struct Recent {
    std::array<OscClock::time_point, kPerSecond> times{};
    std::size_t next = 0;
    OscClock::time_point newest{};
  };
  std::map<std::string, Recent> hosts_;
  std::uint64_t held_back_ = 0;
};

}  // namespace vordel
