// A peer on its own UDP port on the loopback address, as SuperCollider or a test tool has: it
// sends OSC messages with liblo and notes what it is sent.
#pragma once

#include <lo/lo.h>

#include <string>
#include <vector>

namespace vordel::testing {

class OscPeer {
 public:
  // Port "0": the kernel picks a free one. Left to liblo, a port it draws that another test
  // process holds already costs a socket it never closes.
  OscPeer() : server_(lo_server_new_with_proto("0", LO_UDP, nullptr)) {
    lo_server_add_method(server_, nullptr, nullptr, &OscPeer::Got, this);
  }
  ~OscPeer() { lo_server_free(server_); }
  OscPeer(const OscPeer&) = delete;
  OscPeer& operator=(const OscPeer&) = delete;

  void Send(int port, const char* path, const char* text = nullptr) {
    lo_address to = lo_address_new("127.0.0.1", std::to_string(port).c_str());
    lo_message m = lo_message_new();
    if (text != nullptr) {
      lo_message_add_string(m, text);
    }
    lo_send_message_from(to, server_, path, m);
    lo_message_free(m);
    lo_address_free(to);
  }
  // The next message to this peer, waiting up to `tries` tenths of a second: its path and
  // types ("" when none came).
  std::pair<std::string, std::string> Receive(int tries = 100) {
    got_.clear();
    for (int i = 0; i < tries && got_.empty(); ++i) {
      lo_server_recv_noblock(server_, 100);
    }
    return got_.empty() ? std::pair<std::string, std::string>{} : got_.front();
  }

 private:
  static int Got(const char* path, const char* types, lo_arg**, int, lo_message, void* self) {
    static_cast<OscPeer*>(self)->got_.emplace_back(path, types);
    return 0;
  }
  lo_server server_;
  std::vector<std::pair<std::string, std::string>> got_;
};

}  // namespace vordel::testing
