#include "remote/link_source.h"

#include <ableton/Link.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/clock.h"

namespace vordel {
namespace {

constexpr double kTempoBefore = 120;  // a session's tempo when vordel makes it, without a piece

std::string TempoText(double bpm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", bpm);
  return text;
}

}  // namespace

std::optional<LinkTempo> ParseLinkTempo(const std::string& text) {
  if (text == "follow") {
    return LinkTempo::kFollow;
  }
  if (text == "lead") {
    return LinkTempo::kLead;
  }
  return std::nullopt;
}

std::string PeersLine(std::size_t peers) {
  if (peers == 0) {
    return "Link: no peers";
  }
  return "Link: " + std::to_string(peers) + (peers == 1 ? " peer" : " peers");
}

LinkSource::LinkSource(Session& session, Options options, LogFn log)
    : session_(session), options_(options), log_(std::move(log)) {}

LinkSource::~LinkSource() {
  Stop();
}

bool LinkSource::Start(CommandQueue& queue, std::string* /*error*/) {
  queue_ = &queue;
  if (options_.join) {
    log_(Switch(true));
  }
  return true;
}

void LinkSource::Stop() {
  Leave();
  link_.reset();
}

std::string LinkSource::Switch(bool join) {
  if (join == joined_) {
    return join ? "already in the Link session" : "not in a Link session";
  }
  if (!join) {
    Leave();
    return "left the Link session; vordel plays on its own clock";
  }
  Join();
  return "joined the Link session at " + TempoText(link_->captureAppSessionState().tempo()) +
         " beats a minute (" + (options_.tempo == LinkTempo::kLead ? "leading" : "following") +
         " its tempo, a bar of " + TempoText(options_.quantum) + " beats)";
}

void LinkSource::Join() {
  if (!link_) {
    // Alone in the session, vordel's tempo is the current piece's; with peers, theirs.
    double bpm = kTempoBefore;
    if (const Schedule* s = session_.transport().player().GetSchedule();
        s != nullptr && !s->beats.empty()) {
      bpm = s->beats.points.front().tempo;
    }
    link_ = std::make_unique<ableton::Link>(bpm);
    link_->setNumPeersCallback([this](std::size_t peers) { log_(PeersLine(peers)); });
    link_->setTempoCallback([this](double bpm) {
      log_("Link: the session plays at " + TempoText(bpm) + " beats a minute");
    });
  }
  link_->enableStartStopSync(true);
  link_->enable(true);
  seen_playing_ = link_->captureAppSessionState().isPlaying();
  seen_starts_ = session_.transport().player().TimelineStarts();
  stop_asked_.store(false);
  Look();
  session_.transport().player().FollowTimeline(&timeline_,
                                               options_.tempo == LinkTempo::kLead
                                                   ? CompositionPlayer::TimelineMode::kGrid
                                                   : CompositionPlayer::TimelineMode::kShape,
                                               options_.quantum);
  stopping_.store(false);
  thread_ = std::thread([this] { Run(); });
  joined_ = true;
}

void LinkSource::Leave() {
  if (!joined_) {
    return;
  }
  session_.transport().player().FollowTimeline(nullptr, CompositionPlayer::TimelineMode::kShape,
                                               options_.quantum);
  stopping_.store(true);
  if (thread_.joinable()) {
    thread_.join();
  }
  Look();  // a stop that came last still reaches the peers
  link_->enable(false);
  joined_ = false;
}

void LinkSource::Run() {
  while (!stopping_.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Look();
  }
}

void LinkSource::Look() {
  ableton::Link::SessionState state = link_->captureAppSessionState();
  const std::chrono::microseconds now = link_->clock().micros();
  const std::int64_t mono = MonotonicNanos();
  const double q = options_.quantum;
  CompositionPlayer& player = session_.transport().player();
  bool changed = false;
  if (options_.tempo == LinkTempo::kLead) {
    // Each part's tempo in force from the beat it begins on (parts begin on whole beats).
    const double own = player.OwnTempo();
    if (own > 0 && std::abs(own - state.tempo()) > 1e-6) {
      const double beat = player.StartBeat() + std::floor(player.Position().beat + 1e-6);
      state.setTempo(own, state.timeAtBeat(beat, q));
      changed = true;
    }
  }
  // vordel began a playback on a bar: the session plays from that bar, if it did not already.
  if (const unsigned starts = player.TimelineStarts(); starts != seen_starts_) {
    seen_starts_ = starts;
    if (!state.isPlaying() && player.Running() != 0) {
      state.setIsPlaying(true, state.timeAtBeat(player.StartBeat(), q));
      seen_playing_ = true;
      changed = true;
    }
  }
  // vordel was stopped: so is the session.
  if (stop_asked_.exchange(false) && state.isPlaying()) {
    state.setIsPlaying(false, now);
    seen_playing_ = false;
    changed = true;
  }
  if (changed) {
    link_->commitAppSessionState(state);
  }
  // A peer started or stopped the session: vordel begins on the bar the session began on (when
  // it is still ahead, else on the next), or stops.
  if (state.isPlaying() != seen_playing_) {
    seen_playing_ = state.isPlaying();
    if (seen_playing_) {
      player.BeginAt(std::ceil(state.beatAtTime(state.timeForIsPlaying(), q) / q) * q);
    }
    if (queue_ != nullptr && (player.Running() != 0) != seen_playing_) {
      Command c;
      c.kind = seen_playing_ ? Command::Kind::kPlay : Command::Kind::kStop;
      c.origin = "Link";
      queue_->Post(std::move(c));
    }
  }
  timeline_.Publish({mono, state.beatAtTime(now, q), state.tempo()});
}

void LinkSource::PlaybackEnded(const std::string& reason) {
  // A piece's own end leaves the session playing: the next piece comes on a bar of it.
  if (joined_ && reason != "end" && reason != "next") {
    stop_asked_.store(true);
  }
}

}  // namespace vordel
