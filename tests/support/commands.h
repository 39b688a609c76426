// Waiting for what a command source posts, for tests of the control layer.
#pragma once

#include <poll.h>

#include <vector>

#include "control/command_queue.h"

namespace vordel::testing {

// The commands posted to queue until n have come (or ten seconds of nothing).
inline std::vector<Command> WaitForCommands(CommandQueue& queue, std::size_t n) {
  std::vector<Command> got;
  while (got.size() < n) {
    pollfd p{queue.fd(), POLLIN, 0};
    if (poll(&p, 1, 10000) != 1) {
      break;
    }
    for (Command& c : queue.TakeAll()) {
      got.push_back(std::move(c));
    }
  }
  return got;
}

}  // namespace vordel::testing
