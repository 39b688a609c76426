// An Ableton Link session: tempo, beat and phase shared with other programs on the local
// network. While vordel is in the session its playbacks run on the session's timeline: each
// begins on the session's next bar (`quantum` beats), and either follows the session's tempo
// with the piece's shape kept (every tempo of the piece scaled by one ratio) or leads it (the
// session takes the tempo in force at each part of the piece, and the piece's beats are the
// session's). A peer's start or stop starts or stops vordel, and vordel's start and stop (not a
// piece's own end) reach the peers. Joining never changes the session's tempo; leaving it, a
// playback under way goes on at its pace, on vordel's own clock.
//
// Start, Stop, Join, Leave and the listener's calls: control thread. The source's own thread
// publishes the session's timeline to the player every 2 ms; Link's threads tell it of peers,
// tempo and start/stop.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "control/session.h"
#include "player/beat_timeline.h"
#include "remote/command_source.h"

namespace ableton {
class Link;
}

namespace vordel {

enum class LinkTempo { kFollow, kLead };

// "follow" or "lead" (nullopt for anything else).
std::optional<LinkTempo> ParseLinkTempo(const std::string& text);

// "Link: 1 peer", "Link: 3 peers", "Link: no peers".
std::string PeersLine(std::size_t peers);

class LinkSource final : public CommandSource, public SessionListener {
 public:
  struct Options {
    bool join = false;  // join the session as the source starts
    double quantum = 4;
    LinkTempo tempo = LinkTempo::kFollow;
  };
  using LogFn = std::function<void(const std::string&)>;
  // log: one line, from any thread.
  LinkSource(Session& session, Options options, LogFn log);
  ~LinkSource() override;
  // "Link" while in the session, "" (none to list) out of it.
  std::string Name() const override { return joined_ ? "Link" : ""; }
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;

  // Joins the session (true) or leaves it; says what became of it.
  std::string Switch(bool join);
  bool Joined() const { return joined_; }

  void PlaybackEnded(const std::string& reason) override;

 private:
  void Join();
  void Leave();
  void Run();
  // Publishes the session's line to the player; leads its tempo when asked to; starts and
  // stops the session with vordel, and vordel with the session.
  void Look();

  Session& session_;
  Options options_;
  LogFn log_;
  CommandQueue* queue_ = nullptr;
  std::unique_ptr<ableton::Link> link_;
  BeatTimeline timeline_;
  bool joined_ = false;
  // The poll thread's (and Join's, before it runs): the session's start/stop state as last seen,
  // and the player's count of starts on the timeline.
  bool seen_playing_ = false;
  unsigned seen_starts_ = 0;
  std::atomic<bool> stop_asked_{false};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace vordel
