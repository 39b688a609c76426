// One running vordel: the piece (a value, with its schedule), the composer working beside it,
// the player, the MIDI output and input, and what happened to them. The desktop program, the
// window-less mode and vordel-compose --play all hold it the same way. Pieces are composed on a
// thread of the session's own: the caller asks for one and is told when it is ready, and never
// waits. A piece may be set to follow the one playing, without a gap beyond its own timing.
// Control thread only (one thread owns it), with two exceptions: GetSnapshot and the player's
// atomic readers may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

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

// What a piece is composed for: a command (the piece to play now), or the piece to follow the
// one playing. Each has its own newest request; the composer takes the command's first.
enum class ComposeFor : int { kCommand = 0, kFollowing = 1 };
inline constexpr int kComposeSlots = 2;

// A piece the session's composer has made, with its schedule.
struct ReadyPiece {
  std::uint64_t request = 0;
  Piece piece;
  std::shared_ptr<const Schedule> schedule;
  std::string diagnostics;   // the composer's lines, to be shown where the program shows them
  CarriedState carried_out;  // what it leaves for the next piece
};

class Session {
 public:
  // `log` receives the composer's lines and the [Reproduce] line of every piece (null: none).
  Session(std::unique_ptr<MidiOutput> output, std::unique_ptr<MidiInput> input, TimerService& timer,
          std::ostream* log);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // --- the piece
  const Piece& piece() const { return piece_; }
  const Schedule& schedule() const { return *schedule_; }
  // Counts the pieces made current, so that views of the piece know when to redraw it.
  int PieceSerial() const { return piece_serial_; }
  std::string ReproduceCommandLine() const { return piece_.Reproduce(); }
  // Why the last string was refused or ignored, until the next piece ("" when it was not).
  const std::string& Refusal() const { return refusal_; }
  // What the current piece's string holds that is outside its useful ranges, one line each
  // (written to the log as "[Warning] ..." when a string other than the last one is taken).
  const std::vector<std::string>& Warnings() const { return warnings_; }
  void SetRefusal(const std::string& reason) { refusal_ = reason; }
  // A string that makes no piece: remembered as the refusal, and the listeners are told.
  void Refuse(const std::string& reason);
  // One of the composer's lines about a string, to the log.
  void Diagnose(const std::string& line);

  // --- composing, beside the control thread
  // Asks for the piece of an accepted parameter value, composed at the composer's clock now
  // (or at `clock_ms`) with the state the pieces so far have left (or `carried`). A newer
  // request for the same purpose makes an older one pointless (it is given up). Returns the
  // request's number.
  std::uint64_t RequestPiece(const PieceParameters& parameters,
                             ComposeFor purpose = ComposeFor::kCommand,
                             std::optional<std::int64_t> clock_ms = std::nullopt,
                             std::optional<CarriedState> carried = std::nullopt);
  // Readable when a requested piece is ready.
  int ComposedFd() const { return ready_fd_; }
  // The piece of the newest request for `purpose` once it is ready; the state it leaves is
  // carried on.
  std::optional<ReadyPiece> TakeComposed(ComposeFor purpose = ComposeFor::kCommand);
  // Whether a request for `purpose` is still being composed.
  bool Composing(ComposeFor purpose = ComposeFor::kCommand) const;
  // Gives up whatever is being composed for `purpose`.
  void CancelComposing(ComposeFor purpose = ComposeFor::kCommand);
  // Composes on the caller's thread (start-up of a tool, tests): the same as a request taken.
  ReadyPiece ComposeNow(const PieceParameters& parameters, std::int64_t clock_ms);
  // Makes a ready piece the current one (a running playback is ended first): the composer's
  // lines and its [Reproduce] line go to the log, and the listeners are told.
  void SetPiece(const ReadyPiece& ready);
  // The same for a piece composed elsewhere (its schedule is made here).
  void SetPiece(const Piece& piece);

  // --- a piece that follows
  // Plays `ready` when the current piece ends: after its own end and `gap_ms` more, with the
  // ensemble of the session. Replaces one set before. Takes effect during a playback too.
  void SetFollowing(const ReadyPiece& ready, std::int64_t gap_ms);
  void ClearFollowing();
  bool HasFollowing() const { return following_.has_value(); }
  // The piece set to follow, taken back (it no longer follows).
  std::optional<ReadyPiece> TakeFollowing();

  // --- playback
  CompositionPlayer& player() { return player_; }
  const CompositionPlayer& player() const { return player_; }
  // Starts a playback from the first object; the player counts as playing only when a timer
  // really runs. An ensemble chosen for the next start is sent first.
  bool StartPlayback();
  // Why the next end of a playback happens ("stop", "quit"), when the control side causes it.
  void ExpectEnd(const std::string& reason) { end_reason_ = reason; }
  // Stops the playback for `reason`: at once, or, with fade_ms above 0 while a playback runs,
  // after lowering the volume of channels 1-4 to silence over that time (a smooth ramp of
  // controller 7, twenty steps a second as Poll is called); a stop during a fade stops at once.
  // The next start sends the volume that was set before the fade.
  void Stop(const std::string& reason, std::int64_t fade_ms);
  bool Fading() const { return fade_.has_value(); }
  bool Playing() const { return playing_; }
  // The monotonic time the playback (or the piece that took over) started at.
  std::int64_t PlayingSinceNanos() const { return playing_since_ns_; }
  // The "[SetPosition] ..." line of a playback from the start, to the log.
  void LogPosition();

  // --- messages of the control thread
  Midi& midi() { return midi_; }
  // The ensemble (0..2) pieces are played with; the current piece takes it at once, the
  // output at the next start.
  int Ensemble() const { return ensemble_; }
  void ChooseEnsemble(int ensemble);
  // Program, pan and volume of the selected ensemble on channels 1-4 (then the volume the user
  // chose, when there is one).
  void PrepareEnsemble();
  // Sends the selected ensemble before the next start.
  void EnsembleForNextStart() { ensemble_pending_ = true; }
  // Channel volume (controller 7) on channels 1-4.
  void SetVolume(int value);
  // The same, chosen by the user: kept from then on, across a change of the ensemble too.
  void ChooseVolume(int value);
  // The volume channels 1-4 were last set to by the control side (another sender's note of it).
  void RememberVolume(int value) { volume_ = value; }
  int Volume() const { return volume_; }
  // Every sounding note ended, then All Notes Off on all sixteen channels.
  void Silence();
  // Any thread, for a process about to die (out of memory): every note ends at once through the
  // output, without allocating and without waiting for the other threads (see
  // MidiOutput::Panic).
  void Panic();

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

  // --- what happened: call every 50 ms or so; tells the listeners about ended playbacks,
  // pieces that followed and changed device status.
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
  };
  Snapshot GetSnapshot() const;
  void SetProgrammeStatus(int mode, int position, int length, int seconds_to_next);

  // Stops the playback, if one runs or has just been stopped, and tells the listeners it ended
  // for `reason`, while they still listen (before the program's sources stop).
  void EndPlayback(const std::string& reason);
  // Ends everything for good: the composer stopped, the playback stopped, every note ended, All
  // Notes Off, the outputs drained and closed. Idempotent.
  void Shutdown(const std::string& reason);
  // What went wrong with the outputs that the user must hear of at the end (a recording that is
  // incomplete), one line each; after Shutdown. The program's exit code is then not 0.
  const std::vector<std::string>& Failures() const { return failures_; }
  // What the user should hear of at the end that is no failure (see MidiOutput::Warning), one
  // line each; after Shutdown.
  const std::vector<std::string>& Cautions() const { return cautions_; }

 private:
  struct Request {
    std::uint64_t number = 0;
    int slot = 0;
    PieceParameters parameters;
    std::int64_t clock_ms = 0;
    CarriedState carried;
  };
  void Compose();  // the composer's thread
  ReadyPiece Make(const Request& request, Composed composed, std::string diagnostics) const;
  void Publish();
  void EndedNow(const std::string& reason);
  void StopNow(const std::string& reason);
  void SendVolume(int value);
  void FadeStep();
  void CloseOutput();
  void StopComposer();

  std::ostream* log_;
  Piece piece_;
  std::shared_ptr<const Schedule> schedule_;
  std::optional<ReadyPiece> following_;
  std::unique_ptr<MidiOutput> output_;
  std::atomic<MidiOutput*> live_output_{nullptr};  // output_, for Panic
  std::unique_ptr<MidiInput> input_;
  NoteTracker notes_;
  Midi midi_;  // the control lane
  CompositionPlayer player_;
  std::vector<SessionListener*> listeners_;
  std::string output_backend_;
  std::string output_input_;

  int piece_serial_ = 0;
  std::string refusal_;
  std::vector<std::string> warnings_;
  int ensemble_ = 0;
  bool ensemble_pending_ = false;
  int volume_ = 100;                  // as the ensembles set it
  std::optional<int> chosen_volume_;  // the volume the user set, if any
  struct Fade {
    std::int64_t start_ns;
    std::int64_t length_ns;
    std::string reason;
    int from;
    int sent;
  };
  std::optional<Fade> fade_;
  bool faded_ = false;  // the volume is down since a fade
  bool playing_ = false;
  std::int64_t playing_since_ns_ = 0;
  unsigned ended_seen_ = 0;
  unsigned continuations_seen_ = 0;
  bool follower_waits_ = false;  // taken over, its first tick not come yet
  std::string end_reason_;
  std::string device_line_;
  bool shut_down_ = false;
  std::vector<std::string> failures_;
  std::vector<std::string> cautions_;

  // The composer: for each purpose the newest request waits in `waiting_`, the piece made for
  // it in `done_`.
  mutable std::mutex composer_mutex_;
  std::condition_variable composer_wake_;
  std::optional<Request> waiting_[kComposeSlots];
  std::optional<ReadyPiece> done_[kComposeSlots];
  std::uint64_t requested_[kComposeSlots] = {};  // the newest request's number
  std::uint64_t taken_[kComposeSlots] = {};      // the last request taken (or given up)
  std::uint64_t next_request_ = 0;
  bool composer_stopping_ = false;
  std::atomic<bool> cancel_[kComposeSlots] = {};
  CarriedState carried_;  // what the pieces so far have left (control thread)
  int ready_fd_ = -1;
  std::thread composer_;

  mutable std::mutex snapshot_mutex_;
  Snapshot snapshot_;
};

}  // namespace vordel
