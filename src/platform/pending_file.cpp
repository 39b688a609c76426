#include "platform/pending_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/error_text.h"
#include "platform/signals.h"

namespace vordel {
namespace {

std::string Reason(const std::string& target, int error) {
  return "cannot write " + target + ": " + ErrorText(error);
}

// Six letters or digits that another writer beside us is unlikely to have chosen.
std::string RandomSuffix() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    auto seed = static_cast<std::uint64_t>(MonotonicNanos()) ^ static_cast<std::uint64_t>(getpid());
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(seed);
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    }
  }
  std::string s;
  for (const unsigned char b : bytes) {
    s += kLetters[b % (sizeof kLetters - 1)];
  }
  return s;
}

}  // namespace

PendingFile::PendingFile(std::string target, Target kind) : shown_(std::move(target)) {
  const std::size_t slash = shown_.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : shown_.substr(0, slash + 1);
  name_ = slash == std::string::npos ? shown_ : shown_.substr(slash + 1);
  folder_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0 || name_.empty()) {
    error_ = Reason(shown_, folder_ < 0 ? errno : EISDIR);
    return;
  }
  Prepare(kind, true);
}

PendingFile::PendingFile(int folder, std::string name, std::string shown)
    : name_(std::move(name)), shown_(std::move(shown)) {
  folder_ = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (folder_ < 0 || name_.empty() || name_.find('/') != std::string::npos) {
    error_ = Reason(shown_, folder_ < 0 ? errno : EINVAL);
    return;
  }
  Prepare(Target::kRegularOnly, false);
}

void PendingFile::Prepare(Target kind, bool follow) {
  struct stat st {};
  const bool exists = fstatat(folder_, name_.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    if (kind == Target::kRegularOnly) {
      error_ = "cannot write " + shown_ + ": it is not a regular file";
      return;
    }
    fd_ = openat(folder_, name_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = Reason(shown_, errno);
    }
    return;
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = "." + name_ + ".partial-" + RandomSuffix();
    // Created with the permissions a new file gets (the process's mask applies).
    fd_ =
        openat(folder_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd_ < 0) {
    error_ = Reason(shown_, errno);
    temp_.clear();
    return;
  }
  if (exists) {
    fchmod(fd_, st.st_mode & 07777);  // a replaced file keeps its permissions
  }
  signal_handle_ = RemoveOnSignal(folder_, temp_.c_str());
}

PendingFile::~PendingFile() {
  if (!done_) {
    Abandon();
  }
  if (folder_ >= 0) {
    close(folder_);
  }
}

void PendingFile::Release() {
  done_ = true;
  ForgetRemoveOnSignal(signal_handle_);
  signal_handle_ = -1;
}

void PendingFile::Fail() {
  error_ = Reason(shown_, errno);
  Abandon();
}

bool PendingFile::Commit() {
  if (done_ || fd_ < 0) {
    return false;
  }
  if (temp_.empty()) {  // written in place
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0) {
      Fail();
      return false;
    }
    Release();
    return true;
  }
  if (fsync(fd_) != 0) {
    Fail();
    return false;
  }
  const int closed = close(fd_);
  fd_ = -1;
  if (closed != 0 || renameat(folder_, temp_.c_str(), folder_, name_.c_str()) != 0) {
    Fail();
    return false;
  }
  Release();
  return true;
}

void PendingFile::Abandon() {
  if (done_) {
    return;
  }
  const int saved = errno;
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    unlinkat(folder_, temp_.c_str(), 0);
  }
  Release();
  errno = saved;
}

std::optional<std::uint64_t> FreeBytesBeside(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct statvfs fs {};
  if (statvfs(folder.c_str(), &fs) != 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

bool WriteFileAtomically(const std::string& target, const std::string& bytes, std::string* error) {
  return WriteFileAtomically(
      target, [&](const ByteSink& sink) { return sink(bytes.data(), bytes.size()); }, error);
}

bool WriteFileAtomically(const std::string& target, const ByteProducer& produce,
                         std::string* error) {
  PendingFile file(target);
  return WriteFileAtomically(file, produce, error);
}

bool WriteFileAtomically(PendingFile& file, const ByteProducer& produce, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) {
      *error = why;
    }
    file.Abandon();
    return false;
  };
  if (file.fd() < 0) {
    return fail(file.error());
  }
  const int fd = file.fd();
  std::string failure;
  auto write_all = [&](const char* data, std::size_t size) {
    while (size > 0 && failure.empty()) {
      const ssize_t n = write(fd, data, size);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        failure = Reason(file.target(), n < 0 ? errno : ENOSPC);
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
  if (produced) {
    write_all(gathered.data(), gathered.size());
  }
  if (!failure.empty()) {
    return fail(failure);
  }
  if (!produced) {
    return fail("stopped before " + file.target() + " was complete");
  }
  if (!file.Commit()) {
    return fail(file.error());
  }
  return true;
}

}  // namespace vordel
