// The real-time player. A periodic timer of the finest period available ticks once a
// millisecond; every tick sends the messages of the schedule whose tick has come, stamped with
// the time the tick was due (at a followed tempo or on a shared timeline, where the piece's
// ticks run faster or slower than the timer's, what falls before the next tick is sent, each
// message stamped with its own moment between the two), and at the end of the piece (or when asked
// to stop) rewinds, falls idle, stops its own timer, ends every note still sounding and sends All
// Notes Off. A piece waiting to follow takes over at the end instead, without a gap of the player's
// own: the notes of the piece that ended are ended, its opening (program, pan, volume) is sent, and
// its ticks count on from there.
//
// With MIDI clock on, a playback sends Song Position 0 and Start at its first tick, 24 clocks a
// beat of its beat map, each stamped with the moment between two ticks that it falls on, and Stop
// where it ends or is stopped; a piece that follows stops the clock and starts it again at its
// own first tick. Every tick also publishes where the playback is in musical time.
//
// The control thread starts playbacks, asks them to stop, swaps pieces while idle and sets the
// piece that follows; the timer thread alone cleans up a running playback. OnTick and what it
// calls run on the timer thread and are real-time safe (no allocation, no lock, no system call,
// no text). Everything else is for the control thread, except the atomic readers (play status,
// counters), which any thread may call.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi.h"
#include "platform/timer.h"
#include "player/beat_timeline.h"
#include "sequence/schedule.h"

namespace vordel {

class CompositionPlayer {
 public:
  CompositionPlayer(MidiOutput* output, NoteTracker& notes, TimerService& timer);
  ~CompositionPlayer();
  CompositionPlayer(const CompositionPlayer&) = delete;
  CompositionPlayer& operator=(const CompositionPlayer&) = delete;

  // The piece played from now on. A running playback is ended first (through its own tick), and
  // a piece set to follow is forgotten.
  void SetSchedule(std::shared_ptr<const Schedule> schedule);
  // The schedule being played (or played last), for the control thread.
  const Schedule* GetSchedule() const { return schedule_.get(); }
  // The output the ticks send to, changed only while idle (a running playback is ended first).
  void SetOutput(MidiOutput* output);

  // The piece that follows the one playing when it ends: `wait_ticks` after its end tick it
  // starts at its own tick 0, after the notes of the one before are ended and `opening` is sent.
  // Null: nothing follows. Control thread; takes effect at once, even during a playback.
  void SetNext(std::shared_ptr<const Schedule> next, std::int64_t wait_ticks,
               const std::array<MidiMessage, 12>& opening);
  // Whether a piece is set to follow and has not started yet.
  bool HasNext() const { return next_raw_.load(std::memory_order_acquire) != nullptr; }
  // How many times a following piece has taken over since the player was made.
  unsigned Continuations() const { return continuations_.load(std::memory_order_acquire); }
  // Brings the control thread's record of what plays up to date after a following piece took
  // over (GetSchedule then gives it), and frees what the tick no longer uses. Whether one took
  // over since the last call.
  bool Adopt();

  // Starts a playback from the first object. A playback that is still running is ended first
  // and its thread waited for. Returns whether a timer now runs; the caller marks the player as
  // playing. An empty piece starts no timer.
  bool StartPlayback();

  // The timer callback; user carries the player.
  static void OnTick(unsigned timer, void* user, std::int64_t deadline_ns);

  // Ends a running playback at its next tick and waits until its thread has ended; returns at
  // once when none runs. Afterwards the schedule may be swapped.
  void StopPlaybackAndWait();
  // Waits for a playback that was asked to stop (or has ended) to finish its last tick.
  void WaitForPlayerIdle();
  // Whether a tick can still run.
  bool TimerActive();

  // A stop asked for (1) ends a running playback at its next tick and keeps new playbacks from
  // sending anything until it is cleared.
  void RaiseStop() { stop_requested_.store(1, std::memory_order_release); }
  void ClearStop() { stop_requested_.store(0, std::memory_order_release); }
  int StopRequested() const { return stop_requested_.load(std::memory_order_acquire); }

  // 1 while a playback runs (as the control thread marks it), 0 when idle.
  int Running() const { return running_.load(std::memory_order_acquire); }
  void MarkRunning() { running_.store(1, std::memory_order_release); }
  void MarkIdle() { running_.store(0, std::memory_order_release); }

  // Note messages sent by the current playback, and the tick counter after the last tick.
  int PlayedEvents() const { return counters_.played_events.load(std::memory_order_relaxed); }
  std::uint32_t LastTick() const { return counters_.last_tick.load(std::memory_order_relaxed); }
  void InitCounters(int played, std::uint32_t last_tick);

  // MIDI clock from the next tick on (see above); the playback under way keeps what it started
  // with until its end. Control thread.
  void SetMidiClock(bool on) { midi_clock_.store(on, std::memory_order_release); }
  bool MidiClock() const { return midi_clock_.load(std::memory_order_acquire); }
  // Where the playback is in musical time, as of its last tick (all zero while idle); its tempo
  // is the one it plays at, a followed tempo's ratio included. Any thread; the fields are read
  // one by one.
  MusicalPosition Position() const;
  // A tempo to follow (beats a minute; 0: the piece's own): every tempo of the piece is scaled
  // by one ratio, so that the tempo it begins with becomes this one and the piece keeps its
  // shape; the ratio is kept between a quarter and four. Takes effect at the next tick, in the
  // middle of a playback too. Any thread.
  void SetFollowTempo(double bpm) { follow_bpm_.store(bpm, std::memory_order_relaxed); }
  double FollowTempo() const { return follow_bpm_.load(std::memory_order_relaxed); }

  // How a playback keeps to a shared timeline.
  enum class TimelineMode {
    kShape,  // every tempo of the piece scaled by one ratio: the first is the timeline's
    kGrid,   // the piece's beats are the timeline's beats (who sets its tempo plays this way)
  };
  // A timeline to play on (null: the player's own clock): a playback waits for the timeline's
  // next multiple of `quantum` beats (a bar) and begins on it, and so does a piece that follows,
  // on the first bar after its gap; the messages of a tick are stamped with their own moments
  // on the line. Set during a playback, it goes on from where it is, now on the timeline;
  // removed during one, it goes on at the pace it had until its end. What falls on the
  // timeline is the moment a message is heard: its due time plus the output's latency. Control
  // thread; the timeline outlives its use.
  void FollowTimeline(const BeatTimeline* timeline, TimelineMode mode, double quantum);
  // The bar the next playback begins on, when it is still ahead then (a start a peer gave).
  // Any thread.
  void BeginAt(double beat) { begin_at_.store(beat, std::memory_order_relaxed); }
  // The timeline's beat the playback began (or will begin) on, and how many times one was
  // chosen (a playback, a piece that followed, a timeline joined). Any thread.
  double StartBeat() const { return start_beat_published_.load(std::memory_order_relaxed); }
  unsigned TimelineStarts() const { return starts_.load(std::memory_order_acquire); }
  // The piece's own tempo in force at the last tick, no ratio applied (0 while idle). Any
  // thread.
  double OwnTempo() const { return own_tempo_.load(std::memory_order_relaxed); }

  // Whether a tick sent something since the last call (clears the request).
  bool TakeRepaintRequest() { return repaint_.exchange(false, std::memory_order_acq_rel); }
  // 1-based number of the object being played.
  int PlayingObjectNumber() const { return playing_object_.load(std::memory_order_relaxed); }
  // How many playbacks have ended since the player was made.
  unsigned EndedPlaybacks() const { return ended_.load(std::memory_order_acquire); }
  // The monotonic time the first tick of the last playback (or following piece) was due at.
  std::int64_t FirstTickDueNanos() const { return first_due_.load(std::memory_order_acquire); }

  // "Timer OK (n)" or "Timer ERROR (n)" of the last start ("" before the first).
  const std::string& TimerStatusText() const { return timer_status_; }
  int GetStartTimes() const { return start_times_; }
  unsigned GetTimerResolution() const { return timer_resolution_; }
  unsigned GetTimerID() const { return timer_id_.load(std::memory_order_acquire); }
  TimerService& Timer() { return timer_; }
  // Sends of the ticks that failed.
  unsigned SendErrors() const { return midi_.SendErrors(); }

 private:
  // A piece set to follow, with what the tick needs to start it.
  struct Continuation {
    std::shared_ptr<const Schedule> schedule;
    std::int64_t wait_ticks = 0;
    std::array<MidiMessage, 12> opening{};
  };

  void Tick(unsigned own_id, std::int64_t due_ns);
  // The clocks that fall before the next tick (at position `next`).
  void SendClock(double next);
  // The moment, between this tick and the next, at which the playback reaches `at`.
  std::int64_t Moment(double at) const;
  // Where the playback is at this tick (due at due_ns), and where it will be at the next.
  double Locate(std::int64_t due_ns);
  double NextPosition(std::int64_t due_ns, double here);
  bool ReadTimeline(BeatTimeline::Line* line);
  // On a timeline: the piece's position (ticks) after `beats` of the timeline since its start,
  // and back.
  double PositionOf(double beats);
  double BeatsAt(double position);
  void StopClock();
  void ResetBeats();
  // How many of the piece's ticks one tick of the timer plays off a timeline (1 at the piece's
  // own tempo).
  double Rate() const;
  void Publish(const MusicalPosition& at);
  void EndPlayback(unsigned own_id);
  bool ContinueWithNext(std::int64_t due_ns);
  // Frees what the tick has left behind (control thread).
  void Retire();

  TimerService& timer_;
  Midi midi_;  // the player's lane
  std::shared_ptr<const Schedule> schedule_;
  ScheduleCursor cursor_;

  // The piece set to follow: held here, published to the tick through next_raw_. What the tick
  // has taken over is kept until the control thread sees that it has finished with the piece
  // before (retired_, released once continuations_ reaches retire_after_).
  std::unique_ptr<Continuation> next_;
  std::atomic<const Continuation*> next_raw_{nullptr};
  std::vector<std::shared_ptr<const Schedule>> retired_;
  std::vector<std::unique_ptr<Continuation>> retired_next_;
  unsigned retire_after_ = 0;
  std::atomic<unsigned> continuations_{0};

  std::atomic<int> stop_requested_{0};
  std::atomic<int> running_{0};
  struct Counters {
    std::atomic<int> played_events{0};
    std::atomic<std::uint32_t> last_tick{0};
  };
  Counters counters_;

  unsigned timer_resolution_ = 0;
  std::atomic<unsigned> timer_id_{0};
  int start_times_ = 0;
  std::string timer_status_;

  // The tick's own state (on the timer thread while playing; rewound at every end).
  const Schedule* playing_ = nullptr;  // what the tick plays
  std::int64_t tick_ = 0;              // the tick counter; below 0 while a following piece waits
  double position_ = 0;                // the same with its fraction, off the piece's own tempo
  int object_index_ = 0;
  std::atomic<bool> abort_{false};
  std::atomic<bool> repaint_{false};
  std::atomic<int> playing_object_{1};
  std::atomic<unsigned> ended_{0};
  std::atomic<std::int64_t> first_due_{0};

  // Musical time (the tick's own, apart from what it publishes).
  BeatCursor beats_;
  BeatCursor clock_beats_;
  std::int64_t next_clock_ = 0;   // the number of the next clock of the playback
  bool clock_running_ = false;    // Start sent, Stop not yet
  std::int64_t last_due_ns_ = 0;  // the latest due time sent in this tick
  std::atomic<bool> midi_clock_{false};
  std::atomic<double> follow_bpm_{0};
  std::atomic<double> own_tempo_{0};
  bool begun_ = false;            // the playback has reached its first tick
  std::int64_t tick_due_ns_ = 0;  // this tick's due time, position and step to the next
  double tick_here_ = 0;
  double tick_step_ = 1;
  double last_step_ = 1;
  double held_rate_ = 0;  // the pace kept after leaving a timeline (0: none)

  // The timeline (set by the control thread; the tick's own record of it).
  std::atomic<const BeatTimeline*> timeline_{nullptr};
  std::atomic<int> timeline_mode_{0};
  std::atomic<double> quantum_{4};
  std::atomic<double> start_beat_published_{0};
  std::atomic<unsigned> starts_{0};
  static constexpr double kNoBeat = std::numeric_limits<double>::quiet_NaN();
  static constexpr double kLeadSeconds = 0.2;
  std::atomic<double> begin_at_{kNoBeat};
  bool on_timeline_ = false;
  std::int64_t heard_after_ns_ = 0;  // the output's latency
  int mode_ = 0;
  double start_beat_ = 0;
  BeatTimeline::Line line_;
  BeatCursor line_beats_;
  std::atomic<int> position_section_{0};
  std::atomic<double> position_beat_{0};
  std::atomic<double> position_in_section_{0};
  std::atomic<double> position_tempo_{0};
};

}  // namespace vordel
