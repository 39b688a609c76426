// OSC over UDP as a source of commands: a socket on 127.0.0.1 (or a wider address) at port 7770
// or the next free one, read by a thread of its own that hands the packets of the senders it lets
// in to the OSC handler and sends the answers, at most a hundred a second to each host. As a
// session listener it tells subscribers when playbacks start and end. Start, Stop and the
// listener calls: control thread. Answers may be queued from any thread.
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

#include "control/session.h"
#include "remote/command_source.h"
#include "remote/osc_handler.h"
#include "remote/osc_peers.h"

namespace vordel {

inline constexpr int kDefaultOscPort = 7770;

class OscSource final : public CommandSource, public SessionListener {
 public:
  struct Options {
    std::string listen = "127.0.0.1";
    int port = kDefaultOscPort;
    // The senders heard besides this machine: "ADDR[/BITS],..." (no-loopback among them: not
    // this machine either).
    std::string allow;
  };
  using LogFn = std::function<void(const std::string&)>;
  // status: the session's snapshot (any thread); log: one line about the source (any thread);
  // stray: one line about a packet that is ignored (null: to log).
  OscSource(Options options, std::function<Session::Snapshot()> status, LogFn log,
            LogFn stray = nullptr);
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
  // An answer (limited: counted against the host's answers a second) or a notice to a subscriber.
  void SendNow(const OscPeer& to, const OscMessageOut& message, bool limited = true);
  void LogLimited(const std::string& line);

  Options options_;
  std::function<Session::Snapshot()> status_;
  LogFn log_;
  LogFn stray_;
  std::shared_ptr<Mailbox> mailbox_;
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  // OSC thread only.
  OscAllowList allow_;
  OscSubscribers subscribers_;
  OscAnswerLimit limit_;
  OscClock::time_point held_back_said_{};
  std::chrono::steady_clock::time_point log_window_{};
  int log_lines_ = 0;
  int log_suppressed_ = 0;
};

}  // namespace vordel
