#include "control/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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
  fd_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    *error = "cannot write the journal " + path_ + ": " + ErrorText(errno);
    return false;
  }
  return true;
}

bool Journal::Append(std::time_t start, double seconds, const std::string& how,
                     const std::string& reproduce, std::string* error) {
  if (path_.empty()) {
    return true;
  }
  if (!Open(error)) {
    return false;
  }
  struct stat st {};
  if (fstat(fd_, &st) == 0 && st.st_size >= kRotateBytes) {
    // Once past its size the file moves aside whole (rename replaces the older one at once).
    const std::string older = path_ + ".1";
    if (std::rename(path_.c_str(), older.c_str()) != 0) {
      *error = "cannot rotate the journal " + path_ + ": " + ErrorText(errno);
      return false;
    }
    close(fd_);
    fd_ = -1;
    if (!Open(error)) {
      return false;
    }
  }
  char played[32];
  std::snprintf(played, sizeof played, "%.1f", seconds);
  const std::string line =
      IsoLocalTime(start) + "\t" + played + "\t" + how + "\t" + reproduce + "\n";
  const ssize_t n = write(fd_, line.data(), line.size());
  if (n != static_cast<ssize_t>(line.size()) || fdatasync(fd_) != 0) {
    *error = "cannot write the journal " + path_ + ": " + ErrorText(n < 0 ? errno : ENOSPC);
    return false;
  }
  return true;
}

}  // namespace vordel
