// Playlists: a file of parameter strings, one per line, played in order and from the top again
// (or shuffled, a new order each round, never the same string twice in a row). Blank lines and
// lines starting with # are skipped. A playlist is a regular file of at most 4 MB and 10,000
// lines of at most 4,096 bytes each; anything else is refused, and it is read in one pass that
// keeps only the pieces' parameters. A line may pin the composer's clock the way the program's
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
#include "platform/unique_fd.h"

namespace vordel {

struct PlaylistEntry {
  int line = 0;                          // counted from 1
  PieceParameters parameters;            // accepted
  std::optional<std::int64_t> clock_ms;  // pinned by --clock
  CarriedState carried;                  // with a pinned clock: --rest-planner-started
};

struct Playlist {
  static constexpr std::int64_t kMaxBytes = std::int64_t{4} << 20;
  static constexpr int kMaxLines = 10000;
  static constexpr std::size_t kMaxLineBytes = 4096;
  static constexpr std::size_t kSkippedKept = 20;

  std::string source;                  // the file, for messages
  std::vector<PlaylistEntry> entries;  // the lines that make pieces
  // "FILE:LINE: reason" for the first lines that make no piece, and how many more there are.
  std::vector<std::string> skipped;
  int more_skipped = 0;
};

// Reads playlist text; `source` names it in the messages. The limits above are not checked.
Playlist ParsePlaylist(const std::string& text, const std::string& source);
// Reads a playlist file: nullopt, with one sentence why, when it cannot be read, is not a
// regular file, is over the limits, or none of its lines makes a piece. Never waits on a FIFO.
std::optional<Playlist> LoadPlaylist(const std::string& path, std::string* error);
// The same from a file opened by the caller (`source` names it).
std::optional<Playlist> ReadPlaylist(UniqueFd file, const std::string& source, std::string* error);
// The log lines that say which lines were skipped.
std::vector<std::string> SkippedLines(const Playlist& list);

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
