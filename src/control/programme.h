// What an installation plays all day: endless play (when a piece ends, the next one follows
// after a gap, composed while the current one plays, so the gap is exactly the gap), a playlist
// (in order or shuffled), opening hours (playing only inside them, starting at the opening and
// fading out at the closing), and the journal of every playback. Without endless play, a
// playlist or hours it only keeps the journal: one piece per command, as ever. Control thread;
// not real-time safe.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/hours.h"
#include "control/journal.h"
#include "control/playlist.h"
#include "control/session.h"

namespace vordel {

struct ProgrammeSettings {
  bool endless = false;
  std::optional<Playlist> playlist;  // a playlist turns endless play on
  bool shuffle = false;
  std::int64_t gap_ms = 3000;
  std::int64_t fade_ms = 0;  // the fade of a stop, a "next" and the closing
  OpeningHours hours;
  std::string journal;  // "" keeps none
  // The local wall clock the hours and the journal read (tests give their own).
  std::function<std::time_t()> wall_clock = [] { return std::time(nullptr); };
};

// What the programme asks of the program around it.
class ProgrammeHost {
 public:
  virtual ~ProgrammeHost() = default;
  // The current piece plays from its start.
  virtual void PlayCurrent() = 0;
  virtual void Log(const std::string& line) = 0;
};

class Programme : public SessionListener {
 public:
  using WallClock = std::function<std::time_t()>;

  Programme(Session& session, ProgrammeHost& host, ProgrammeSettings settings);
  ~Programme() override;
  Programme(const Programme&) = delete;
  Programme& operator=(const Programme&) = delete;

  // The program is ready (its start-up piece composed): endless play starts, inside the hours.
  void Begin();
  bool Endless() const { return endless_; }
  void SetEndless(bool on);
  // A new playlist, from the top; endless play goes on with it.
  void UsePlaylist(Playlist list);
  // The current piece fades out and the next one follows after the gap.
  void Next();
  // The session's composer has a piece ready to follow.
  void PieceComposed();
  // Time passes: the hours open and close, a piece waiting for its gap starts.
  void Poll();
  // Milliseconds until Poll has something to do (0..50), for a loop that sleeps.
  int WakeInMs() const;

  struct Status {
    int mode = 0;             // 0 a piece at a time, 1 endless
    int position = 0;         // the playlist line playing, counted from 1 (0: no playlist)
    int length = 0;           // the playlist's lines that make pieces
    int seconds_to_next = 0;  // until the next piece, or the opening; 0 when nothing waits
  };
  Status GetStatus() const;
  // "Closed until 10:00." while outside the hours, else "".
  std::string ClosedText() const;
  bool Open() const { return open_; }
  // The fade of a stop, a next and the closing: --fade's, or while fading is switched on
  // without one, kDefaultFadeMs; 0 (at once) while it is switched off.
  std::int64_t fade_ms() const;
  bool Fading() const { return fading_; }
  void SetFading(bool on) { fading_ = on; }
  static constexpr std::int64_t kDefaultFadeMs = 2000;

  // SessionListener
  void PlaybackStarted() override;
  void PlaybackEnded(const std::string& reason) override;

 private:
  bool Continuing() const { return (endless_ || next_pending_) && open_ && !paused_; }
  // Asks the composer for the next piece (the playlist's next line, or the same string at a new
  // clock).
  void ComposeNext();
  void Journal(const std::string& how);
  ComposerService& composer() { return session_.composer(); }
  Transport& transport() { return session_.transport(); }

  Session& session_;
  ProgrammeHost& host_;
  ProgrammeSettings settings_;
  WallClock wall_clock_;
  vordel::Journal journal_;
  std::optional<PlaylistOrder> order_;

  bool endless_ = false;
  bool fading_ = false;
  bool open_ = true;
  bool paused_ = false;        // a stop: nothing follows until the next start
  bool next_pending_ = false;  // a "next": one piece follows, endless or not
  bool composing_ = false;
  int composing_line_ = 0;  // the playlist line (from 1) of the piece being composed
  int playing_line_ = 0;    // the playlist line playing
  // When the next piece is to start, when it is not composed yet (monotonic nanoseconds).
  std::optional<std::int64_t> start_at_;
  std::optional<std::time_t> next_change_;
  // The playback being journalled.
  std::optional<std::time_t> started_;
  std::int64_t started_ns_ = 0;
  std::string started_piece_;
  // Lines the journal could not take: in all since it last worked, and since that was said.
  int journal_lost_ = 0;
  int journal_unsaid_ = 0;
  std::optional<std::int64_t> journal_said_ns_;
};

}  // namespace vordel
