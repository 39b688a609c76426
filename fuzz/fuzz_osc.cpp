// Any UDP packet at the OSC port: the handler must never crash, leak or act on more than the
// addresses it knows, with arguments in their ranges.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "remote/osc_handler.h"

namespace {

class Recorder : public vordel::OscActions {
 public:
  void Post(vordel::Command c) override {
    if (c.kind == vordel::Command::Kind::kVolume && (c.value < 0 || c.value > 127)) {
      __builtin_trap();
    }
    if (c.latched) {
      __builtin_trap();
    }
    if (c.reply) {
      c.reply("refused");
    }
  }
  void Send(const vordel::OscPeer&, const vordel::OscMessageOut& m) override {
    if (vordel::SerialiseOscMessage(m).empty()) {
      __builtin_trap();
    }
  }
  std::function<void(const vordel::OscPeer&, const vordel::OscMessageOut&)> Sender() override {
    return [this](const vordel::OscPeer& p, const vordel::OscMessageOut& m) { Send(p, m); };
  }
  void Subscribe(const vordel::OscPeer&, const vordel::OscPeer&) override {}
  void Unsubscribe(const vordel::OscPeer&) override {}
  vordel::OscMessageOut Status() override { return {"/vordel/status", {{'i', 0, ""}}}; }
  void Log(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> packet(data, data + size);
  vordel::OscPeer from;
  auto* in = reinterpret_cast<sockaddr_in*>(&from.address);
  in->sin_family = AF_INET;
  in->sin_port = htons(9000);
  in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  from.length = sizeof(sockaddr_in);
  Recorder recorder;
  vordel::HandleOscPacket(packet.data(), packet.size(), from, recorder);
  return 0;
}
