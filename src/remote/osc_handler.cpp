#include "remote/osc_handler.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <netinet/in.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>

namespace vordel {
namespace {

constexpr const char* kPrefix = "/vordel/";
constexpr int kMaxBundleDepth = 8;

struct MessageDeleter {
  void operator()(lo_message m) const { lo_message_free(m); }
};
using MessagePtr = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

bool IsNumber(char t) {
  return t == 'i' || t == 'h' || t == 'f' || t == 'd';
}

// liblo's arguments point into the packet, aligned to four bytes only: read them by copying.
template <typename T>
T Read(const lo_arg* a) {
  T v;
  std::memcpy(&v, reinterpret_cast<const char*>(a), sizeof v);
  return v;
}

const char* TextOf(const lo_arg* a) {
  return reinterpret_cast<const char*>(a);
}

// A numeric argument as an int (floats rounded, everything saturating).
int NumberOf(char t, const lo_arg* a) {
  double v = 0;
  switch (t) {
    case 'i':
      return Read<std::int32_t>(a);
    case 'h':
      v = static_cast<double>(Read<std::int64_t>(a));
      break;
    case 'f':
      v = Read<float>(a);
      break;
    case 'd':
      v = Read<double>(a);
      break;
    default:
      return 0;
  }
  if (std::isnan(v)) {
    return 0;
  }
  return static_cast<int>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
}

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// One message being handled: what it says, who sent it, and what may be done about it.
struct Request {
  const std::string& address;
  const std::string& types;
  lo_arg** argv;
  const OscPeer& from;
  OscActions& actions;

  // The sender, or the port at the sender's host that an int at `at`, the last argument, names.
  OscPeer AnswerTo(std::size_t at) const {
    if (types.size() == at + 1 && types[at] == 'i') {
      const std::int32_t port = Read<std::int32_t>(argv[at]);
      if (port > 0 && port < 65536) {
        return from.WithPort(port);
      }
    }
    return from;
  }
  int Number() const { return NumberOf(types[0], argv[0]); }
  void Post(Command::Kind kind, int value = 0) const {
    Command c;
    c.kind = kind;
    c.value = value;
    c.origin = "OSC";
    actions.Post(std::move(c));
  }
  // A command that names a text (a parameter string or a file), answered at the sender:
  // /vordel/refused when it is not carried out, and `saved` (kScore) with the file written.
  void PostText(Command::Kind kind) const {
    Command c;
    c.kind = kind;
    c.text = TextOf(argv[0]);
    c.origin = "OSC";
    c.sender = from.ToString();
    c.in_files_folder = kind != Command::Kind::kCompose;
    auto answer = [send = actions.Sender(), to = AnswerTo(1)](const char* address,
                                                              const std::string& text) {
      OscMessageOut out{address, {}};
      out.args.push_back({'s', 0, text});
      send(to, out);
    };
    c.reply = [answer](const std::string& reason) {
      if (!reason.empty()) {
        answer("/vordel/refused", reason);
      }
    };
    if (kind == Command::Kind::kScore) {
      c.saved = [answer](const std::string& path) { answer("/vordel/saved", path); };
    }
    actions.Post(std::move(c));
  }
};

// The arguments an address takes.
enum class Takes {
  kNothingOrNumber,  // a number is allowed and ignored
  kNumber,
  kNothingOrPort,   // an int: where answers go
  kTextOrTextPort,  // a string, then an optional int: where answers go
};

bool Accepts(Takes takes, const std::string& types) {
  switch (takes) {
    case Takes::kNothingOrNumber:
      return types.empty() || (types.size() == 1 && IsNumber(types[0]));
    case Takes::kNumber:
      return types.size() == 1 && IsNumber(types[0]);
    case Takes::kNothingOrPort:
      return types.empty() || (types.size() == 1 && types[0] == 'i');
    case Takes::kTextOrTextPort:
      return !types.empty() && (types[0] == 's' || types[0] == 'S') && types.size() <= 2 &&
             (types.size() == 1 || types[1] == 'i');
  }
  return false;
}

struct Route {
  const char* address;
  Takes takes;
  void (*act)(const Request&);
};

using K = Command::Kind;
constexpr Route kRoutes[] = {
    {"/vordel/piece", Takes::kTextOrTextPort, [](const Request& r) { r.PostText(K::kCompose); }},
    {"/vordel/playlist", Takes::kTextOrTextPort,
     [](const Request& r) { r.PostText(K::kPlaylist); }},
    {"/vordel/score", Takes::kTextOrTextPort, [](const Request& r) { r.PostText(K::kScore); }},
    {"/vordel/play", Takes::kNothingOrNumber, [](const Request& r) { r.Post(K::kPlay); }},
    {"/vordel/stop", Takes::kNothingOrNumber, [](const Request& r) { r.Post(K::kStop); }},
    {"/vordel/next", Takes::kNothingOrNumber, [](const Request& r) { r.Post(K::kNext); }},
    {"/vordel/quit", Takes::kNothingOrNumber, [](const Request& r) { r.Post(K::kQuit); }},
    {"/vordel/endless", Takes::kNumber,
     [](const Request& r) { r.Post(K::kEndless, r.Number() != 0 ? 1 : 0); }},
    {"/vordel/link", Takes::kNumber,
     [](const Request& r) { r.Post(K::kLink, r.Number() != 0 ? 1 : 0); }},
    {"/vordel/volume", Takes::kNumber,
     [](const Request& r) { r.Post(K::kVolume, std::clamp(r.Number(), 0, 127)); }},
    {"/vordel/ensemble", Takes::kNumber,
     [](const Request& r) { r.Post(K::kEnsemble, r.Number()); }},
    {"/vordel/status", Takes::kNothingOrPort,
     [](const Request& r) { r.actions.Send(r.AnswerTo(0), r.actions.Status()); }},
    {"/vordel/subscribe", Takes::kNothingOrPort,
     [](const Request& r) { r.actions.Subscribe(r.AnswerTo(0), r.from); }},
    {"/vordel/unsubscribe", Takes::kNothingOrPort,
     [](const Request& r) { r.actions.Unsubscribe(r.AnswerTo(0)); }},
};

void HandleMessage(std::uint8_t* data, std::size_t size, const OscPeer& from, OscActions& actions) {
  int result = 0;
  MessagePtr message(lo_message_deserialise(data, size, &result));
  const char* path = message ? lo_get_path(data, static_cast<ssize_t>(size)) : nullptr;
  if (!message || path == nullptr) {
    actions.Log("OSC: a packet of " + std::to_string(size) + " bytes from " + from.ToString() +
                " is not OSC; ignored");
    return;
  }
  const std::string address = path;
  const char* types_raw = lo_message_get_types(message.get());
  const std::string types = types_raw != nullptr ? types_raw : "";
  const auto route = std::find_if(std::begin(kRoutes), std::end(kRoutes),
                                  [&](const Route& r) { return address == r.address; });
  if (route == std::end(kRoutes)) {
    actions.Log("OSC: no address " + address + (address.rfind(kPrefix, 0) == 0 ? "" : " here") +
                " (from " + from.ToString() + "); ignored");
  } else if (!Accepts(route->takes, types)) {
    actions.Log("OSC: " + address + " with arguments '" + types + "' from " + from.ToString() +
                " is not understood; ignored");
  } else {
    route->act(Request{address, types, lo_message_get_argv(message.get()), from, actions});
  }
}

void HandlePacket(std::uint8_t* data, std::size_t size, const OscPeer& from, OscActions& actions,
                  int depth) {
  static const char kBundle[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
  if (size >= 16 && std::memcmp(data, kBundle, 8) == 0) {
    if (depth >= kMaxBundleDepth) {
      actions.Log("OSC: bundles nested too deep from " + from.ToString() + "; ignored");
      return;
    }
    // "#bundle", a time tag (not waited for: everything acts when it arrives), then elements,
    // each a 32-bit size and that many bytes.
    std::size_t at = 16;
    while (at + 4 <= size) {
      const std::uint32_t length = ReadBigEndian32(data + at);
      at += 4;
      if (length > size - at || length % 4 != 0) {
        actions.Log("OSC: a broken bundle from " + from.ToString() + "; the rest is ignored");
        return;
      }
      HandlePacket(data + at, length, from, actions, depth + 1);
      at += length;
    }
    return;
  }
  HandleMessage(data, size, from, actions);
}

}  // namespace

OscPeer OscPeer::WithPort(int port) const {
  OscPeer p = *this;
  if (p.address.ss_family == AF_INET) {
    reinterpret_cast<sockaddr_in*>(&p.address)->sin_port = htons(static_cast<std::uint16_t>(port));
  } else if (p.address.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&p.address)->sin6_port =
        htons(static_cast<std::uint16_t>(port));
  }
  return p;
}

bool OscPeer::operator==(const OscPeer& other) const {
  return length == other.length && std::memcmp(&address, &other.address, length) == 0;
}

std::string OscPeer::Host() const {
  const std::string s = ToString();
  return s.substr(0, s.rfind(':'));
}

std::string OscPeer::ToString() const {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (address.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
  }
  return std::string(host) + ":" + std::to_string(port);
}

void HandleOscPacket(std::uint8_t* data, std::size_t size, const OscPeer& from,
                     OscActions& actions) {
  HandlePacket(data, size, from, actions, 0);
}

std::vector<std::uint8_t> SerialiseOscMessage(const OscMessageOut& out) {
  MessagePtr m(lo_message_new());
  for (const OscArgument& a : out.args) {
    if (a.type == 's') {
      lo_message_add_string(m.get(), a.s.c_str());
    } else if (a.type == 'f') {
      lo_message_add_float(m.get(), a.f);
    } else {
      lo_message_add_int32(m.get(), a.i);
    }
  }
  const std::size_t length = lo_message_length(m.get(), out.path.c_str());
  std::vector<std::uint8_t> bytes(length);
  std::size_t written = length;
  lo_message_serialise(m.get(), out.path.c_str(), bytes.data(), &written);
  bytes.resize(written);
  return bytes;
}

}  // namespace vordel
