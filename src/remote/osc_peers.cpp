#include "remote/osc_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "control/text_fields.h"

namespace vordel {
namespace {

// The peer's address as 4 bytes (IPv4, also when mapped into IPv6) or 16; its family.
int AddressBytes(const OscPeer& peer, std::uint8_t* out) {
  if (peer.address.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&peer.address);
    std::memcpy(out, &a->sin_addr, 4);
    return AF_INET;
  }
  if (peer.address.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&peer.address);
    if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr)) {
      std::memcpy(out, reinterpret_cast<const std::uint8_t*>(&a->sin6_addr) + 12, 4);
      return AF_INET;
    }
    std::memcpy(out, &a->sin6_addr, 16);
    return AF_INET6;
  }
  return 0;
}

}  // namespace

std::optional<OscAllowList> OscAllowList::Parse(const std::string& text, std::string* error) {
  OscAllowList list;
  for (const std::string& part : CommaFields(text)) {
    if (part.empty()) {
      *error = "--osc-allow: an empty address in '" + text + "'";
      return std::nullopt;
    }
    if (part == "no-loopback") {
      list.loopback_ = false;
      continue;
    }
    const std::size_t slash = part.find('/');
    const std::string address = part.substr(0, slash);
    Range r;
    if (inet_pton(AF_INET, address.c_str(), r.bytes) == 1) {
      r.family = AF_INET;
    } else if (inet_pton(AF_INET6, address.c_str(), r.bytes) == 1) {
      r.family = AF_INET6;
    } else {
      *error = "--osc-allow: '" + address + "' is not an IPv4 or IPv6 address";
      return std::nullopt;
    }
    const int width = r.family == AF_INET ? 32 : 128;
    r.bits = width;
    if (slash != std::string::npos) {
      const std::string bits = part.substr(slash + 1);
      if (bits.empty() || bits.size() > 3 ||
          !std::all_of(bits.begin(), bits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
          std::stoi(bits) > width) {
        *error = "--osc-allow: '" + part + "' needs a prefix length from 0 to " +
                 std::to_string(width) + " after the /";
        return std::nullopt;
      }
      r.bits = std::stoi(bits);
    }
    list.ranges_.push_back(r);
  }
  if (!list.loopback_ && list.ranges_.empty()) {
    *error = "--osc-allow: '" + text + "' lets nobody in";
    return std::nullopt;
  }
  return list;
}

OscAllowList OscAllowList::Loopback() {
  return OscAllowList();
}

bool OscAllowList::Allows(const OscPeer& peer) const {
  std::uint8_t bytes[16] = {};
  const int family = AddressBytes(peer, bytes);
  static const std::uint8_t kIpv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (loopback_ && ((family == AF_INET && bytes[0] == 127) ||
                    (family == AF_INET6 && std::memcmp(bytes, kIpv6Loopback, 16) == 0))) {
    return true;
  }
  for (const Range& r : ranges_) {
    if (r.family != family) {
      continue;
    }
    const int whole = r.bits / 8;
    const int rest = r.bits % 8;
    if (std::memcmp(bytes, r.bytes, static_cast<std::size_t>(whole)) != 0) {
      continue;
    }
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    if (rest == 0 || ((bytes[whole] ^ r.bytes[whole]) & mask) == 0) {
      return true;
    }
  }
  return false;
}

bool OscAllowList::IsLoopback(const std::string& listen) {
  std::uint8_t bytes[16] = {};
  if (inet_pton(AF_INET, listen.c_str(), bytes) == 1) {
    return bytes[0] == 127;
  }
  in6_addr a6{};
  return inet_pton(AF_INET6, listen.c_str(), &a6) == 1 && IN6_IS_ADDR_LOOPBACK(&a6);
}

std::optional<OscPeer> OscSubscribers::Subscribe(const OscPeer& peer, const OscPeer& sender,
                                                 OscClock::time_point now) {
  for (Subscription& s : subscriptions_) {
    if (s.peer == peer) {
      s.since = now;
      s.sender = sender;
      return std::nullopt;
    }
  }
  Current(now);
  auto oldest_of = [&](auto keep) {
    auto oldest = subscriptions_.end();
    for (auto it = subscriptions_.begin(); it != subscriptions_.end(); ++it) {
      if (keep(*it) && (oldest == subscriptions_.end() || it->since < oldest->since)) {
        oldest = it;
      }
    }
    return oldest;
  };
  const auto own = static_cast<std::size_t>(
      std::count_if(subscriptions_.begin(), subscriptions_.end(),
                    [&](const Subscription& s) { return s.sender == sender; }));
  auto gone = subscriptions_.end();
  if (own >= kPerSender) {
    gone = oldest_of([&](const Subscription& s) { return s.sender == sender; });
  } else if (subscriptions_.size() >= kMax) {
    gone = oldest_of([](const Subscription&) { return true; });
  }
  std::optional<OscPeer> replaced;
  if (gone != subscriptions_.end()) {
    replaced = gone->peer;
    subscriptions_.erase(gone);
  }
  subscriptions_.push_back({peer, sender, now});
  return replaced;
}

void OscSubscribers::Unsubscribe(const OscPeer& peer) {
  subscriptions_.erase(std::remove_if(subscriptions_.begin(), subscriptions_.end(),
                                      [&](const Subscription& s) { return s.peer == peer; }),
                       subscriptions_.end());
}

std::vector<OscPeer> OscSubscribers::Current(OscClock::time_point now) {
  subscriptions_.erase(
      std::remove_if(subscriptions_.begin(), subscriptions_.end(),
                     [&](const Subscription& s) { return now - s.since >= kLifetime; }),
      subscriptions_.end());
  std::vector<OscPeer> peers;
  for (const Subscription& s : subscriptions_) {
    peers.push_back(s.peer);
  }
  return peers;
}

bool OscAnswerLimit::Allow(const OscPeer& to, OscClock::time_point now) {
  const std::string host = to.Host();
  auto it = hosts_.find(host);
  if (it == hosts_.end()) {
    if (hosts_.size() >= 1024) {
      // Forget the hosts that had no answer for a second: the table never grows without end.
      for (auto h = hosts_.begin(); h != hosts_.end();) {
        h = now - h->second.newest >= std::chrono::seconds(1) ? hosts_.erase(h) : std::next(h);
      }
      if (hosts_.size() >= 1024) {
        ++held_back_;
        return false;
      }
    }
    it = hosts_.emplace(host, Recent{}).first;
  }
  Recent& r = it->second;
  const OscClock::time_point oldest = r.times[r.next];
  if (oldest != OscClock::time_point{} && now - oldest < std::chrono::seconds(1)) {
    ++held_back_;
    return false;
  }
  r.times[r.next] = now;
  r.next = (r.next + 1) % r.times.size();
  r.newest = now;
  return true;
}

std::uint64_t OscAnswerLimit::TakeHeldBack() {
  const std::uint64_t n = held_back_;
  held_back_ = 0;
  return n;
}

}  // namespace vordel
