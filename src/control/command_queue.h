// Commands handed from the sources' threads to the control thread. Post: any thread (takes a
// short lock; not for real-time code). Take and the descriptor: the control thread, which waits
// on the descriptor (poll, or a socket notifier) until commands are there.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "control/command.h"

namespace vordel {

class CommandQueue {
 public:
  CommandQueue();
  ~CommandQueue();
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  void Post(Command command);
  // Every command posted so far, oldest first.
  std::vector<Command> TakeAll();
  // Readable while commands wait.
  int fd() const { return fd_; }

 private:
  std::mutex mutex_;
  std::deque<Command> commands_;
  int fd_ = -1;
};

}  // namespace vordel
