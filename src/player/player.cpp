#include "player/player.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/clock.h"

namespace vordel {

CompositionPlayer::CompositionPlayer(MidiOutput* output, NoteTracker& notes, TimerService& timer)
    : timer_(timer), midi_(output, Lane::kPlayer, notes) {}

CompositionPlayer::~CompositionPlayer() {
  StopPlaybackAndWait();
}

void CompositionPlayer::SetSchedule(std::shared_ptr<const Schedule> schedule) {
  StopPlaybackAndWait();
  // No tick runs: whatever was set to follow, or was left behind, goes.
  next_raw_.store(nullptr, std::memory_order_release);
  next_.reset();
  retired_.clear();
  retired_next_.clear();
  retire_after_ = continuations_.load(std::memory_order_acquire);
  schedule_ = std::move(schedule);
  playing_ = schedule_.get();
  cursor_.Reset(playing_);
  ResetBeats();
  tick_ = 0;
  position_ = 0;
  object_index_ = 0;
  playing_object_.store(1, std::memory_order_relaxed);
}

void CompositionPlayer::ResetBeats() {
  const BeatMap* map = playing_ != nullptr ? &playing_->beats : nullptr;
  beats_.Reset(map);
  clock_beats_.Reset(map);
  next_clock_ = 0;
}

MusicalPosition CompositionPlayer::Position() const {
  MusicalPosition at;
  at.section = position_section_.load(std::memory_order_relaxed);
  at.beat = position_beat_.load(std::memory_order_relaxed);
  at.beat_in_section = position_in_section_.load(std::memory_order_relaxed);
  at.tempo = position_tempo_.load(std::memory_order_relaxed);
  return at;
}

void CompositionPlayer::Publish(const MusicalPosition& at) {
  position_section_.store(at.section, std::memory_order_relaxed);
  position_beat_.store(at.beat, std::memory_order_relaxed);
  position_in_section_.store(at.beat_in_section, std::memory_order_relaxed);
  position_tempo_.store(at.tempo, std::memory_order_relaxed);
}

void CompositionPlayer::SetOutput(MidiOutput* output) {
  StopPlaybackAndWait();
  midi_.SetOutput(output);
}

void CompositionPlayer::SetNext(std::shared_ptr<const Schedule> next, std::int64_t wait_ticks,
                                const std::array<MidiMessage, 12>& opening) {
  // Take back what the tick has not taken yet; what it has taken is the piece playing now.
  if (next_raw_.exchange(nullptr, std::memory_order_acq_rel) == nullptr && next_) {
    Adopt();
  }
  next_.reset();
  if (next) {
    next_ = std::make_unique<Continuation>(Continuation{std::move(next), wait_ticks, opening});
    next_raw_.store(next_.get(), std::memory_order_release);
  }
  Retire();
}

bool CompositionPlayer::Adopt() {
  bool adopted = false;
  if (next_ && next_raw_.load(std::memory_order_acquire) == nullptr) {
    // The tick has taken over the piece that followed: it is the one playing. The piece before
    // and the record of the handover stay until the tick has finished with them.
    retired_.push_back(std::move(schedule_));
    schedule_ = next_->schedule;
    retired_next_.push_back(std::move(next_));
    ++retire_after_;
    adopted = true;
  }
  Retire();
  return adopted;
}

void CompositionPlayer::Retire() {
  if (continuations_.load(std::memory_order_acquire) >= retire_after_) {
    retired_.clear();
    retired_next_.clear();
  }
}

void CompositionPlayer::InitCounters(int played, std::uint32_t last_tick) {
  counters_.played_events.store(played, std::memory_order_relaxed);
  counters_.last_tick.store(last_tick, std::memory_order_relaxed);
}

bool CompositionPlayer::StartPlayback() {
  // Never two timers on one piece: a playback still running ends first.
  StopPlaybackAndWait();
  Adopt();
  counters_.played_events.store(0, std::memory_order_relaxed);
  if (playing_ == nullptr || playing_->Objects() == 0) {
    return false;
  }
  char text[40];
  unsigned id = 0;
  const unsigned period = timer_.FinestPeriodMs();
  if (period != 0) {
    ++start_times_;
    std::snprintf(text, sizeof text, "Timer OK (%i)", start_times_);
    timer_resolution_ = period;
    id = timer_.Start(period, &CompositionPlayer::OnTick, this);
    timer_id_.store(id, std::memory_order_release);
    timer_status_ = text;
  }
  if (period == 0 || id == 0) {
    std::snprintf(text, sizeof text, "Timer ERROR (%i)", start_times_);
    timer_status_ = text;
  }
  return id != 0;
}

void CompositionPlayer::OnTick(unsigned timer, void* user, std::int64_t deadline_ns) {
  static_cast<CompositionPlayer*>(user)->Tick(timer, deadline_ns);
}

void CompositionPlayer::Tick(unsigned own_id, std::int64_t due_ns) {
  midi_.SetDue(due_ns);
  last_due_ns_ = due_ns;
  if (tick_ == 0) {
    first_due_.store(due_ns, std::memory_order_release);
  }
  const bool stop_requested = stop_requested_.load(std::memory_order_acquire) != 0 ||
                              abort_.load(std::memory_order_acquire);
  if (!stop_requested) {
    if (tick_ == 0 && !clock_running_ && midi_clock_.load(std::memory_order_acquire) &&
        !playing_->beats.empty()) {
      midi_.Send(SongPositionMessage(0));
      midi_.Send(RealTimeMessage(kMidiStart));
      clock_running_ = true;
    }
    if (tick_ >= 0) {
      const int sent = cursor_.SendDue(tick_, [this](const MidiMessage& m) { midi_.Send(m); });
      if (sent > 0) {
        counters_.played_events.fetch_add(sent, std::memory_order_relaxed);
        repaint_.store(true, std::memory_order_release);
      }
      const std::vector<std::int64_t>& ends = playing_->object_end_ticks;
      while (object_index_ + 1 < static_cast<int>(ends.size()) &&
             ends[static_cast<std::size_t>(object_index_)] <= tick_) {
        ++object_index_;
        playing_object_.store(object_index_ + 1, std::memory_order_relaxed);
      }
      MusicalPosition at = beats_.At(position_);
      at.tempo *= Rate();
      Publish(at);
      if (clock_running_) {
        SendClock(due_ns);
      }
    }
    Advance();
    counters_.last_tick.store(static_cast<std::uint32_t>(std::max<std::int64_t>(tick_, 0)),
                              std::memory_order_relaxed);
  }
  // The playback ends in the tick in which the last object is exhausted, unless a piece follows.
  // At a followed tempo a tick may pass over the last ticks of the piece: what they hold goes
  // first.
  if (!stop_requested && tick_ > playing_->end_tick) {
    const int sent =
        cursor_.SendDue(playing_->end_tick, [this](const MidiMessage& m) { midi_.Send(m); });
    counters_.played_events.fetch_add(sent, std::memory_order_relaxed);
  }
  if (stop_requested || (tick_ > playing_->end_tick && !ContinueWithNext())) {
    EndPlayback(own_id);
  }
  midi_.Commit();
}

double CompositionPlayer::Rate() const {
  const double bpm = follow_bpm_.load(std::memory_order_relaxed);
  const std::vector<BeatPoint>& points = playing_->beats.points;
  if (bpm <= 0 || points.empty() || points.front().tempo <= 0) {
    return 1.0;
  }
  return std::clamp(bpm / points.front().tempo, 0.25, 4.0);
}

void CompositionPlayer::Advance() {
  // A following piece's wait runs on the timer's own time; a piece at a followed tempo plays
  // more or fewer of its ticks in one (at its own tempo, exactly one).
  position_ += tick_ < 0 ? 1.0 : Rate();
  tick_ = static_cast<std::int64_t>(std::floor(position_));
}

void CompositionPlayer::SendClock(std::int64_t due_ns) {
  const double last = playing_->beats.points.back().beat;
  const double rate = Rate();
  const double next_tick = position_ + rate;
  for (;;) {
    const double beat = static_cast<double>(next_clock_) / kClocksPerBeat;
    if (beat > last) {
      break;
    }
    const double at = clock_beats_.TickOf(beat);
    if (at >= next_tick) {
      break;
    }
    const double offset = std::max(0.0, at - position_) / rate;
    const std::int64_t due = std::max<std::int64_t>(
        last_due_ns_, due_ns + std::llround(offset * static_cast<double>(kNanosPerMilli)));
    midi_.SendAt(RealTimeMessage(kMidiClockTick), due);
    last_due_ns_ = due;
    ++next_clock_;
  }
}

void CompositionPlayer::StopClock() {
  if (clock_running_) {
    midi_.SendAt(RealTimeMessage(kMidiStop), last_due_ns_);
    clock_running_ = false;
  }
  // What ends the playback comes after the last clock.
  midi_.SetDue(last_due_ns_);
}

bool CompositionPlayer::ContinueWithNext() {
  const Continuation* next = next_raw_.exchange(nullptr, std::memory_order_acq_rel);
  if (next == nullptr) {
    return false;
  }
  StopClock();
  // The piece that ended ends every note it started, as any playback does; the next one opens.
  midi_.ReleaseSoundingNotes();
  midi_.AllNotesOff();
  for (const MidiMessage& m : next->opening) {
    midi_.Send(m);
  }
  playing_ = next->schedule.get();
  cursor_.Reset(playing_);
  ResetBeats();
  Publish(MusicalPosition{});
  tick_ = -next->wait_ticks;
  position_ = static_cast<double>(tick_);
  object_index_ = 0;
  playing_object_.store(1, std::memory_order_relaxed);
  counters_.played_events.store(0, std::memory_order_relaxed);
  counters_.last_tick.store(0, std::memory_order_relaxed);
  continuations_.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

void CompositionPlayer::EndPlayback(unsigned own_id) {
  StopClock();
  tick_ = 0;
  position_ = 0;
  object_index_ = 0;
  running_.store(0, std::memory_order_release);
  cursor_.Rewind();
  ResetBeats();
  Publish(MusicalPosition{});
  playing_object_.store(1, std::memory_order_relaxed);
  timer_.Cancel(own_id);
  midi_.ReleaseSoundingNotes();
  midi_.AllNotesOff();
  ended_.fetch_add(1, std::memory_order_acq_rel);
}

bool CompositionPlayer::TimerActive() {
  const unsigned id = timer_id_.load(std::memory_order_acquire);
  return id != 0 && timer_.Active(id);
}

void CompositionPlayer::StopPlaybackAndWait() {
  const unsigned id = timer_id_.load(std::memory_order_acquire);
  if (id == 0) {
    return;
  }
  if (timer_.Active(id)) {
    abort_.store(true, std::memory_order_release);
  }
  timer_.Wait(id);
  abort_.store(false, std::memory_order_release);
}

void CompositionPlayer::WaitForPlayerIdle() {
  const unsigned id = timer_id_.load(std::memory_order_acquire);
  if (id != 0) {
    timer_.Wait(id);
  }
}

}  // namespace vordel
