// What an OSC packet asks for, apart from the socket it came in on: the addresses of vordel's
// OSC interface read from a packet (a message, or a bundle of them) and turned into commands,
// answers and subscriptions. Anything else, wrong types, or a packet that is not OSC: one log
// line and no other effect. Runs on the OSC thread (and in the fuzzer); not real-time safe.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "control/command.h"

namespace vordel {

// Where a packet came from, or where an answer goes.
struct OscPeer {
  sockaddr_storage address{};
  socklen_t length = 0;
  // The same host at another port (an answer asked for at a port of the sender's choosing).
  OscPeer WithPort(int port) const;
  bool operator==(const OscPeer& other) const;
  std::string ToString() const;
  // The host alone, without the port.
  std::string Host() const;
};

struct OscArgument {
  char type = 'i';  // 'i', 's' or 'f'
  std::int32_t i = 0;
  std::string s;
  float f = 0;
};

struct OscMessageOut {
  std::string path;
  std::vector<OscArgument> args;
};

// What the handler needs around it.
class OscActions {
 public:
  virtual ~OscActions() = default;
  virtual void Post(Command command) = 0;
  virtual void Send(const OscPeer& to, const OscMessageOut& message) = 0;
  // A way to send that may be kept and called later from another thread (answers to commands
  // that the control thread carries out), even after the source has stopped.
  virtual std::function<void(const OscPeer&, const OscMessageOut&)> Sender() = 0;
  // `peer` hears of the playbacks; `sender` asked for it.
  virtual void Subscribe(const OscPeer& peer, const OscPeer& sender) = 0;
  virtual void Unsubscribe(const OscPeer& peer) = 0;
  // The /vordel/status answer's arguments.
  virtual OscMessageOut Status() = 0;
  virtual void Log(const std::string& line) = 0;
};

// Reads one UDP packet. `data` is the packet's bytes (the handler may change them).
void HandleOscPacket(std::uint8_t* data, std::size_t size, const OscPeer& from,
                     OscActions& actions);

// Bytes of one OSC message (for answers).
std::vector<std::uint8_t> SerialiseOscMessage(const OscMessageOut& message);

}  // namespace vordel
