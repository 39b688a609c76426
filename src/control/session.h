// One running vordel: its devices (the MIDI output and input), the transport that plays cues on
// the output, the composer working beside the control thread, and what happened to them, told
// to listeners and logged. The desktop program, the window-less mode and vordel-compose --play
// all hold it the same way. Control thread only (one thread owns it), with two exceptions:
// GetSnapshot and the player's atomic readers may be called from any thread, and Panic from any
// thread once memory has run out.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "outputs/midi_input.h"
#include "outputs/table.h"
#include "transport/composer_service.h"
#include "transport/transport.h"

namespace vordel {

// Told on the control thread what happens to the session.
class SessionListener {
 public:
  virtual ~SessionListener() = default;
  virtual void PieceBuilt(const std::string& reproduce) { (void)reproduce; }
  virtual void PieceRefused(const std::string& reason) { (void)reason; }
  virtual void PlaybackStarted() {}
  // reason: "end", "stop", "next", "hours", "quit" or "error".
  virtual void PlaybackEnded(const std::string& reason) { (void)reason; }
  // The output's or the input's status changed (status bar texts and a description).
  virtual void DevicesChanged(const std::string& line) { (void)line; }
};

class Session : private TransportListener {
 public:
  // `log` receives the composer's lines, the [Reproduce] line of every piece made current and
  // the [SetPosition] line of every playback (null: none).
  Session(std::unique_ptr<MidiOutput> output, std::unique_ptr<MidiInput> input, TimerService& timer,
          std::ostream* log);
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Transport& transport() { return transport_; }
  const Transport& transport() const { return transport_; }
  ComposerService& composer() { return composer_; }
  // The player's counters and statuses (read only: the transport drives it).
  const CompositionPlayer& player() const { return transport_.player(); }

  // --- the current piece
  const Piece& piece() const { return transport_.Current().piece; }
  const Schedule& schedule() const { return *transport_.Current().schedule; }
  // Counts the pieces made current, so that views of the piece know when to redraw it.
  int PieceSerial() const { return piece_serial_; }
  // Why the last string was refused or ignored, until the next piece ("" when it was not).
  const std::string& Refusal() const { return refusal_; }
  // What the current piece's string holds that is outside its useful ranges, one line each
  // (written to the log as "[Warning] ..." when a string other than the last one is taken).
  const std::vector<std::string>& Warnings() const { return warnings_; }
  void SetRefusal(const std::string& reason) { refusal_ = reason; }
  // A string that makes no piece: remembered as the refusal, and the listeners are told.
  void Refuse(const std::string& reason);
  // One of the program's lines about a string, to the log.
  void Diagnose(const std::string& line);
  // Makes a piece composed elsewhere the current one (its schedule is made here).
  void SetPiece(const Piece& piece);

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
  // Any thread, for a process about to die (out of memory): every note ends at once through the
  // output, without allocating and without waiting for the other threads (MidiOutput::Panic).
  void Panic();

  // --- what happened: call every 50 ms or so; the transport's time passes and changed device
  // statuses are told.
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
    // What plays all day: 0 a piece at a time or 1 endless, the playlist line playing (from
    // 1) and the playlist's length, the seconds until the next piece or the opening.
    int mode = 0;
    int playlist_position = 0;
    int playlist_length = 0;
    int seconds_to_next = 0;
    // While playing: the beat in the current section (from 0) and the tempo in force (beats a
    // minute); 0 otherwise.
    double beat = 0;
    double tempo = 0;
  };
  Snapshot GetSnapshot() const;
  void SetProgrammeStatus(int mode, int position, int length, int seconds_to_next);

  // Ends everything for good: the composer stopped, the playback ended for `reason`, every note
  // ended, All Notes Off, the outputs drained and closed. Idempotent.
  void Shutdown(const std::string& reason);
  // What went wrong with the outputs that the user must hear of at the end (a recording that is
  // incomplete), one line each; after Shutdown. The program's exit code is then not 0.
  const std::vector<std::string>& Failures() const { return failures_; }
  // What the user should hear of at the end that is no failure (see MidiOutput::Warning), one
  // line each; after Shutdown.
  const std::vector<std::string>& Cautions() const { return cautions_; }

 private:
  // TransportListener
  void CueLoaded(const Cue& cue, bool took_over) override;
  void PlaybackStarted(const Cue& cue) override;
  void PlaybackEnded(const Cue& cue, const std::string& reason) override;

  void Publish();
  void CloseOutput();

  std::ostream* log_;
  std::unique_ptr<MidiOutput> output_;
  std::atomic<MidiOutput*> live_output_{nullptr};  // output_, for Panic
  std::unique_ptr<MidiInput> input_;
  Transport transport_;
  ComposerService composer_;
  std::vector<SessionListener*> listeners_;
  std::string output_backend_;
  std::string output_input_;

  int piece_serial_ = 0;
  bool took_over_ = false;   // the current cue followed the one before
  std::string last_string_;  // the canonical string of the piece current before
  std::string refusal_;
  std::vector<std::string> warnings_;
  std::string device_line_;
  bool shut_down_ = false;
  std::vector<std::string> failures_;
  std::vector<std::string> cautions_;

  mutable std::mutex snapshot_mutex_;
  Snapshot snapshot_;
};

}  // namespace vordel
