// The command sources one face of the program listens to: its own (the clipboard, standard
// input) and the remote ones every face shares (OSC when a port is given, the MIDI input when
// it works, the JACK transport when asked for). Started and stopped together; those that also
// hear of playbacks (OSC for its subscribers, the JACK transport it leads) hear of them while
// they run. Control thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/session.h"
#include "remote/command_source.h"
#include "remote/jack_transport_source.h"
#include "remote/link_source.h"
#include "remote/osc_source.h"

namespace vordel {

class CommandSources {
 public:
  using LogFn = std::function<void(const std::string&)>;
  // log: one line (any thread), without the program's name; stray: one line about a message
  // from outside that is ignored (any thread; null: to log).
  CommandSources(Session& session, LogFn log, LogFn stray = nullptr);
  ~CommandSources();
  CommandSources(const CommandSources&) = delete;
  CommandSources& operator=(const CommandSources&) = delete;

  void Add(std::unique_ptr<CommandSource> source);
  // OSC (port 0: none) and the session's MIDI input, if it works (following a MIDI clock's
  // tempo when `follow_clock`).
  void AddRemote(const OscSource::Options& osc, bool follow_clock = false);
  // The JACK transport, followed or led (kOff: nothing), through a client named `client`.
  void AddJackTransport(JackTransportMode mode, const std::string& client);
  // The Link session (joined at the start when options.join; else when asked to). Once.
  LinkSource& AddLink(const LinkSource::Options& options);
  // Starts every source in the order added; one log line for each that cannot work here.
  // Returns the names of those that run.
  std::vector<std::string> Start(CommandQueue& queue);
  // The port OSC listens on (0 when it does not).
  int OscPort() const;
  // Stops every source (once); OSC no longer hears of playbacks.
  void Stop();

 private:
  Session& session_;
  LogFn log_;
  LogFn stray_;
  std::vector<std::unique_ptr<CommandSource>> sources_;
  OscSource* osc_ = nullptr;
  std::vector<SessionListener*> listening_;
  bool stopped_ = false;
};

}  // namespace vordel
