#include "platform/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error_text.h"
#include "platform/signals.h"

namespace vordel {
namespace {

std::string Reason(const std::string& target) {
  return "cannot write " + target + ": " + ErrorText(errno);
}

// The process's file creation mask, read without changing it (another thread may be creating
// files at the same moment).
mode_t CreationMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
  }
  return 0644;
}

}  // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
  struct stat st {};
  const bool exists = stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    direct_ = true;
    path_ = target_;
    return;
  }
  const std::size_t slash = target_.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::string temp = folder + "." + name + ".partial-XXXXXX";
  std::vector<char> buffer(temp.begin(), temp.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) {
    error_ = Reason(target_);
    return;
  }
  fchmod(fd, exists ? (st.st_mode & 07777) : CreationMode());
  close(fd);
  path_ = buffer.data();
  signal_handle_ = RemoveOnSignal(path_.c_str());
}

PendingFile::~PendingFile() {
  if (!done_) {
    Abandon();
  }
}

void PendingFile::Release() {
  done_ = true;
  ForgetRemoveOnSignal(signal_handle_);
  signal_handle_ = -1;
}

bool PendingFile::Commit() {
  if (done_ || path_.empty()) {
    return false;
  }
  if (direct_) {
    Release();
    return true;
  }
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  const int saved = errno;
  if (fd >= 0) {
    close(fd);
  }
  errno = saved;
  if (!synced || rename(path_.c_str(), target_.c_str()) != 0) {
    error_ = Reason(target_);
    Abandon();
    return false;
  }
  Release();
  return true;
}

void PendingFile::Abandon() {
  if (done_) {
    return;
  }
  if (!direct_ && !path_.empty()) {
    unlink(path_.c_str());
  }
  Release();
}

bool WriteFileAtomically(const std::string& target, const std::string& bytes, std::string* error) {
  return WriteFileAtomically(
      target, [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); }, error);
}

bool WriteFileAtomically(const std::string& target,
                         const std::function<bool(const ByteSink&)>& produce, std::string* error) {
  PendingFile file(target);
  auto fail = [&](const std::string& why) {
    if (error != nullptr) {
      *error = why;
    }
    file.Abandon();
    return false;
  };
  if (file.path().empty()) {
    return fail(file.error());
  }
  const int fd = open(file.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    return fail(Reason(target));
  }
  std::string failure;
  auto write_all = [&](const char* data, std::size_t size) {
    while (size > 0 && failure.empty()) {
      const ssize_t n = write(fd, data, size);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        failure = Reason(target);
        break;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return failure.empty();
  };
  // Small pieces are gathered so that a large file takes few system calls.
  constexpr std::size_t kGather = std::size_t{1} << 20;
  std::vector<char> gathered;
  gathered.reserve(kGather);
  const ByteSink sink = [&](const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    if (gathered.size() + size > kGather) {
      write_all(gathered.data(), gathered.size());
      gathered.clear();
    }
    if (size >= kGather) {
      return write_all(bytes, size);
    }
    gathered.insert(gathered.end(), bytes, bytes + size);
    return failure.empty();
  };
  const bool produced = produce(sink);
  write_all(gathered.data(), gathered.size());
  if (close(fd) != 0 && failure.empty()) {
    failure = Reason(target);
  }
  if (!failure.empty()) {
    return fail(failure);
  }
  if (!produced) {
    return fail("stopped before " + target + " was complete");
  }
  if (!file.Commit()) {
    return fail(file.error());
  }
  return true;
}

}  // namespace vordel
