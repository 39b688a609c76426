// Log lines from any thread, each written whole and flushed at once. Any thread; takes a lock
// (not for real-time code).
#pragma once

#include <mutex>
#include <ostream>
#include <string>

namespace vordel {

class LineLog {
 public:
  explicit LineLog(std::ostream& out) : out_(out) {}
  void Line(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    out_ << line << std::endl;
  }

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace vordel
