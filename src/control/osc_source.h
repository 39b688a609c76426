// OSC over UDP as a source of commands: a socket on 127.0.0.1 (or a wider address) at port 7770
// or the next free one, read by a thread of its own that hands packets to the OSC handler and
// sends the answers. As a session listener it tells subscribers when playbacks start and end.
// Start, Stop and the listener calls: control thread. Answers may be queued from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/command_source.h"
#include "control/osc_handler.h"
#include "control/session.h"

namespace vordel {

inline constexpr int kDefaultOscPort = 7770;

class OscSource final : public CommandSource, public SessionListener {
 public:
  struct Options {
    std::string listen = "127.0.0.1";
    int port = kDefaultOscPort;
  };
  // status: the session's snapshot (any thread); log: one line (any thread).
  OscSource(Options options, std::function<Session::Snapshot()> status,
            std::function<void(const std::string&)> log);
  ~OscSource() override;

  std::string Name() const override { return "OSC"; }
  // Binds the socket (the next free port when the asked one is taken, saying so) and starts
  // the thread.
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;
  // The port the socket listens on (0 before Start).
  int Port() const { return port_; }

  void PlaybackStarted() override;
  void PlaybackEnded(const std::string& reason) override;

 private:
  struct Mailbox;
  class Actions;
  void Run(CommandQueue& queue);
  void SendNow(const OscPeer& to, const OscMessageOut& message);
  void LogLimited(const std::string& line);

  Options options_;
  std::function<Session::Snapshot()> status_;
  std::function<void(const std::string&)> log_;
  std::shared_ptr<Mailbox> mailbox_;
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  // OSC thread only.
  std::vector<OscPeer> subscribers_;
  std::chrono::steady_clock::time_point log_window_{};
  int log_lines_ = 0;
  int log_suppressed_ = 0;
};

}  // namespace vordel
