// The JACK transport as a source of commands and a listener of playbacks. Following it, the
// transport's start plays the current piece and its stop stops it (looked at every 10 ms on a
// thread of the source's own). Leading it, vordel's playbacks start the transport from the top
// and stop it, and while one plays vordel is the transport's timebase: bar, beat and tick in
// bars of four quarter notes, as the score is written, and the tempo in force. Start, Stop and
// the listener's calls: control thread.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "control/session.h"
#include "outputs/jack_transport.h"
#include "remote/command_source.h"

namespace vordel {

enum class JackTransportMode { kOff, kFollow, kLead };

// "follow" or "lead" (nullopt for anything else).
std::optional<JackTransportMode> ParseJackTransportMode(const std::string& text);

class JackTransportSource final : public CommandSource, public SessionListener {
 public:
  // `client` names the JACK client ("vordel-transport").
  JackTransportSource(const Session& session, JackTransportMode mode, std::string client);
  ~JackTransportSource() override;
  std::string Name() const override { return "JACK transport"; }
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;

  void PlaybackStarted() override;
  void PlaybackEnded(const std::string& reason) override;

 private:
  void Follow(CommandQueue& queue);

  const Session& session_;
  JackTransportMode mode_;
  std::string client_;
  std::unique_ptr<JackTransport> transport_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace vordel
