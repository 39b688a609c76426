#include "transport/transport.h"

#include <algorithm>
#include <utility>

#include "platform/clock.h"
#include "sequence/schedule.h"

namespace vordel {

const char* StateName(Transport::State state) {
  switch (state) {
    case Transport::State::kIdle:
      return "idle";
    case Transport::State::kWaiting:
      return "waiting";
    case Transport::State::kPlaying:
      return "playing";
    case Transport::State::kFading:
      return "fading";
    case Transport::State::kGap:
      return "gap";
  }
  return "?";
}

Transport::Transport(MidiOutput* output, TimerService& timer, Clock now)
    : now_(std::move(now)),
      output_(output),
      midi_(output, Lane::kControl, notes_),
      player_(output, notes_, timer),
      current_(CueOf(Piece())) {
  player_.SetSchedule(current_.schedule);
}

Transport::~Transport() {
  player_.StopPlaybackAndWait();
}

// --- verbs: each one an input of the transition function

void Transport::Load(const Cue& cue) {
  Event e(Input::kLoad);
  e.cue = &cue;
  Transition(e);
}

bool Transport::Start(const Cue& cue) {
  next_ = Upcoming{cue, When::kAt, 0, 0};
  return Transition(Event(Input::kDue));
}

bool Transport::Play(bool honour_stop) {
  Event e(Input::kPlay);
  e.honour_stop = honour_stop;
  return Transition(e);
}

void Transport::Stop(const std::string& reason, std::int64_t fade_ms) {
  Event e(Input::kStop);
  e.reason = reason;
  e.fade_ms = fade_ms;
  Transition(e);
}

void Transport::Next(std::int64_t fade_ms, std::int64_t gap_ms) {
  Event e(Input::kNext);
  e.reason = "next";
  e.fade_ms = fade_ms;
  e.gap_ms = gap_ms;
  Transition(e);
}

void Transport::ClearStage() {
  Transition(Event(Input::kClearStage));
}

void Transport::Queue(const Cue& cue, std::int64_t gap_ms) {
  Event e(Input::kQueue);
  e.cue = &cue;
  e.gap_ms = gap_ms;
  Transition(e);
}

void Transport::QueueAt(const Cue& cue, std::int64_t at_ns) {
  Event e(Input::kQueueAt);
  e.cue = &cue;
  e.at_ns = at_ns;
  Transition(e);
}

std::optional<Cue> Transport::Unqueue() {
  std::optional<Cue> taken;
  if (next_) {
    taken = next_->cue;
  }
  Transition(Event(Input::kUnqueue));
  return taken;
}

void Transport::Shutdown(const std::string& reason) {
  Event e(Input::kShutdown);
  e.reason = reason;
  Transition(e);
}

void Transport::Poll() {
  if (state_ == State::kFading) {
    Transition(Event(Input::kFadeStep));
  }
  if (player_.Adopt() || player_.Continuations() != continuations_seen_) {
    continuations_seen_ = player_.Continuations();
    Transition(Event(Input::kTookOver));
  }
  if (state_ == State::kGap && (player_.LastTick() > 0 || !player_.TimerActive())) {
    Transition(Event(Input::kFirstTick));
  }
  if ((state_ == State::kPlaying || state_ == State::kFading || state_ == State::kGap) &&
      player_.EndedPlaybacks() != ended_seen_) {
    Transition(Event(Input::kPlayerEnded));
  }
  if (next_ && next_->when == When::kAt && now_() >= next_->at_ns) {
    Transition(Event(Input::kDue));
  }
}

Transport::State Transport::Resting() const {
  return next_ && next_->when == When::kAt ? State::kWaiting : State::kIdle;
}

std::optional<Transport::When> Transport::NextWhen() const {
  if (!next_) {
    return std::nullopt;
  }
  return next_->when;
}

// --- the transition function

bool Transport::Transition(const Event& event) {
  const bool running =
      state_ == State::kPlaying || state_ == State::kFading || state_ == State::kGap;
  const bool sounding = state_ == State::kPlaying || state_ == State::kFading;
  switch (event.input) {
    case Input::kLoad: {
      if (running) {
        player_.StopPlaybackAndWait();  // its own tick ends its notes
        player_.MarkIdle();
        if (sounding) {
          Ended("stop");
        }
      }
      DisarmNext();
      next_.reset();
      fade_.reset();
      state_ = State::kIdle;
      current_ = *event.cue;
      current_.piece = event.cue->piece.WithEnsemble(ensemble_);
      player_.SetSchedule(current_.schedule);
      for (TransportListener* l : listeners_) {
        l->CueLoaded(current_, false);
      }
      return false;
    }
    case Input::kPlay: {
      if (running) {
        player_.StopPlaybackAndWait();
        player_.MarkIdle();
        if (sounding) {
          Ended("stop");
        }
        state_ = Resting();
      }
      return StartPlayer(event.honour_stop);
    }
    case Input::kStop: {
      // Whatever waited to come next no longer does: a stop is a stop, however the piece ends.
      DisarmNext();
      next_.reset();
      if (BeginFade(event)) {
        return false;
      }
      const std::string reason = StopNow(event.reason);
      if (sounding) {
        Ended(reason);
      }
      state_ = State::kIdle;
      return false;
    }
    case Input::kNext: {
      // As a stop, but what was set to follow (after the end or at a time) plays the gap after
      // this end instead.
      std::optional<Cue> queued;
      if (next_) {
        queued = std::move(next_->cue);
      }
      DisarmNext();
      next_.reset();
      if (BeginFade(event)) {
        if (queued) {
          next_ = Upcoming{std::move(*queued), When::kAt, 0,
                           now_() + (event.fade_ms + event.gap_ms) * kNanosPerMilli};
        }
        return false;
      }
      const std::string reason = StopNow(event.reason);
      if (queued) {
        next_ = Upcoming{std::move(*queued), When::kAt, 0, now_() + event.gap_ms * kNanosPerMilli};
      }
      state_ = next_ ? State::kWaiting : State::kIdle;
      if (sounding) {
        Ended(reason);  // told with the next piece in place
      }
      return false;
    }
    case Input::kClearStage: {
      if (running) {
        player_.RaiseStop();
        player_.StopPlaybackAndWait();
        if (sounding) {
          Ended("stop");
        }
      }
      fade_.reset();
      player_.MarkIdle();
      player_.ClearStop();
      Silence();
      state_ = Resting();
      return false;
    }
    case Input::kQueue: {
      if (state_ == State::kFading) {
        return false;  // a piece fading out is not followed
      }
      if (state_ == State::kPlaying || state_ == State::kGap) {
        next_ = Upcoming{*event.cue, When::kAfterEnd, event.gap_ms, 0};
        next_->cue.piece = event.cue->piece.WithEnsemble(ensemble_);
        ArmNext();
        return false;
      }
      next_ = Upcoming{*event.cue, When::kAt, 0, 0};
      return Transition(Event(Input::kDue));
    }
    case Input::kQueueAt: {
      DisarmNext();
      next_ = Upcoming{*event.cue, When::kAt, 0, event.at_ns};
      if (state_ == State::kIdle) {
        state_ = State::kWaiting;
      }
      return false;
    }
    case Input::kUnqueue: {
      DisarmNext();
      next_.reset();
      if (state_ == State::kWaiting) {
        state_ = State::kIdle;
      }
      return false;
    }
    case Input::kDue: {
      // What plays stops cleanly and every note ends; the cue plays from its start with the
      // ensemble (and the volume the user chose).
      const Cue cue = std::move(next_->cue);
      next_.reset();
      Transition(Event(Input::kClearStage));
      PrepareEnsemble();
      Transition(Event(Input::kLoad, &cue));
      return StartPlayer(false);
    }
    case Input::kShutdown: {
      // The last tick ends every note it started and sends All Notes Off; with nothing
      // ticking the control lane says it, so that the instruments are left silent, unless
      // the end of the last playback already did.
      DisarmNext();
      next_.reset();
      if (!silent_ || player_.TimerActive() || notes_.Sounding() > 0) {
        StopPlayer(event.reason);
      }
      if (sounding) {
        Ended(event.reason);  // a quit ends a fade as well
      }
      fade_.reset();
      state_ = State::kIdle;
      return false;
    }
    case Input::kFadeStep:
      FadeStep();
      return false;
    case Input::kTookOver: {
      if (!next_ || next_->when != When::kAfterEnd) {
        return false;
      }
      // The cue that followed has taken over: one playback ended, the next is in its gap.
      Ended("end");
      current_ = std::move(next_->cue);
      next_.reset();
      state_ = State::kGap;
      for (TransportListener* l : listeners_) {
        l->CueLoaded(current_, true);
      }
      return false;
    }
    case Input::kFirstTick: {
      if (!player_.TimerActive()) {
        state_ = State::kIdle;
        return false;
      }
      state_ = State::kPlaying;
      playing_since_ns_ = now_();
      for (TransportListener* l : listeners_) {
        l->PlaybackStarted(current_);
      }
      return false;
    }
    case Input::kPlayerEnded: {
      ended_seen_ = player_.EndedPlaybacks();
      silent_ = true;  // its last tick sent All Notes Off
      const std::string reason = fade_ ? fade_->reason : "end";
      fade_.reset();
      if (sounding) {
        Ended(reason);
      }
      state_ = Resting();
      return false;
    }
  }
  return false;
}

bool Transport::StartPlayer(bool honour_stop) {
  fade_.reset();
  if (!honour_stop) {
    player_.ClearStop();
  }
  if (ensemble_pending_) {
    ensemble_pending_ = false;
    PrepareEnsemble();
  }
  if (faded_) {
    SendVolume(volume_);  // the volume set before the fade
    faded_ = false;
  }
  if (!player_.StartPlayback()) {
    return false;
  }
  player_.MarkRunning();
  silent_ = false;
  state_ = State::kPlaying;
  playing_since_ns_ = now_();
  ended_seen_ = player_.EndedPlaybacks();
  continuations_seen_ = player_.Continuations();
  if (next_ && next_->when == When::kAfterEnd) {
    ArmNext();
  }
  for (TransportListener* l : listeners_) {
    l->PlaybackStarted(current_);
  }
  return true;
}

bool Transport::BeginFade(const Event& event) {
  if (state_ != State::kPlaying || event.fade_ms <= 0) {
    return false;
  }
  fade_ = Fade{now_(), event.fade_ms * kNanosPerMilli, event.reason, volume_, volume_};
  faded_ = true;
  state_ = State::kFading;
  return true;
}

std::string Transport::StopNow(const std::string& reason) {
  std::string why = fade_ ? fade_->reason : reason;  // a stop during a fade is the fade's
  fade_.reset();
  StopPlayer(why);
  return why;
}

void Transport::StopPlayer(const std::string& /*reason*/) {
  // The playback's own last tick ends every note it started and sends All Notes Off; only then
  // does the control lane say anything, so that no Note Off comes after an All Notes Off.
  const bool ticking = player_.TimerActive();
  player_.RaiseStop();
  player_.StopPlaybackAndWait();
  player_.MarkIdle();
  if (!ticking || notes_.Sounding() > 0) {
    Silence();
  }
}

std::string Transport::EndReason(const std::string& reason) const {
  return output_ != nullptr && output_->Status() != kMidiOk ? "error" : reason;
}

void Transport::Ended(const std::string& reason) {
  ended_seen_ = player_.EndedPlaybacks();
  const std::string why = EndReason(reason);
  for (TransportListener* l : listeners_) {
    l->PlaybackEnded(current_, why);
  }
}

void Transport::ArmNext() {
  if (!next_ || next_->when != When::kAfterEnd) {
    return;
  }
  // After the current piece's own end (its last pause included) and the gap.
  const Piece& piece = current_.piece;
  const std::int64_t own_end = std::max(piece.total_ms(), piece.end_tick() + 1);
  const std::int64_t wait =
      own_end - (piece.end_tick() + 1) + std::max<std::int64_t>(next_->gap_ms, 0);
  // The follower opens with its ensemble, at the volume set (not the ensemble's own).
  player_.SetNext(next_->cue.schedule, wait, EnsembleMessages(next_->cue.piece.tracks(), volume_));
}

void Transport::DisarmNext() {
  if (player_.HasNext()) {
    player_.SetNext(nullptr, 0, {});
  }
}

// --- the ensemble, the volume, the fade

void Transport::ChooseEnsemble(int ensemble) {
  if (ensemble >= 0 && ensemble < kEnsembleCount) {
    ensemble_ = ensemble;
    current_.piece = current_.piece.WithEnsemble(ensemble_);
    if (next_) {
      next_->cue.piece = next_->cue.piece.WithEnsemble(ensemble_);
      ArmNext();  // a follower opens with the ensemble chosen
    }
  }
}

void Transport::PrepareEnsemble() {
  for (const MidiMessage& m : EnsembleMessages(EnsemblePresets(ensemble_))) {
    midi_.Send(m);
  }
  midi_.Commit();
  volume_ = EnsemblePresets(ensemble_)[0].Volume;
  faded_ = false;
  if (chosen_volume_) {
    SetVolume(*chosen_volume_);  // the user's volume outlasts the ensemble's own
  }
}

void Transport::SetVolume(int value) {
  volume_ = std::clamp(value, 0, 127);
  if (state_ != State::kFading) {
    SendVolume(volume_);  // a fade owns the volume until it ends; the next start sends this
  }
  if (player_.HasNext()) {
    ArmNext();  // a follower opens at this volume
  }
}

void Transport::ChooseVolume(int value) {
  SetVolume(value);
  chosen_volume_ = volume_;
}

void Transport::SendVolume(int value) {
  const auto v = static_cast<unsigned char>(std::clamp(value, 0, 127));
  for (unsigned char ch = 1; ch <= 4; ++ch) {
    midi_.ControlChange(ch, 7, v);
  }
  midi_.Commit();
}

void Transport::FadeStep() {
  if (!fade_ || (player_.Running() == 0 && !player_.TimerActive())) {
    return;  // the piece ended by itself meanwhile: kPlayerEnded says so, for the fade's reason
  }
  const std::int64_t elapsed = now_() - fade_->start_ns;
  if (elapsed >= fade_->length_ns) {
    SendVolume(0);
    const std::string reason = fade_->reason;
    fade_.reset();
    StopPlayer(reason);
    Ended(reason);
    state_ = Resting();
    return;
  }
  const int level = static_cast<int>(static_cast<std::int64_t>(fade_->from) *
                                     (fade_->length_ns - elapsed) / fade_->length_ns);
  if (level != fade_->sent) {
    fade_->sent = level;
    SendVolume(level);
  }
}

void Transport::Silence() {
  midi_.ReleaseSoundingNotes();
  midi_.AllNotesOff();
  midi_.Commit();
  silent_ = true;
}

void Transport::SetOutput(MidiOutput* output) {
  player_.SetOutput(output);
  midi_.SetOutput(output);
  output_ = output;
}

void Transport::AddListener(TransportListener* listener) {
  listeners_.push_back(listener);
}

void Transport::RemoveListener(TransportListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

}  // namespace vordel
