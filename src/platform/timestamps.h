// Log lines stamped with the local time in ISO 8601 ("2026-12-07T16:03:12.345+01:00 "), for a
// program whose output is kept in a file or a terminal; the journal stamps lines itself, so a
// stream connected to it is left as it is. Any thread; not real-time safe.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

namespace vordel {

// "2026-12-07T16:03:12.345+01:00" in the local time zone.
std::string IsoTimestamp(std::chrono::system_clock::time_point when);
// "2026-12-07T16:03:12+01:00": the same to the second.
std::string IsoLocalTime(std::time_t t);

// Whether file descriptor `fd` is the journal's stream, as systemd says in JOURNAL_STREAM
// ("device:inode"; null or empty: it is not).
bool IsJournalStream(int fd, const char* journal_stream);

// Puts a stamp before every line written through it to `target`. Writes from several threads
// keep whole characters apart (each line should still be written in one piece).
class TimestampedBuffer : public std::streambuf {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  explicit TimestampedBuffer(std::streambuf* target, Clock clock = nullptr);

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void Put(char c);
  std::streambuf* target_;
  Clock clock_;
  std::mutex mutex_;
  bool line_start_ = true;
};

// Stamps every line of `stream` for as long as it lives, unless the stream's descriptor is the
// journal's.
class TimestampLines {
 public:
  TimestampLines(std::ostream& stream, int fd);
  ~TimestampLines();
  TimestampLines(const TimestampLines&) = delete;
  TimestampLines& operator=(const TimestampLines&) = delete;

 private:
  std::ostream& stream_;
  std::streambuf* original_ = nullptr;
  std::unique_ptr<TimestampedBuffer> buffer_;
};

}  // namespace vordel
