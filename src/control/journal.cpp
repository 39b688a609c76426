#include "control/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/error_text.h"
#include "platform/timestamps.h"

namespace vordel {
namespace {

// Makes every folder of `path`'s parent that is missing.
void MakeParents(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
  }
}

}  // namespace

std::vector<JournalEntry> ReadJournalTail(const std::string& path, std::size_t most) {
  constexpr off_t kTailBytes = off_t{256} * 1024;
  std::vector<JournalEntry> out;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return out;
  }
  struct stat st {};
  std::string text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const off_t from = st.st_size > kTailBytes ? st.st_size - kTailBytes : 0;
    text.resize(static_cast<std::size_t>(st.st_size - from));
    const ssize_t n = pread(fd, text.data(), text.size(), from);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    if (from > 0) {
      // The first line is most likely cut.
      const std::size_t newline = text.find('\n');
      text.erase(0, newline == std::string::npos ? text.size() : newline + 1);
    }
  }
  close(fd);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (lines.eof()) {
      break;  // no newline after it: still being written
    }
    std::vector<std::string> fields;
    std::size_t begin = 0;
    for (std::size_t tab = line.find('\t'); fields.size() < 3 && tab != std::string::npos;
         tab = line.find('\t', begin)) {
      fields.push_back(line.substr(begin, tab - begin));
      begin = tab + 1;
    }
    if (fields.size() == 3 && begin < line.size()) {
      out.push_back({fields[0], fields[2], line.substr(begin)});
    }
  }
  if (out.size() > most) {
    out.erase(out.begin(), out.end() - static_cast<std::ptrdiff_t>(most));
  }
  return out;
}

std::string Journal::DefaultPath() {
  // Read at start-up, before any thread of the program's own.
  const char* state = std::getenv("XDG_STATE_HOME");  // NOLINT(concurrency-mt-unsafe)
  if (state != nullptr && state[0] == '/') {
    return std::string(state) + "/vordel/played.log";
  }
  const char* home = std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe)
  return std::string(home != nullptr ? home : "") + "/.local/state/vordel/played.log";
}

Journal::~Journal() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

bool Journal::Open(std::string* error) {
  if (fd_ >= 0) {
    return true;
  }
  MakeParents(path_);
  fd_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  struct stat st {};
  const int opened = errno;
  if ((fd_ >= 0 && (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) ||
      (fd_ < 0 && stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))) {
    Close();
    *error = "cannot write the journal " + path_ + ": it is not a regular file";
    return false;
  }
  if (fd_ < 0) {
    *error = "cannot write the journal " + path_ + ": " + ErrorText(opened);
    return false;
  }
  return true;
}

void Journal::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

bool Journal::Append(std::time_t start, double seconds, const std::string& how,
                     const std::string& reproduce, std::string* error) {
  if (path_.empty()) {
    return true;
  }
  char played[32];
  std::snprintf(played, sizeof played, "%.1f", seconds);
  const std::string line =
      IsoLocalTime(start) + "\t" + played + "\t" + how + "\t" + reproduce + "\n";
  // Another program may move the file aside at any moment, but only while it holds the lock on
  // it: with the lock held, the file at the path is the one open here, or it is opened again.
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (!Open(error)) {
      return false;
    }
    if (flock(fd_, LOCK_EX) != 0) {
      *error = "cannot lock the journal " + path_ + ": " + ErrorText(errno);
      Close();
      return false;
    }
    struct stat open_file {};
    struct stat at_path {};
    if (fstat(fd_, &open_file) != 0 || stat(path_.c_str(), &at_path) != 0 ||
        open_file.st_ino != at_path.st_ino || open_file.st_dev != at_path.st_dev) {
      Close();  // moved aside (or removed) by someone else: the new one at the path
      continue;
    }
    if (at_path.st_size >= rotate_bytes_) {
      // Past its size the file moves aside whole (rename replaces the older one at once).
      const std::string older = path_ + ".1";
      if (std::rename(path_.c_str(), older.c_str()) != 0) {
        *error = "cannot rotate the journal " + path_ + ": " + ErrorText(errno);
        Close();
        return false;
      }
      Close();
      continue;
    }
    const ssize_t n = write(fd_, line.data(), line.size());
    int failure = n < 0 ? errno : (n != static_cast<ssize_t>(line.size()) ? ENOSPC : 0);
    if (failure == 0 && fdatasync(fd_) != 0) {
      failure = errno;
    }
    flock(fd_, LOCK_UN);
    if (failure != 0) {
      *error = "cannot write the journal " + path_ + ": " + ErrorText(failure);
      return false;
    }
    return true;
  }
  *error = "cannot write the journal " + path_ + ": it keeps being moved aside";
  return false;
}

}  // namespace vordel
