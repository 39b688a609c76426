// Commands handed from the sources' threads to the control thread. The queue is bounded and
// keeps only what still matters: a command that a later one makes pointless is dropped when the
// later one arrives (only the newest pending parameter string is composed, a stop cancels the
// plays and stops before it, a quit everything), so that no flood of input can make the program
// slow to quit or grow. What it drops is counted, and a dropped command that waits for an answer
// (its reply) comes out of TakeAll once more, marked dropped, to be answered and nothing else;
// the queue holds at most kCapacity of those as well. Post: any thread (takes a short lock; not for
// real-time code). Take, the descriptor and the report: the control thread, which waits on the
// descriptor (poll, or a socket notifier) until commands are there.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "control/command.h"

namespace vordel {

class CommandQueue {
 public:
  // Most commands waiting at once; beyond that new ones are dropped (and counted).
  static constexpr std::size_t kCapacity = 256;

  CommandQueue();
  ~CommandQueue();
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  void Post(Command command);
  // The dropped commands to answer, then every command still waiting, oldest first.
  std::vector<Command> TakeAll();
  // Readable while commands wait.
  int fd() const { return fd_; }

  // Commands dropped since the queue was made: made pointless by a later one, or over the limit.
  struct Drops {
    std::uint64_t superseded = 0;
    std::uint64_t overflow = 0;
  };
  Drops Dropped() const;
  // One line about the commands dropped since the last line, at most one a second ("" when
  // there is nothing to say yet).
  std::string DropReport(std::chrono::steady_clock::time_point now);

 private:
  // Under the lock: `command` is not carried out (made pointless by a later one, or over the
  // limit); counted, and kept to be answered.
  void Drop(Command&& command, bool superseded);

  mutable std::mutex mutex_;
  std::deque<Command> commands_;
  std::deque<Command> unanswered_;
  Drops drops_;
  Drops reported_;
  std::chrono::steady_clock::time_point last_report_{};
  int fd_ = -1;
};

}  // namespace vordel
