// A file that appears complete or not at all: it is written beside its target under a temporary
// name and renamed into place only when complete, so a failure (a full disk, a signal) leaves
// nothing behind and an existing file keeps its old content. A target that is not a regular
// file (a FIFO, a device, /dev/stdout) is written directly. While it is pending, a termination
// signal that ends the process removes it. One thread at a time; not real-time safe.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vordel {

class PendingFile {
 public:
  // Prepares to write `target`; on failure path() is empty and error() says why.
  explicit PendingFile(std::string target);
  ~PendingFile();  // abandons what was not committed
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Where to write now ("" when it cannot be written).
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }
  const std::string& error() const { return error_; }

  // Puts the written file in place (its data on disk first); false with error() set, and
  // nothing left behind, when that fails.
  bool Commit();
  // Removes what was written.
  void Abandon();

 private:
  void Release();

  std::string target_;
  std::string path_;
  std::string error_;
  bool direct_ = false;
  int signal_handle_ = -1;
  bool done_ = false;
};

// Writes `bytes` to `target` through a pending file; false with a reason when it cannot.
bool WriteFileAtomically(const std::string& target, const std::string& bytes, std::string* error);

// Takes the next bytes of a file as they are made; false once writing has failed.
using ByteSink = std::function<bool(const void* data, std::size_t size)>;
// Writes what `produce` hands its sink, as it goes, so a large file is never held whole; when
// `produce` returns false, or writing fails, nothing is left behind.
bool WriteFileAtomically(const std::string& target,
                         const std::function<bool(const ByteSink&)>& produce, std::string* error);

}  // namespace vordel
