#include "remote/stdin_source.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vordel {
namespace {

constexpr std::size_t kLineLimit = 8192;

}  // namespace

StdinSource::StdinSource(int fd) : fd_(fd) {}

StdinSource::~StdinSource() {
  Stop();
}

bool StdinSource::Start(CommandQueue& queue, std::string* error) {
  stop_fd_ = eventfd(0, EFD_CLOEXEC);
  if (stop_fd_ < 0) {
    *error = "cannot watch standard input";
    return false;
  }
  thread_ = std::thread([this, &queue] { Run(queue); });
  return true;
}

void StdinSource::Stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    (void)!write(stop_fd_, &one, sizeof one);
    thread_.join();
  }
  if (stop_fd_ >= 0) {
    close(stop_fd_);
    stop_fd_ = -1;
  }
}

void StdinSource::Run(CommandQueue& queue) {
  std::string pending;
  bool cutting = false;  // a line too long: the rest of it is thrown away
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      continue;
    }
    if (fds[1].revents != 0) {
      return;
    }
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) {
      if (!pending.empty()) {
        if (auto c = CommandFromText(pending, false, Name())) {
          queue.Post(std::move(*c));
        }
      }
      return;  // end of input: nothing more comes from here
    }
    std::string_view chunk(buffer, static_cast<std::size_t>(n));
    if (cutting) {
      const std::size_t eol = chunk.find('\n');
      if (eol == std::string_view::npos) {
        continue;
      }
      chunk.remove_prefix(eol);
      cutting = false;
    }
    pending.append(chunk);
    std::size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 1);
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      if (auto c = CommandFromText(line, false, Name())) {
        queue.Post(std::move(*c));
      }
    }
    // Of a line longer than any parameter string only the beginning is kept.
    if (pending.size() > kLineLimit) {
      pending.resize(kLineLimit);
      cutting = true;
    }
  }
}

}  // namespace vordel
