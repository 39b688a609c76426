// What plays: one state machine over the real-time player. A cue is loaded (the current one),
// played from its start, and stopped, at once or faded out over a time; one cue may wait to come
// next, either after the current one's own end and a gap (the player takes it over in its tick,
// without a gap of its own) or at a time (then it replaces whatever plays). Every verb, and every
// change the player makes by itself (an end, a take-over, the first tick after a gap), passes
// through one transition function, which is the only code that touches the player's stop
// request, its play status and its slot for what follows, and the only code that tells the
// listeners: a cue became current, a playback started, a playback ended and why. So a stop, an
// end and a take-over are each told once, whoever caused them.
//
// States: Idle (nothing plays), Waiting (nothing plays, a cue waits for its start time), Playing,
// Fading (a stop is lowering the volume), Gap (the player runs the gap before the cue that took
// over, which has not started yet).
//
// Control thread only, except the player's atomic readers. Not real-time safe; the player's tick
// stays real-time safe.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "midi/midi.h"
#include "platform/clock.h"
#include "player/player.h"
#include "transport/cue.h"

namespace vordel {

// Told on the control thread what the transport did.
class TransportListener {
 public:
  virtual ~TransportListener() = default;
  // A cue became the current one: loaded, or taken over by the player from the one before.
  virtual void CueLoaded(const Cue& cue, bool took_over) {
    (void)cue;
    (void)took_over;
  }
  virtual void PlaybackStarted(const Cue& cue) { (void)cue; }
  // reason: "end", "stop", "next", "hours", "quit" or "error".
  virtual void PlaybackEnded(const Cue& cue, const std::string& reason) {
    (void)cue;
    (void)reason;
  }
};

class Transport {
 public:
  enum class State { kIdle, kWaiting, kPlaying, kFading, kGap };
  // What may come next, and when.
  enum class When { kAfterEnd, kAt };

  // `now` reads the monotonic clock in nanoseconds (fades and start times are timed by it).
  using Clock = std::function<std::int64_t()>;
  Transport(MidiOutput* output, TimerService& timer, Clock now = MonotonicNanos);
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // --- verbs
  // Makes `cue` the current one (with the ensemble chosen); a playback that runs ends first
  // ("stop"), and a cue that waited to come next no longer does.
  void Load(const Cue& cue);
  // Whatever plays stops cleanly ("stop") and every note ends; then `cue` plays from its start,
  // the ensemble (and the volume the user chose) sent first. False when it cannot play.
  bool Start(const Cue& cue);
  // Plays the current cue from its start; a playback that runs ends first ("stop"). False when
  // nothing plays (an empty piece, a timer that cannot run). `honour_stop`: a stop asked for
  // before still holds, and the playback ends at its first tick (the window's click after a
  // stop).
  bool Play(bool honour_stop = false);
  // Stops for `reason`: at once, or with fade_ms above 0 while a playback runs, after lowering
  // the volume of channels 1-4 to silence over that time; a stop during a fade stops at once.
  // Whatever waited to come next no longer does (take it back with Unqueue first to keep it).
  // With nothing playing, every note still sounding ends.
  void Stop(const std::string& reason, std::int64_t fade_ms = 0);
  // The playback ends for "next" (faded out over fade_ms, or at once), and the cue set to follow
  // it, if any, plays gap_ms after that end instead of where or when it was set to.
  void Next(std::int64_t fade_ms, std::int64_t gap_ms);
  // Whatever plays stops at once (a stop) and every note ends; a stop asked for before no
  // longer holds.
  void ClearStage();
  // `cue` comes next: after the current cue's own end (its last pause included) and gap_ms
  // more, taken over by the player. Only while a cue plays; otherwise it starts at once.
  void Queue(const Cue& cue, std::int64_t gap_ms);
  // `cue` comes next at the monotonic time at_ns, replacing whatever plays then ("stop").
  void QueueAt(const Cue& cue, std::int64_t at_ns);
  // Takes back what waited to come next (nothing when the player has already taken it over).
  std::optional<Cue> Unqueue();
  // Ends everything for good: the playback stops (ended for `reason`), every note ends.
  void Shutdown(const std::string& reason);
  // Time passes: a fade goes on, and what the player did by itself (an end, a take-over, the
  // first tick after a gap) and a start time that has come are taken in. Every 50 ms or so.
  void Poll();

  // --- the ensemble and the volume (messages of the control lane)
  // The ensemble (0..2) pieces are played with; the current cue takes it at once, the output at
  // the next start when EnsembleForNextStart, else at PrepareEnsemble.
  int Ensemble() const { return ensemble_; }
  void ChooseEnsemble(int ensemble);
  void EnsembleForNextStart() { ensemble_pending_ = true; }
  // Program, pan and volume of the ensemble on channels 1-4 (the volume the user chose, when
  // there is one, in place of the ensemble's own).
  void PrepareEnsemble();
  // Channel volume (controller 7) on channels 1-4; during a fade it is sent at the next start.
  void SetVolume(int value);
  // The same, chosen by the user: kept from then on, across a change of the ensemble too.
  void ChooseVolume(int value);
  int Volume() const { return volume_; }
  // A tempo to play every piece at from now on (beats a minute, the piece's shape kept; 0: each
  // piece's own), as an external clock gives it.
  void FollowTempo(double bpm) { player_.SetFollowTempo(bpm); }
  // Every sounding note ended, then All Notes Off on all sixteen channels.
  void Silence();
  Midi& midi() { return midi_; }

  // --- what is
  State state() const { return state_; }
  bool Playing() const { return state_ == State::kPlaying || state_ == State::kFading; }
  bool Fading() const { return state_ == State::kFading; }
  const Cue& Current() const { return current_; }
  // While fading: why the playback is being stopped, and when the fade ends (monotonic ns).
  std::string FadeReason() const { return fade_ ? fade_->reason : ""; }
  std::int64_t FadeEndNanos() const { return fade_ ? fade_->start_ns + fade_->length_ns : 0; }
  // What waits to come next (null when nothing does).
  const Cue* Next() const { return next_ ? &next_->cue : nullptr; }
  std::optional<When> NextWhen() const;
  // When the cue set to start at a time starts (monotonic nanoseconds; 0 when none is).
  std::int64_t NextAt() const { return next_ && next_->when == When::kAt ? next_->at_ns : 0; }
  // The monotonic time the playback (or the cue that took over) started at.
  std::int64_t PlayingSinceNanos() const { return playing_since_ns_; }
  const CompositionPlayer& player() const { return player_; }
  CompositionPlayer& player() { return player_; }
  // Notes started and not ended yet.
  int SoundingNotes() const { return notes_.Sounding(); }

  // --- the output (idle only: a running playback ends first)
  void SetOutput(MidiOutput* output);
  MidiOutput* output() const { return output_; }

  void AddListener(TransportListener* listener);
  void RemoveListener(TransportListener* listener);

 private:
  struct Upcoming {
    Cue cue;
    When when = When::kAfterEnd;
    std::int64_t gap_ms = 0;  // kAfterEnd
    std::int64_t at_ns = 0;   // kAt
  };
  struct Fade {
    std::int64_t start_ns;
    std::int64_t length_ns;
    std::string reason;
    int from;
    int sent;
  };
  // Everything that moves the machine, from outside (verbs) or from the player.
  enum class Input {
    kLoad,
    kPlay,
    kStop,
    kNext,
    kClearStage,
    kQueue,
    kQueueAt,
    kUnqueue,
    kShutdown,
    kFadeStep,
    kPlayerEnded,
    kTookOver,
    kFirstTick,
    kDue,
  };
  struct Event {
    explicit Event(Input in, const Cue* c = nullptr) : input(in), cue(c) {}
    Input input;
    const Cue* cue = nullptr;
    std::string reason;
    std::int64_t fade_ms = 0;
    std::int64_t gap_ms = 0;
    std::int64_t at_ns = 0;
    bool honour_stop = false;
  };
  // The one transition function; returns whether a playback started (kPlay, kDue, kQueue).
  bool Transition(const Event& event);

  // Steps of transitions.
  bool StartPlayer(bool honour_stop);
  // The state with nothing playing: Waiting when a cue waits for its start time, else Idle.
  State Resting() const;
  // A stop or a next with a fade while playing: the fade begins (true); otherwise nothing.
  bool BeginFade(const Event& event);
  // The player stops at once; the reason it ended for (a fade's own, when one was running).
  std::string StopNow(const std::string& reason);
  void StopPlayer(const std::string& reason);
  void Ended(const std::string& reason);
  void ArmNext();
  void DisarmNext();
  void SendVolume(int value);
  void FadeStep();
  std::string EndReason(const std::string& reason) const;

  Clock now_;
  MidiOutput* output_;
  NoteTracker notes_;
  Midi midi_;  // the control lane
  CompositionPlayer player_;
  std::vector<TransportListener*> listeners_;

  State state_ = State::kIdle;
  Cue current_;
  std::optional<Upcoming> next_;
  std::optional<Fade> fade_;
  bool faded_ = false;   // the volume is down since a fade
  bool silent_ = false;  // All Notes Off was the last word on the notes
  std::int64_t playing_since_ns_ = 0;
  unsigned ended_seen_ = 0;
  unsigned continuations_seen_ = 0;
  int ensemble_ = 0;
  bool ensemble_pending_ = false;
  int volume_ = 100;  // as the ensembles set it
  std::optional<int> chosen_volume_;
};

// The name of a state, for tests and log lines.
const char* StateName(Transport::State state);

}  // namespace vordel
