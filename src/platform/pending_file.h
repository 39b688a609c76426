// A file that appears complete or not at all: it is written beside its target under a temporary
// name and renamed into place only when complete, so a failure (a full disk, a signal) leaves
// nothing behind and an existing file keeps its old content. A target that is not a regular file
// (a FIFO, a device, /dev/stdout) is written in place when the caller allows it (a path the user
// typed) and refused otherwise (a name another program sent; anything that must not block). While
// it is pending, a termination signal that ends the process removes it. One thread at a time; not
// real-time safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vordel {

class PendingFile {
 public:
  enum class Target {
    kAnyFile,      // a target that is not a regular file is written in place
    kRegularOnly,  // such a target is refused
  };

  // Prepares to write the file at `target`; on failure fd() is -1 and error() says why.
  explicit PendingFile(std::string target, Target kind = Target::kAnyFile);
  // Prepares to write `name` inside the open folder `folder` (a descriptor, which is duplicated).
  // `shown` names the target in messages. Only a regular file there may be replaced: a symbolic
  // link, a FIFO or a device is refused.
  PendingFile(int folder, std::string name, std::string shown);
  ~PendingFile();  // abandons what was not committed
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Where to write: an open descriptor, owned by the pending file (-1 when it cannot be written).
  int fd() const { return fd_; }
  // The target as messages name it.
  const std::string& target() const { return shown_; }
  const std::string& error() const { return error_; }

  // Puts the written file in place (its data on disk first); false with error() set, and
  // nothing left behind, when that fails.
  bool Commit();
  // Removes what was written.
  void Abandon();

 private:
  void Prepare(Target kind, bool follow);
  void Fail();
  void Release();

  int folder_ = -1;
  std::string name_;  // the target's name in the folder
  std::string shown_;
  std::string temp_;  // the temporary name in the folder ("" when written in place)
  std::string error_;
  int fd_ = -1;
  int signal_handle_ = -1;
  bool done_ = false;
};

// The bytes an unprivileged writer may still use on the file system that holds `path`'s folder;
// nullopt when that cannot be told.
std::optional<std::uint64_t> FreeBytesBeside(const std::string& path);

// Takes the next bytes of a file as they are made; false once writing has failed (or should
// stop).
using ByteSink = std::function<bool(const void* data, std::size_t size)>;
using ByteProducer = std::function<bool(const ByteSink&)>;

// Writes `bytes` to `target` through a pending file; false with a reason when it cannot.
bool WriteFileAtomically(const std::string& target, const std::string& bytes, std::string* error);
// Writes what `produce` hands its sink, as it goes, so a large file is never held whole; when
// `produce` returns false, or writing fails, nothing is left behind.
bool WriteFileAtomically(const std::string& target, const ByteProducer& produce,
                         std::string* error);
// The same into a pending file prepared by the caller.
bool WriteFileAtomically(PendingFile& file, const ByteProducer& produce, std::string* error);

}  // namespace vordel
