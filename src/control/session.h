// One running vordel: the piece (composition and schedule), the player, the MIDI output and
// input, and what happened to them. The desktop program, the window-less mode and
// vordel-compose --play all hold it the same way. Control thread only (one thread owns it), with
// two exceptions: GetSnapshot and the player's atomic readers may be called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "composer/composition.h"
#include "composer/piece_builder.h"
#include "midi/midi.h"
#include "outputs/midi_input.h"
#include "outputs/table.h"
#include "player/player.h"
#include "sequence/schedule.h"

namespace vordel {

// Told on the control thread what happens to the session.
class SessionListener {
 public:
  virtual ~SessionListener() = default;
  virtual void PieceBuilt(const std::string& reproduce) { (void)reproduce; }
  virtual void PieceRefused(const std::string& reason) { (void)reason; }
  virtual void PlaybackStarted() {}
  // reason: "end", "stop", "quit" or "error".
  virtual void PlaybackEnded(const std::string& reason) { (void)reason; }
  // The output's or the input's status changed (status bar texts and a description).
  virtual void DevicesChanged(const std::string& line) { (void)line; }
};

class Session {
 public:
  // `log` receives the [Reproduce] line of every piece built (null: none).
  Session(std::unique_ptr<MidiOutput> output, std::unique_ptr<MidiInput> input, TimerService& timer,
          std::ostream* log);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // --- the piece
  Composition& composition() { return composition_; }
  const Schedule& schedule() const { return *schedule_; }
  // Rebuilds the piece from text (a running playback is ended first), holding the composer's
  // clock for the build so the printed command makes it again. A refused string keeps the piece.
  BuildOutcome Compose(std::string_view text, bool clear_first = true);
  // Counts the pieces built, so that views of the piece know when to redraw it.
  int PieceSerial() const { return piece_serial_; }
  const std::string& ReproduceCommandLine() const { return reproduce_; }
  // Why the last string was refused or ignored, until the next piece ("" when it was not).
  const std::string& Refusal() const { return refusal_; }
  void SetRefusal(const std::string& reason) { refusal_ = reason; }

  // --- playback
  CompositionPlayer& player() { return player_; }
  const CompositionPlayer& player() const { return player_; }
  // Starts a playback from the first object; the player counts as playing only when a timer
  // really runs. An ensemble chosen for the next start is sent first.
  bool StartPlayback();
  // Why the next end of a playback happens ("stop", "quit"), when the control side causes it.
  void ExpectEnd(const std::string& reason) { end_reason_ = reason; }
  bool Playing() const { return playing_; }

  // --- messages of the control thread
  Midi& midi() { return midi_; }
  // Program, pan and volume of the composition's selected ensemble on channels 1-4.
  void PrepareEnsemble();
  // Sends the selected ensemble before the next start.
  void EnsembleForNextStart() { ensemble_pending_ = true; }
  // Channel volume (controller 7) on channels 1-4.
  void SetVolume(int value);
  // Every sounding note ended, then All Notes Off on all sixteen channels.
  void Silence();

  // --- devices
  MidiOutput* output() const { return output_.get(); }
  MidiInput* input() const { return input_.get(); }
  std::string GetINStatusStr() const;
  // "MOUT OK" / "MOUT Error.", with the messages lost inside vordel when there are any.
  std::string GetOUTStatusStr() const;
  std::uint64_t LostMessages() const;
  // Opens another output (a clean stop first); the current one stays when it cannot open.
  bool SwitchOutput(const OutputRequest& request, std::string* message);
  const std::string& OutputBackend() const { return output_backend_; }
  const std::string& OutputInput() const { return output_input_; }
  void SetOutputIdentity(const std::string& backend, const std::string& input);

  // --- what happened: call every 50 ms or so; tells the listeners about ended playbacks and
  // changed device status.
  void Poll();
  void AddListener(SessionListener* listener);
  void RemoveListener(SessionListener* listener);

  // A consistent view for other threads (OSC status answers).
  struct Snapshot {
    bool playing = false;
    int current_object = 1;
    std::int64_t playback_ms = 0;
    std::int64_t total_ms = 0;
    int events_played = 0;
    std::string reproduce;
  };
  Snapshot GetSnapshot() const;

  // Ends everything for good: the playback stopped, every note ended, All Notes Off, the
  // outputs drained and closed. Idempotent.
  void Shutdown(const std::string& reason);
  // What went wrong with the outputs that the user must hear of at the end (a recording that is
  // incomplete), one line each; after Shutdown. The program's exit code is then not 0.
  const std::vector<std::string>& Failures() const { return failures_; }

 private:
  void Publish();
  void EndedNow(const std::string& reason);
  void CloseOutput();

  std::ostream* log_;
  Composition composition_;
  std::shared_ptr<const Schedule> schedule_;
  std::unique_ptr<MidiOutput> output_;
  std::unique_ptr<MidiInput> input_;
  NoteTracker notes_;
  Midi midi_;  // the control lane
  CompositionPlayer player_;
  std::vector<SessionListener*> listeners_;
  std::string output_backend_;
  std::string output_input_;

  int piece_serial_ = 0;
  std::string reproduce_;
  std::string refusal_;
  bool ensemble_pending_ = false;
  bool playing_ = false;
  unsigned ended_seen_ = 0;
  std::string end_reason_;
  std::string device_line_;
  bool shut_down_ = false;
  std::vector<std::string> failures_;

  mutable std::mutex snapshot_mutex_;
  Snapshot snapshot_;
};

}  // namespace vordel
