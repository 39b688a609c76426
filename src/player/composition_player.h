// The real-time player: a composition that is also the MIDI device layer, played by a
// periodic timer of the finest period available. Every tick sends the events of the current
// musical object whose time has come, moves on to the next object when one is exhausted, and at
// the end of the piece (or when asked to stop) rewinds, falls idle, stops its own timer and
// silences every channel.
//
// The window thread starts playbacks and asks them to stop; the timer thread alone cleans up a
// running playback. The window thread waits for the timer thread to end before it rewinds or
// rebuilds the composition.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "composer/composition.h"
#include "midi/midi.h"
#include "player/timer_service.h"

namespace vordel {

class TMyWindow;

// Values the player shares with the window's displays.
struct RequestData {
  void* source_Window = nullptr;
  Event* source_MIDI_event = nullptr;
  char CompositionText[255] = {};
  char MusicalObjectText[255] = {};
  std::atomic<int> PlayedEvents{0};
  int GenStartTime = 0;
  int GenEndTime = 0;
  std::atomic<std::uint32_t> LastTimeSetEvID{0};
};

// 1 asks a running playback to end at its next tick and keeps new playbacks from sending.
extern std::atomic<int> STOP_PLAYING;
extern RequestData Global_Data;

class CompositionPlayer : public Composition, public Midi {
 public:
  CompositionPlayer(const char* name, const char* path, const char* info,
                    std::unique_ptr<MidiOutput> output, unsigned input_status, TimerService& timer);
  ~CompositionPlayer() override;

  // Program, pan and volume of the selected ensemble on channels 1-4.
  void PrepareEnsemble() override;

  // Starts a playback from the current object. A playback that is still running is ended
  // first (through its own callback) and its thread waited for. Returns whether a timer now
  // runs; the caller marks the player as playing.
  bool PlayMusicalObject();

  static void myTimerFunc(unsigned wID, unsigned wMsg, std::uintptr_t dwUser, std::uintptr_t dw1,
                          std::uintptr_t dw2);

  // Ends a running playback at its next tick and waits until its thread has ended; returns at
  // once when none runs. Afterwards the composition may be rewound or rebuilt.
  void StopPlaybackAndWait();
  // Waits for a playback that was asked to stop (or has ended) to finish its last tick.
  void WaitForPlayerIdle();
  // Whether a tick can still run.
  bool TimerActive();

  int GetPlayStatus() const { return PlayStat.load(std::memory_order_acquire); }
  void SetPlayStatus() { PlayStat.store(1, std::memory_order_release); }
  void ResetPlayStatus() { PlayStat.store(0, std::memory_order_release); }

  // Whether the player asked for a repaint since the last call (clears the request).
  bool TakeRepaintRequest() { return repaint_.exchange(false, std::memory_order_acq_rel); }
  // 1-based number of the object being played (for progress displays).
  int PlayingObjectNumber() const { return playing_object_.load(std::memory_order_relaxed); }
  int GetStartTimes() const { return StartTimes; }
  unsigned GetTimerRes() const { return wTimerRes; }
  unsigned GetTimerID() const { return wTimerID.load(std::memory_order_acquire); }

 protected:
  // Called on the timer thread after events were sent: must be thread-safe and cheap.
  virtual void RequestRepaint() { repaint_.store(true, std::memory_order_release); }
  // Called on the window thread with the timer status text ("Timer OK (1)").
  virtual void ShowTimerStatus(const char* text) { (void)text; }

  TimerService& Timer() { return timer_; }

  timecaps_tag tc{0, 0};
  unsigned wTimerRes = 0;
  std::atomic<unsigned> wTimerID{0};
  std::atomic<int> PlayStat{0};
  unsigned mm_err = 0;

 private:
  void Tick(unsigned own_id);
  void EndPlayback(unsigned own_id);

  TimerService& timer_;
  int StartTimes = 0;
  // Tick counter and objects left; kept from one playback to the next.
  std::int64_t myTime = 0;
  int object_count = 0;
  bool first_run_done_ = false;
  std::atomic<bool> abort_{false};
  std::atomic<bool> repaint_{false};
  std::atomic<int> playing_object_{1};
};

}  // namespace vordel
