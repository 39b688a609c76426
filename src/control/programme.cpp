#include "control/programme.h"

#include <algorithm>

namespace vordel {

Programme::Programme(Session& session, ProgrammeHost& host, ProgrammeSettings settings)
    : session_(session),
      host_(host),
      settings_(std::move(settings)),
      wall_clock_(settings_.wall_clock),
      journal_(settings_.journal),
      endless_(settings_.endless || settings_.playlist.has_value()) {
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
    start_at_ = SteadyClock::now();  // as soon as its first piece is composed
    ComposeNext();
  } else {
    host_.PlayCurrent();
  }
}

void Programme::SetEndless(bool on) {
  endless_ = on;
  if (!on) {
    session_.ClearFollowing();
    session_.CancelComposing(ComposeFor::kFollowing);
    composing_ = false;
    waiting_.reset();
    start_at_.reset();
    return;
  }
  paused_ = false;
  if (session_.Playing()) {
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
  session_.ClearFollowing();
  session_.CancelComposing(ComposeFor::kFollowing);
  composing_ = false;
  waiting_.reset();
  // From the top, as soon as its first piece is composed (inside the hours).
  start_at_ = SteadyClock::now();
  if (open_) {
    ComposeNext();
  }
}

void Programme::Next() {
  next_pending_ = true;
  paused_ = false;
  if (session_.Playing()) {
    session_.Stop("next", settings_.fade_ms);  // goes on in PlaybackEnded
    return;
  }
  start_at_ = SteadyClock::now() + std::chrono::milliseconds(settings_.gap_ms);
  if (!composing_ && !waiting_) {
    ComposeNext();
  }
}

void Programme::ComposeNext() {
  if (composing_) {
    return;
  }
  if (order_ && settings_.playlist) {
    const std::size_t index = order_->Next();
    const PlaylistEntry& entry = settings_.playlist->entries[index];
    session_.RequestPiece(
        entry.parameters, ComposeFor::kFollowing, entry.clock_ms,
        entry.clock_ms ? std::optional<CarriedState>(entry.carried) : std::nullopt);
    composing_position_ = static_cast<int>(index) + 1;
  } else {
    const PieceParameters& parameters = session_.piece().parameters();
    if (!parameters.accepted()) {
      return;
    }
    // The same string at a new clock: a new piece of the same form.
    session_.RequestPiece(parameters, ComposeFor::kFollowing);
    composing_position_ = 0;
  }
  composing_ = true;
}

void Programme::PieceComposed() {
  std::optional<ReadyPiece> ready = session_.TakeComposed(ComposeFor::kFollowing);
  if (!ready) {
    return;
  }
  composing_ = false;
  if (!Continuing()) {
    return;
  }
  if (session_.Playing() && !session_.Fading() && !start_at_) {
    session_.SetFollowing(*ready, settings_.gap_ms);
    following_position_ = composing_position_;
    return;
  }
  waiting_ = std::move(ready);
  waiting_position_ = composing_position_;
  // While a piece fades out, the end of the fade says what comes next (a stop, a "next" and
  // its gap); otherwise the piece starts when due, or now.
  if (!start_at_ && !session_.Playing()) {
    start_at_ = SteadyClock::now();
  }
  Poll();
}

void Programme::Start(const ReadyPiece& piece, int position) {
  starting_position_ = position;
  next_pending_ = false;
  host_.PlayPiece(piece);
  starting_position_.reset();
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
      waiting_.reset();
      session_.ClearFollowing();
      if (session_.Playing()) {
        session_.Stop("hours", settings_.fade_ms);
      }
    } else {
      host_.Log("the hours open");
      paused_ = false;
      if (endless_ && order_) {
        start_at_ = SteadyClock::now();
        ComposeNext();
      } else {
        host_.PlayCurrent();
      }
    }
  }
  if (start_at_ && SteadyClock::now() >= *start_at_ && Continuing()) {
    if (waiting_) {
      const ReadyPiece piece = std::move(*waiting_);
      waiting_.reset();
      start_at_.reset();
      Start(piece, waiting_position_);
    } else if (!composing_) {
      ComposeNext();
    }
  }
}

int Programme::WakeInMs() const {
  if (!start_at_) {
    return 50;
  }
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*start_at_ - SteadyClock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 50));
}

void Programme::PlaybackStarted() {
  started_ = wall_clock_();
  started_steady_ = SteadyClock::now();
  started_piece_ = session_.piece().Reproduce();
  paused_ = false;
  playing_position_ = starting_position_.value_or(following_position_);
  if (Continuing() && !next_pending_) {
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
    // What was set to follow (or will be composed) starts after the gap.
    if (std::optional<ReadyPiece> following = session_.TakeFollowing()) {
      waiting_ = std::move(following);
      waiting_position_ = following_position_;
    } else if (!composing_) {
      ComposeNext();
    }
    start_at_ = SteadyClock::now() + std::chrono::milliseconds(settings_.gap_ms);
    return;
  }
  if (reason == "end" && !session_.Playing() && Continuing()) {
    // The piece ended before the next one was ready: it starts once ready, the gap after
    // the piece's own end.
    const Piece& piece = session_.piece();
    const std::int64_t own_end = std::max(piece.total_ms(), piece.end_tick() + 1);
    start_at_ = SteadyClock::now() +
                std::chrono::milliseconds(own_end - (piece.end_tick() + 1) + settings_.gap_ms);
    if (!composing_ && !waiting_) {
      ComposeNext();
    }
  }
}

void Programme::Journal(const std::string& how) {
  if (!started_) {
    return;
  }
  const double seconds =
      std::chrono::duration<double>(SteadyClock::now() - started_steady_).count();
  std::string error;
  const SteadyClock::time_point now = SteadyClock::now();
  if (journal_.Append(*started_, seconds, how, started_piece_, &error)) {
    if (journal_lost_ > 0) {
      host_.Log("the journal " + journal_.path() + " is written again; " +
                std::to_string(journal_lost_) + " line(s) were lost");
      journal_lost_ = 0;
      journal_unsaid_ = 0;
      journal_said_.reset();
    }
  } else {
    ++journal_lost_;
    ++journal_unsaid_;
    // Each loss is said, but at most once a minute, with how many were lost since.
    if (!journal_said_ || now - *journal_said_ >= std::chrono::minutes(1)) {
      host_.Log(error + " (" + std::to_string(journal_unsaid_) + " line(s) lost)");
      journal_said_ = now;
      journal_unsaid_ = 0;
    }
  }
  started_.reset();
}

Programme::Status Programme::GetStatus() const {
  Status s;
  s.mode = endless_ ? 1 : 0;
  s.position = order_ ? playing_position_ : 0;
  s.length = settings_.playlist ? static_cast<int>(settings_.playlist->entries.size()) : 0;
  if (!open_ && next_change_) {
    s.seconds_to_next = static_cast<int>(std::max<std::time_t>(*next_change_ - wall_clock_(), 0));
  } else if (start_at_) {
    s.seconds_to_next = static_cast<int>(
        std::chrono::duration_cast<std::chrono::seconds>(*start_at_ - SteadyClock::now()).count());
  } else if (session_.HasFollowing() && session_.Playing()) {
    const Piece& piece = session_.piece();
    const std::int64_t own_end = std::max(piece.total_ms(), piece.end_tick() + 1);
    const std::int64_t left =
        own_end - static_cast<std::int64_t>(session_.player().LastTimeSetEvID()) + settings_.gap_ms;
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
