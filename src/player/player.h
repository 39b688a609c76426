// The real-time player. A periodic timer of the finest period available ticks once a
// millisecond; every tick sends the messages of the schedule whose tick has come, stamped with
// the time the tick was due, and at the end of the piece (or when asked to stop) rewinds, falls
// idle, stops its own timer, ends every note still sounding and sends All Notes Off.
//
// The control thread starts playbacks, asks them to stop and swaps pieces while idle; the timer
// thread alone cleans up a running playback. Tick and EndPlayback run on the timer thread and
// are real-time safe (no allocation, no lock, no system call, no text). Everything else is for
// the control thread, except the atomic readers (play status, counters), which any thread may
// call.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "midi/midi.h"
#include "platform/timer.h"
#include "sequence/schedule.h"

namespace vordel {

class CompositionPlayer {
 public:
  CompositionPlayer(MidiOutput* output, NoteTracker& notes, TimerService& timer);
  ~CompositionPlayer();
  CompositionPlayer(const CompositionPlayer&) = delete;
  CompositionPlayer& operator=(const CompositionPlayer&) = delete;

  // The piece played from now on. A running playback is ended first (through its own tick).
  void SetSchedule(std::shared_ptr<const Schedule> schedule);
  const Schedule* GetSchedule() const { return schedule_.get(); }
  // The output the ticks send to, changed only while idle (a running playback is ended first).
  void SetOutput(MidiOutput* output);

  // Starts a playback from the first object. A playback that is still running is ended first
  // and its thread waited for. Returns whether a timer now runs; the caller marks the player as
  // playing. An empty piece arms no timer.
  bool PlayMusicalObject();

  // The timer callback; dwUser carries the player, dw1 the tick's deadline.
  static void myTimerFunc(unsigned wID, unsigned wMsg, std::uintptr_t dwUser, std::uintptr_t dw1,
                          std::uintptr_t dw2);

  // Ends a running playback at its next tick and waits until its thread has ended; returns at
  // once when none runs. Afterwards the schedule may be swapped.
  void StopPlaybackAndWait();
  // Waits for a playback that was asked to stop (or has ended) to finish its last tick.
  void WaitForPlayerIdle();
  // Whether a tick can still run.
  bool TimerActive();

  // STOP_PLAYING: 1 asks a running playback to end at its next tick and keeps new playbacks
  // from sending anything until it is cleared.
  void RaiseStop() { STOP_PLAYING.store(1, std::memory_order_release); }
  void ClearStop() { STOP_PLAYING.store(0, std::memory_order_release); }
  int GetStopPlaying() const { return STOP_PLAYING.load(std::memory_order_acquire); }

  // PlayStat: 1 while a playback runs, 0 when idle.
  int GetPlayStatus() const { return PlayStat.load(std::memory_order_acquire); }
  void SetPlayStatus() { PlayStat.store(1, std::memory_order_release); }
  void ResetPlayStatus() { PlayStat.store(0, std::memory_order_release); }

  // Note messages sent by the current playback, and the tick counter after the last tick.
  int PlayedEvents() const { return Global_Data.PlayedEvents.load(std::memory_order_relaxed); }
  std::uint32_t LastTimeSetEvID() const {
    return Global_Data.LastTimeSetEvID.load(std::memory_order_relaxed);
  }
  void InitCounters(int played, std::uint32_t last_tick);

  // Whether a tick sent something since the last call (clears the request).
  bool TakeRepaintRequest() { return repaint_.exchange(false, std::memory_order_acq_rel); }
  // 1-based number of the object being played.
  int PlayingObjectNumber() const { return playing_object_.load(std::memory_order_relaxed); }
  // How many playbacks have ended since the player was made.
  unsigned EndedPlaybacks() const { return ended_.load(std::memory_order_acquire); }
  // The monotonic time the first tick of the last playback was due at (0 before any).
  std::int64_t FirstTickDueNanos() const { return first_due_.load(std::memory_order_acquire); }

  // "Timer OK (n)" or "Timer ERROR (n)" of the last start ("" before the first).
  const std::string& TimerStatusText() const { return timer_status_; }
  int GetStartTimes() const { return StartTimes; }
  unsigned GetTimerRes() const { return wTimerRes; }
  unsigned GetTimerID() const { return wTimerID.load(std::memory_order_acquire); }
  TimerService& Timer() { return timer_; }
  // Sends of the ticks that failed.
  unsigned SendErrors() const { return midi_.SendErrors(); }

 private:
  void Tick(unsigned own_id, std::int64_t due_ns);
  void EndPlayback(unsigned own_id);

  struct RequestData {
    std::atomic<int> PlayedEvents{0};
    std::atomic<std::uint32_t> LastTimeSetEvID{0};
  };

  TimerService& timer_;
  Midi midi_;  // the player's lane
  std::shared_ptr<const Schedule> schedule_;
  ScheduleCursor cursor_;

  std::atomic<int> STOP_PLAYING{0};
  std::atomic<int> PlayStat{0};
  RequestData Global_Data;

  timecaps_tag tc{0, 0};
  unsigned wTimerRes = 0;
  std::atomic<unsigned> wTimerID{0};
  unsigned mm_err = 0;
  int StartTimes = 0;
  std::string timer_status_;

  // The tick counter (on the timer thread while playing; rewound at every end).
  std::int64_t myTime = 0;
  int object_index_ = 0;
  std::atomic<bool> abort_{false};
  std::atomic<bool> repaint_{false};
  std::atomic<int> playing_object_{1};
  std::atomic<unsigned> ended_{0};
  std::atomic<std::int64_t> first_due_{0};
};

}  // namespace vordel
