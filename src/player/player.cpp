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
  begun_ = false;
  on_timeline_ = false;
  held_rate_ = 0;
  object_index_ = 0;
  playing_object_.store(1, std::memory_order_relaxed);
}

void CompositionPlayer::ResetBeats() {
  const BeatMap* map = playing_ != nullptr ? &playing_->beats : nullptr;
  beats_.Reset(map);
  clock_beats_.Reset(map);
  line_beats_.Reset(map);
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

void CompositionPlayer::FollowTimeline(const BeatTimeline* timeline, TimelineMode mode,
                                       double quantum) {
  quantum_.store(quantum, std::memory_order_relaxed);
  timeline_mode_.store(static_cast<int>(mode), std::memory_order_relaxed);
  timeline_.store(timeline, std::memory_order_release);
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
  const bool stop_requested = stop_requested_.load(std::memory_order_acquire) != 0 ||
                              abort_.load(std::memory_order_acquire);
  if (!stop_requested) {
    // Where this tick is in the piece's ticks, and where the next one will be: on the
    // timeline's line when the playback follows one, else one tick on at the pace in force.
    const double here = Locate(due_ns);
    const double next = NextPosition(due_ns, here);
    const double step = next - here;
    tick_due_ns_ = due_ns;
    tick_here_ = here;
    tick_step_ = step;
    if (next > 0 && !begun_) {
      // The piece begins before the next tick: at its first tick, or between two.
      begun_ = true;
      tick_ = 0;
      first_due_.store(Moment(0), std::memory_order_release);
      if (midi_clock_.load(std::memory_order_acquire) && !playing_->beats.empty()) {
        const std::int64_t at = Moment(0);
        midi_.SendAt(SongPositionMessage(0), at);
        midi_.SendAt(RealTimeMessage(kMidiStart), at);
        last_due_ns_ = at;
        clock_running_ = true;
      }
    }
    if (begun_) {
      // What falls before the next tick goes now, each message stamped with its own moment.
      int sent = 0;
      while (!cursor_.AtEnd() && static_cast<double>(cursor_.NextTick()) < next) {
        const std::int64_t t = cursor_.NextTick();
        const std::int64_t at = Moment(static_cast<double>(t));
        sent += cursor_.SendDue(t, [&](const MidiMessage& m) { midi_.SendAt(m, at); });
        last_due_ns_ = at;
      }
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
      MusicalPosition at = beats_.At(std::max(0.0, here));
      own_tempo_.store(at.tempo, std::memory_order_relaxed);
      at.tempo *= step;
      Publish(at);
      if (clock_running_) {
        SendClock(next);
      }
    }
    position_ = next;
    tick_ = static_cast<std::int64_t>(std::floor(next));
    if (begun_ && tick_ < 0) {
      tick_ = 0;
    }
    counters_.last_tick.store(static_cast<std::uint32_t>(std::max<std::int64_t>(tick_, 0)),
                              std::memory_order_relaxed);
  }
  // The playback ends in the tick in which the last object is exhausted, unless a piece follows.
  if (!stop_requested && begun_ && tick_ > playing_->end_tick) {
    const int sent = cursor_.SendDue(
        playing_->end_tick, [this](const MidiMessage& m) { midi_.SendAt(m, last_due_ns_); });
    counters_.played_events.fetch_add(sent, std::memory_order_relaxed);
  }
  if (stop_requested || (begun_ && tick_ > playing_->end_tick && !ContinueWithNext(due_ns))) {
    EndPlayback(own_id);
  }
  midi_.Commit();
}

double CompositionPlayer::Rate() const {
  if (held_rate_ > 0) {
    return held_rate_;
  }
  const double bpm = follow_bpm_.load(std::memory_order_relaxed);
  const std::vector<BeatPoint>& points = playing_->beats.points;
  if (bpm <= 0 || points.empty() || points.front().tempo <= 0) {
    return 1.0;
  }
  return std::clamp(bpm / points.front().tempo, 0.25, 4.0);
}

bool CompositionPlayer::ReadTimeline(BeatTimeline::Line* line) {
  const BeatTimeline* timeline = timeline_.load(std::memory_order_acquire);
  if (timeline == nullptr || playing_->beats.empty() || !timeline->Read(line)) {
    return false;
  }
  return true;
}

double CompositionPlayer::Locate(std::int64_t due_ns) {
  BeatTimeline::Line line;
  const bool on_line = ReadTimeline(&line);
  if (!on_line) {
    if (on_timeline_) {
      // Off the timeline in the middle of a playback: on at the pace it had.
      on_timeline_ = false;
      held_rate_ = std::max(last_step_, 0.01);
    }
    return position_;
  }
  mode_ = timeline_mode_.load(std::memory_order_relaxed);
  // A message due now is heard the output's latency later: that is the moment that must fall
  // on the timeline.
  const MidiOutput* output = midi_.Output();
  heard_after_ns_ = output != nullptr ? output->LatencyNanos() : 0;
  due_ns += heard_after_ns_;
  if (!on_timeline_) {
    on_timeline_ = true;
    held_rate_ = 0;
    const double beat = BeatTimeline::BeatAt(line, due_ns);
    if (!begun_ && tick_ >= 0 && position_ == 0) {
      // A playback about to begin waits for the bar it was asked to begin on, if that is still
      // ahead, else for the first bar a fifth of a second away: time enough for the peers told
      // of the start to begin on the same one.
      const double q = std::max(quantum_.load(std::memory_order_relaxed), 1.0);
      const double asked = begin_at_.exchange(kNoBeat, std::memory_order_relaxed);
      start_beat_ = !std::isnan(asked) && asked >= beat
                        ? asked
                        : std::ceil((beat + kLeadSeconds * line.bpm / 60.0) / q) * q;
    } else {
      // Joined while playing (or while a following piece waits): on from here, no jump.
      start_beat_ = beat - BeatsAt(position_);
    }
    start_beat_published_.store(start_beat_, std::memory_order_relaxed);
    starts_.fetch_add(1, std::memory_order_release);
  }
  line_ = line;
  return PositionOf(BeatTimeline::BeatAt(line, due_ns) - start_beat_);
}

double CompositionPlayer::NextPosition(std::int64_t due_ns, double here) {
  double next;
  if (on_timeline_) {
    next = PositionOf(BeatTimeline::BeatAt(line_, due_ns + heard_after_ns_ + kNanosPerMilli) -
                      start_beat_);
    next = std::max(next, here + 1e-6);
  } else {
    // A following piece's wait runs on the timer's own time; a piece at a followed tempo plays
    // more or fewer of its ticks in one (at its own tempo, exactly one).
    next = here + (here < 0 ? 1.0 : Rate());
  }
  last_step_ = next - here;
  return next;
}

double CompositionPlayer::BeatsAt(double position) {
  if (position < 0 || mode_ == static_cast<int>(TimelineMode::kShape)) {
    return position * playing_->beats.points.front().tempo / 60000.0;
  }
  const BeatPoint& last = playing_->beats.points.back();
  if (position > static_cast<double>(last.tick)) {
    return last.beat + (position - static_cast<double>(last.tick)) * last.tempo / 60000.0;
  }
  return line_beats_.At(position).beat;
}

double CompositionPlayer::PositionOf(double beats) {
  const std::vector<BeatPoint>& points = playing_->beats.points;
  if (beats < 0 || mode_ == static_cast<int>(TimelineMode::kShape)) {
    return beats * 60000.0 / points.front().tempo;
  }
  const BeatPoint& last = points.back();
  if (beats > last.beat) {
    return static_cast<double>(last.tick) + (beats - last.beat) * 60000.0 / last.tempo;
  }
  return line_beats_.TickOf(beats);
}

std::int64_t CompositionPlayer::Moment(double at) const {
  const double ahead = tick_step_ > 0 ? std::max(0.0, at - tick_here_) / tick_step_ : 0.0;
  return std::max<std::int64_t>(
      last_due_ns_, tick_due_ns_ + std::llround(ahead * static_cast<double>(kNanosPerMilli)));
}

void CompositionPlayer::SendClock(double next) {
  const double last = playing_->beats.points.back().beat;
  for (;;) {
    const double beat = static_cast<double>(next_clock_) / kClocksPerBeat;
    if (beat > last) {
      break;
    }
    const double at = clock_beats_.TickOf(beat);
    if (at >= next) {
      break;
    }
    const std::int64_t due = Moment(at);
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

bool CompositionPlayer::ContinueWithNext(std::int64_t due_ns) {
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
  begun_ = false;
  held_rate_ = 0;
  if (on_timeline_) {
    // On a timeline the piece that follows begins on the first bar after its gap.
    const double q = std::max(quantum_.load(std::memory_order_relaxed), 1.0);
    const double beat =
        BeatTimeline::BeatAt(line_, due_ns + heard_after_ns_ + next->wait_ticks * kNanosPerMilli);
    start_beat_ = std::ceil(beat / q) * q;
    start_beat_published_.store(start_beat_, std::memory_order_relaxed);
    starts_.fetch_add(1, std::memory_order_release);
  }
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
  begun_ = false;
  on_timeline_ = false;
  held_rate_ = 0;
  own_tempo_.store(0, std::memory_order_relaxed);
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
