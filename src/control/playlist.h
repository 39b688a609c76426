// Playlists: a file of parameter strings, one per line, played in order and from the top again
// (or shuffled, a new order each round, never the same string twice in a row). Blank lines and
// lines starting with # are skipped. A line may pin the composer's clock the way the program's
// [Reproduce] lines do (--clock MS [--rest-planner-started] 'STRING', with or without the
// leading vordel-compose and --dump), so that a piece heard once can be put back in exactly. A
// line whose string makes no piece is skipped with its reason. Control thread; not real-time
// safe.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "composer/parameter_string.h"
#include "composer/piece.h"

namespace vordel {

struct PlaylistEntry {
  int line = 0;                          // counted from 1
  PieceParameters parameters;            // accepted
  std::optional<std::int64_t> clock_ms;  // pinned by --clock
  CarriedState carried;                  // with a pinned clock: --rest-planner-started
};

struct Playlist {
  std::string source;                  // the file, for messages
  std::vector<PlaylistEntry> entries;  // the lines that make pieces
  std::vector<std::string> skipped;    // "FILE:LINE: reason" for each line that does not
};

// Reads playlist text; `source` names it in the messages.
Playlist ParsePlaylist(const std::string& text, const std::string& source);
// Reads a playlist file: nullopt, with one sentence why, when it cannot be read or none of
// its lines makes a piece.
std::optional<Playlist> LoadPlaylist(const std::string& path, std::string* error);

// Which entry comes next.
class PlaylistOrder {
 public:
  PlaylistOrder(std::size_t size, bool shuffle, std::uint32_t seed);
  // The index of the entry to play next.
  std::size_t Next();
  // The 1-based position, in the current round, of the entry Next gave last (0 before any).
  std::size_t Position() const { return position_; }
  std::size_t Size() const { return order_.size(); }

 private:
  void NewRound();

  bool shuffle_;
  std::mt19937 rng_;
  std::vector<std::size_t> order_;
  std::size_t position_ = 0;
  std::optional<std::size_t> last_;
};

}  // namespace vordel
