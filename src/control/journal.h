// The journal of what was played: one line per playback, appended as the playback ends, with
// its local start time (ISO 8601), the seconds it played, how it ended (end, stop, next, hours,
// quit, error) and the command that makes the piece again, separated by tabs. Each line is
// written whole and put on disk before the next, so a power cut loses at most the line being
// written; past 10 MB the file is moved to FILE.1 (replacing an older one) and a new one begun.
// Several programs may keep one journal (every instance of a user does by default): a line is
// appended whole under an advisory lock on the file, and the one that finds it past its size
// moves it aside while holding that lock, so nobody's line is lost or written into the older
// file. Only a regular file is written (never a FIFO that would keep the program waiting).
// Control thread; not real-time safe (writes and syncs).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vordel {

// One line of a journal, as read back.
struct JournalEntry {
  std::string start;      // ISO 8601, local time
  std::string how;        // end, stop, next, hours, quit, error
  std::string reproduce;  // the command that makes the piece again
};

// The last `most` well-formed lines of the journal at `path`, oldest first, read from its last
// 256 kB at most (nothing when it cannot be read). A line cut short or not of four fields is
// skipped.
std::vector<JournalEntry> ReadJournalTail(const std::string& path, std::size_t most);

class Journal {
 public:
  static constexpr std::int64_t kRotateBytes = std::int64_t{10} * 1024 * 1024;

  // "" keeps no journal.
  explicit Journal(std::string path, std::int64_t rotate_bytes = kRotateBytes)
      : path_(std::move(path)), rotate_bytes_(rotate_bytes) {}
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  ~Journal();

  // $XDG_STATE_HOME/vordel/played.log, or ~/.local/state/vordel/played.log.
  static std::string DefaultPath();

  const std::string& path() const { return path_; }
  // Appends one line (its folder made when needed); false, with the reason, when it could not.
  bool Append(std::time_t start, double seconds, const std::string& how,
              const std::string& reproduce, std::string* error);

 private:
  bool Open(std::string* error);
  void Close();

  std::string path_;
  std::int64_t rotate_bytes_;
  int fd_ = -1;
};

}  // namespace vordel
