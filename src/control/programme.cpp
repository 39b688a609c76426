#include "control/programme.h"

#include <algorithm>

#include "platform/clock.h"

namespace vordel {
namespace {

std::int64_t Millis(std::int64_t ms) {
  return ms * kNanosPerMilli;
}

}  // namespace

Programme::Programme(Session& session, ProgrammeHost& host, ProgrammeSettings settings)
    : session_(session),
      host_(host),
      settings_(std::move(settings)),
      wall_clock_(settings_.wall_clock),
      journal_(settings_.journal),
      endless_(settings_.endless || settings_.playlist.has_value()),
      fading_(settings_.fade_ms > 0) {
  if (settings_.playlist) {
    order_.emplace(settings_.playlist->entries.size(), settings_.shuffle,
                   static_cast<std::uint32_t>(wall_clock_()));
    for (const std::string& line : SkippedLines(*settings_.playlist)) {
      host_.Log(line);
    }
  }
  const std::time_t now = wall_clock_();
  open_ = settings_.hours.OpenAt(now);
  next_change_ = settings_.hours.NextChange(now);
  session_.AddListener(this);
}

Programme::~Programme() {
  session_.RemoveListener(this);
}

void Programme::Begin() {
  if (!open_) {
    host_.Log(ClosedText());
    return;
  }
  if (!endless_) {
    return;
  }
  if (order_) {
    start_at_ = MonotonicNanos();  // as soon as its first piece is composed
    ComposeNext();
  } else {
    host_.PlayCurrent();
  }
}

void Programme::SetEndless(bool on) {
  endless_ = on;
  if (!on) {
    transport().Unqueue();
    composer().Cancel(ComposeFor::kFollowing);
    composing_ = false;
    start_at_.reset();
    return;
  }
  paused_ = false;
  if (transport().Playing()) {
    ComposeNext();
  } else if (open_) {
    host_.PlayCurrent();
  }
}

void Programme::UsePlaylist(Playlist list) {
  for (const std::string& line : SkippedLines(list)) {
    host_.Log(line);
  }
  order_.emplace(list.entries.size(), settings_.shuffle, static_cast<std::uint32_t>(wall_clock_()));
  settings_.playlist = std::move(list);
  endless_ = true;
  paused_ = false;
  transport().Unqueue();
  composer().Cancel(ComposeFor::kFollowing);
  composing_ = false;
  // From the top, as soon as its first piece is composed (inside the hours).
  start_at_ = MonotonicNanos();
  if (open_) {
    ComposeNext();
  }
}

void Programme::Next() {
  next_pending_ = true;
  paused_ = false;
  if (transport().Playing()) {
    // What was set to follow starts the gap after the fade (or is composed for then).
    transport().Next(fade_ms(), settings_.gap_ms);
    return;
  }
  start_at_ = MonotonicNanos() + Millis(settings_.gap_ms);
  if (!composing_ && transport().Next() == nullptr) {
    ComposeNext();
  }
}

std::int64_t Programme::fade_ms() const {
  if (!fading_) {
    return 0;
  }
  return settings_.fade_ms > 0 ? settings_.fade_ms : kDefaultFadeMs;
}

void Programme::ComposeNext() {
  if (composing_) {
    return;
  }
  if (order_ && settings_.playlist) {
    const std::size_t index = order_->Next();
    const PlaylistEntry& entry = settings_.playlist->entries[index];
    composer().Request(entry.parameters, ComposeFor::kFollowing, entry.clock_ms,
                       entry.clock_ms ? std::optional<CarriedState>(entry.carried) : std::nullopt);
    composing_line_ = static_cast<int>(index) + 1;
  } else {
    const PieceParameters& parameters = session_.piece().parameters();
    if (!parameters.accepted()) {
      return;
    }
    // The same string at a new clock: a new piece of the same form.
    composer().Request(parameters, ComposeFor::kFollowing);
    composing_line_ = 0;
  }
  composing_ = true;
}

void Programme::PieceComposed() {
  std::optional<Cue> cue = composer().Take(ComposeFor::kFollowing);
  if (!cue) {
    return;
  }
  composing_ = false;
  if (!Continuing()) {
    return;
  }
  cue->playlist_line = composing_line_;
  if (transport().Fading()) {
    // The end of the fade says what comes next: after a "next", this piece, the gap after it;
    // after a stop or the closing of the hours, nothing.
    if (transport().FadeReason() == "next") {
      transport().QueueAt(*cue, transport().FadeEndNanos() + Millis(settings_.gap_ms));
    }
    return;
  }
  const Transport::State state = transport().state();
  if ((state == Transport::State::kPlaying || state == Transport::State::kGap) && !start_at_) {
    transport().Queue(*cue, settings_.gap_ms);  // follows the piece playing, after the gap
    return;
  }
  // Nothing plays to follow (or it fades out): the piece starts when due, or now.
  transport().QueueAt(*cue, start_at_.value_or(MonotonicNanos()));
  start_at_.reset();
}

void Programme::Poll() {
  const std::time_t now = wall_clock_();
  const bool open = settings_.hours.OpenAt(now);
  if (open != open_) {
    open_ = open;
    next_change_ = settings_.hours.NextChange(now);
    if (!open) {
      host_.Log("the hours close" +
                (next_change_ ? "; closed until " + LocalClockText(*next_change_) : std::string()));
      start_at_.reset();
      transport().Unqueue();
      if (transport().Playing()) {
        transport().Stop("hours", fade_ms());
      }
    } else {
      host_.Log("the hours open");
      paused_ = false;
      if (endless_ && order_) {
        start_at_ = MonotonicNanos();
        ComposeNext();
      } else {
        host_.PlayCurrent();
      }
    }
  }
  // The time has come and the piece is not composed yet: it is asked for, and starts once made.
  if (start_at_ && MonotonicNanos() >= *start_at_ && Continuing() && !composing_ &&
      transport().Next() == nullptr) {
    ComposeNext();
  }
}

int Programme::WakeInMs() const {
  std::optional<std::int64_t> at = start_at_;
  const Transport& t = session_.transport();
  if (t.NextWhen() == Transport::When::kAt) {
    at = t.NextAt();
  }
  if (!at) {
    return 50;
  }
  const std::int64_t left = (*at - MonotonicNanos()) / kNanosPerMilli;
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, 50));
}

void Programme::PlaybackStarted() {
  started_ = wall_clock_();
  started_ns_ = MonotonicNanos();
  started_piece_ = session_.piece().Reproduce();
  paused_ = false;
  next_pending_ = false;
  playing_line_ = session_.transport().Current().playlist_line;
  if (Continuing()) {
    ComposeNext();  // the piece that follows this one, while this one plays
  }
}

void Programme::PlaybackEnded(const std::string& reason) {
  Journal(reason);
  if (reason == "stop") {
    paused_ = true;  // nothing follows until the next start
    start_at_.reset();
    return;
  }
  if (reason == "next") {
    // What was kept starts after the gap (Next queued it); else it is composed for then.
    if (transport().Next() == nullptr) {
      start_at_ = MonotonicNanos() + Millis(settings_.gap_ms);
      if (!composing_) {
        ComposeNext();
      }
    }
    return;
  }
  const Transport::State state = transport().state();
  if (reason == "end" && (state == Transport::State::kIdle) && Continuing()) {
    // The piece ended before the next one was ready: it starts once ready, the gap after
    // the piece's own end.
    const Piece& piece = session_.piece();
    const std::int64_t own_end = std::max(piece.total_ms(), piece.end_tick() + 1);
    start_at_ = MonotonicNanos() + Millis(own_end - (piece.end_tick() + 1) + settings_.gap_ms);
    if (!composing_) {
      ComposeNext();
    }
  }
}

void Programme::Journal(const std::string& how) {
  if (!started_) {
    return;
  }
  const double seconds = static_cast<double>(MonotonicNanos() - started_ns_) / 1e9;
  std::string error;
  const std::int64_t now = MonotonicNanos();
  if (journal_.Append(*started_, seconds, how, started_piece_, &error)) {
    if (journal_lost_ > 0) {
      host_.Log("the journal " + journal_.path() + " is written again; " +
                std::to_string(journal_lost_) + " line(s) were lost");
      journal_lost_ = 0;
      journal_unsaid_ = 0;
      journal_said_ns_.reset();
    }
  } else {
    ++journal_lost_;
    ++journal_unsaid_;
    // Each loss is said, but at most once a minute, with how many were lost since.
    if (!journal_said_ns_ || now - *journal_said_ns_ >= std::int64_t{60} * 1000 * kNanosPerMilli) {
      host_.Log(error + " (" + std::to_string(journal_unsaid_) + " line(s) lost)");
      journal_said_ns_ = now;
      journal_unsaid_ = 0;
    }
  }
  started_.reset();
}

Programme::Status Programme::GetStatus() const {
  Status s;
  s.mode = endless_ ? 1 : 0;
  s.position = order_ ? playing_line_ : 0;
  s.length = settings_.playlist ? static_cast<int>(settings_.playlist->entries.size()) : 0;
  const Transport& t = session_.transport();
  if (!open_ && next_change_) {
    s.seconds_to_next = static_cast<int>(std::max<std::time_t>(*next_change_ - wall_clock_(), 0));
  } else if (start_at_ || t.NextWhen() == Transport::When::kAt) {
    const std::int64_t at = start_at_ ? *start_at_ : t.NextAt();
    s.seconds_to_next = static_cast<int>((at - MonotonicNanos()) / (1000 * kNanosPerMilli));
  } else if (t.NextWhen() == Transport::When::kAfterEnd && t.Playing()) {
    const Piece& piece = session_.piece();
    const std::int64_t own_end = std::max(piece.total_ms(), piece.end_tick() + 1);
    const std::int64_t left =
        own_end - static_cast<std::int64_t>(t.player().LastTick()) + settings_.gap_ms;
    s.seconds_to_next = static_cast<int>(std::max<std::int64_t>(left, 0) / 1000);
  }
  s.seconds_to_next = std::max(s.seconds_to_next, 0);
  return s;
}

std::string Programme::ClosedText() const {
  if (open_ || !next_change_) {
    return "";
  }
  return "Closed until " + LocalClockText(*next_change_) + ".";
}

}  // namespace vordel
