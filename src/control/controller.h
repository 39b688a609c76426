// What the commands and the window's events do to the transport. The controller owns the rules
// of a text that stays on the clipboard (a parameter string was taken; the stop was carried out)
// and the order of the actions in each rule; commands that arrive once (OSC, standard input,
// MIDI input) act each time. A piece is composed beside the control thread: while it is, the
// commands after it wait their turn (a quit never waits; of several strings only the newest is
// composed next, and a piece that has started plays a second before a newer one replaces it),
// so every command still acts as if the ones before had finished. The window only shows state,
// reads the mouse and hosts the menu, through the host. Control thread only; not real-time safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "control/command.h"
#include "control/command_queue.h"
#include "control/files_folder.h"
#include "control/programme.h"
#include "control/score_jobs.h"
#include "control/session.h"

namespace vordel {

inline constexpr const char* kDefaultParameterString = "0 80 40 30 25 1 50 30 23 20";

// What the controller asks of the program around it.
class ControllerHost {
 public:
  virtual ~ControllerHost() = default;
  // A modal box with an OK button.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  // A modal question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Repaint of the whole client area.
  virtual void Invalidate() = 0;
  // Ends the program's loop with this exit code.
  virtual void PostQuit(int code) = 0;
  // One line about what happened, for a log (the window-less mode prints it).
  virtual void Log(const std::string& line) { (void)line; }
};

// The status bar's fields, in the order the window shows them.
enum class StatusField { kEvents = 0, kTimer = 1, kTick = 2, kMidiIn = 3, kMidiOut = 4, kBeat = 5 };
inline constexpr int kStatusFields = 6;

class Controller : private ProgrammeHost {
 public:
  // programme: endless play, playlist, hours, fades and journal (by default none of them).
  // files: the folder of the files other programs name ("" for the default).
  Controller(Session& session, ControllerHost& host, ProgrammeSettings programme = {},
             std::string files = "");
  ~Controller() override;

  // Start-up: the shared counters, then the start-up piece is asked for (nothing plays yet,
  // unless the programme plays endlessly). A parameter string given (accepted) takes its place,
  // and plays as soon as it is composed.
  void SetupWindow(const std::string& piece = "");
  // Call every 50 ms or so (and when Programme::WakeInMs says): the session's and the
  // programme's time passes, and a score that has been written is answered for.
  void Poll();
  Programme& programme() { return *programme_; }

  void Apply(const Command& command);
  // What joins (true) or leaves (false) a Link session and says what became of it, and whether
  // vordel is in one; without them, a command to join is answered that Link is not there.
  void SetLinkSwitch(std::function<std::string(bool)> link_switch, std::function<bool()> joined) {
    link_switch_ = std::move(link_switch);
    link_joined_ = std::move(joined);
  }
  bool LinkJoined() const { return link_joined_ && link_joined_(); }
  // The session's composer has a piece ready (its descriptor became readable): what the
  // command that asked for it does next, then the commands that waited.
  void PieceComposed();
  // Whether a piece is being composed for a command, or waits for its turn to start.
  bool Composing() const { return pending_.has_value() || held_.has_value(); }
  // Whether a composed piece waits for the one playing to have played its second.
  bool WaitsToStart() const { return held_.has_value(); }
  // Milliseconds until Poll has something to do (0..50), for a loop that sleeps.
  int WakeInMs() const;
  // The shortest time a piece that has started plays before a newer string replaces it.
  static constexpr std::int64_t kShortestPlaybackNanos = 1000000000;

  // The clipboard's rules for a text that stays ("0", "1", "q", or a parameter string).
  void ClipboardText(const std::string& text);
  // Takes a parameter string from the clipboard: sends ensemble 0 and, when nothing plays,
  // composes its piece.
  void TakeClipboardString(const std::string& text);

  // Window events.
  void EvLButtonDown();
  void EvRButtonDown();
  void EvMouseMove(int y);
  // Stops the playback properly, then asks "Want to close ?"; true to close.
  bool CanClose();

  // The line of counters, the status bar's texts and the line that says what happened.
  std::string CountersText() const;
  std::string StatusText(StatusField field) const;
  // The notice without the string's warnings, which the window shows apart.
  std::string NoticeText(bool with_warnings = true) const;
  // For the person at the window: the counters in sections and minutes ("3 sections, 1:07;
  // section 2 at 0:41") and each status field in words, its raw text left to the tooltip.
  std::string ReadableCounters() const;
  std::string StatusWords(StatusField field) const;

  // The clipboard's state: a string was taken (until a stop); the stop was carried out (until a
  // string is taken).
  bool StringTaken() const { return string_taken_; }
  bool StopDone() const { return stop_done_; }
  // The text of the last parameter string taken.
  const std::string& LastParameterString() const { return last_string_; }
  // The playback position to show: the tick being played, or the start.
  std::int64_t DisplayedTick() const;

 private:
  void ApplyLatched(const Command& command);
  void ApplyOnce(const Command& command);
  void StopNow(const std::string& origin);
  // ProgrammeHost
  void PlayCurrent() override;
  void Log(const std::string& line) override { host_.Log(line); }
  void PlayFromStart();
  void Quit();
  void ComposeAndPlay(const Command& command);
  // A string that makes no piece: said in the window and the log, and answered.
  void RefuseString(const Command& command, const std::string& refusal);
  // Why a string makes no piece, said as the program keeps its own.
  std::string Refusal(const PieceParameters& parameters) const;
  // Whatever plays stops cleanly, and `cue` plays (a string from a source that acts once).
  void Replace(const Cue& cue, const Command& command);
  void ApplyWaiting();
  // What follows the composing, by the command that asked for it.
  enum class AfterComposing { kKeep, kRestart, kReplace };
  void Await(const PieceParameters& parameters, const Command& command, AfterComposing after,
             std::optional<std::int64_t> clock_ms = std::nullopt,
             std::optional<CarriedState> carried = std::nullopt);
  void SaveScore(const Command& command);
  // The file a score command names, prepared for writing: null, with the reason, when it may
  // not be written.
  std::unique_ptr<PendingFile> ScoreFile(const Command& command, const Piece& piece,
                                         std::string* error);
  void UsePlaylist(const Command& command);

  Session& session_;
  ControllerHost& host_;
  Transport& transport_;
  // The clipboard's rules, kept from poll to poll.
  bool string_taken_ = false;
  bool stop_done_ = false;
  double tempo_said_ = 0;  // the followed tempo last logged
  std::function<std::string(bool)> link_switch_;
  std::function<bool()> link_joined_;
  std::string last_string_;
  bool quitting_ = false;
  // The piece being composed for a command, and the commands that wait for it.
  struct Pending {
    std::uint64_t request = 0;
    Command command;
    AfterComposing after = AfterComposing::kKeep;
  };
  std::optional<Pending> pending_;
  // A piece composed to replace one that started less than a second ago, until it may.
  struct Held {
    Cue cue;
    Command command;
    std::int64_t due_ns = 0;
  };
  std::optional<Held> held_;
  CommandQueue waiting_;
  std::unique_ptr<Programme> programme_;
  bool began_ = false;
  bool play_at_start_ = false;  // a string was given to play at once
  FilesFolder files_;
  ScoreJobs scores_;
};

}  // namespace vordel
