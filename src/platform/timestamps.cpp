#include "platform/timestamps.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace vordel {

namespace {

// The local time of `t` in ISO 8601, with ".mmm" after the seconds when millis >= 0.
std::string IsoLocal(std::time_t t, int millis) {
  std::tm local{};
  localtime_r(&t, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  char zone[8];
  std::strftime(zone, sizeof zone, "%z", &local);  // +0100
  char fraction[8] = "";
  if (millis >= 0) {
    std::snprintf(fraction, sizeof fraction, ".%03d", millis);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s%s%.3s:%.2s", date, fraction, zone, zone + 3);
  return text;
}

}  // namespace

std::string IsoTimestamp(std::chrono::system_clock::time_point when) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
  return IsoLocal(std::chrono::system_clock::to_time_t(when), static_cast<int>(millis.count()));
}

std::string IsoLocalTime(std::time_t t) {
  return IsoLocal(t, -1);
}

bool IsJournalStream(int fd, const char* journal_stream) {
  if (journal_stream == nullptr || *journal_stream == '\0') {
    return false;
  }
  unsigned long long device = 0;
  unsigned long long inode = 0;
  if (std::sscanf(journal_stream, "%llu:%llu", &device, &inode) != 2) {
    return false;
  }
  struct stat st {};
  return fstat(fd, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

TimestampedBuffer::TimestampedBuffer(std::streambuf* target, Clock clock)
    : target_(target),
      clock_(clock ? std::move(clock) : [] { return std::chrono::system_clock::now(); }) {}

void TimestampedBuffer::Put(char c) {
  if (line_start_) {
    const std::string stamp = IsoTimestamp(clock_()) + " ";
    target_->sputn(stamp.data(), static_cast<std::streamsize>(stamp.size()));
    line_start_ = false;
  }
  target_->sputc(c);
  line_start_ = c == '\n';
}

TimestampedBuffer::int_type TimestampedBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Put(traits_type::to_char_type(c));
  return c;
}

std::streamsize TimestampedBuffer::xsputn(const char* s, std::streamsize n) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::streamsize i = 0; i < n; ++i) {
    Put(s[i]);
  }
  return n;
}

int TimestampedBuffer::sync() {
  std::lock_guard<std::mutex> lock(mutex_);
  return target_->pubsync();
}

TimestampLines::TimestampLines(std::ostream& stream, int fd) : stream_(stream) {
  if (IsJournalStream(fd, std::getenv("JOURNAL_STREAM"))) {  // NOLINT(concurrency-mt-unsafe)
    return;
  }
  original_ = stream.rdbuf();
  buffer_ = std::make_unique<TimestampedBuffer>(original_);
  stream.rdbuf(buffer_.get());
}

TimestampLines::~TimestampLines() {
  if (buffer_) {
    stream_.flush();
    stream_.rdbuf(original_);
  }
}

}  // namespace vordel
