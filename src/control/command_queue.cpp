#include "control/command_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace vordel {

CommandQueue::CommandQueue() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CommandQueue::~CommandQueue() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

void CommandQueue::Post(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(std::move(command));
  }
  const std::uint64_t one = 1;
  (void)!write(fd_, &one, sizeof one);
}

std::vector<Command> CommandQueue::TakeAll() {
  std::uint64_t count = 0;
  (void)!read(fd_, &count, sizeof count);
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Command> out(std::make_move_iterator(commands_.begin()),
                           std::make_move_iterator(commands_.end()));
  commands_.clear();
  return out;
}

}  // namespace vordel
