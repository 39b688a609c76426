#include "control/command_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace vordel {
namespace {

bool Starts(const Command& c) {
  return !c.latched && (c.kind == Command::Kind::kCompose || c.kind == Command::Kind::kPlay);
}

bool Transport(const Command& c) {
  return !c.latched && (Starts(c) || c.kind == Command::Kind::kStop);
}

}  // namespace

CommandQueue::CommandQueue() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CommandQueue::~CommandQueue() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

void CommandQueue::Post(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto drop_if = [this](auto&& pointless) {
      const auto end = std::stable_partition(commands_.begin(), commands_.end(),
                                             [&](const Command& c) { return !pointless(c); });
      for (auto it = end; it != commands_.end(); ++it) {
        Drop(std::move(*it), true);
      }
      commands_.erase(end, commands_.end());
    };
    const bool quitting = std::any_of(commands_.begin(), commands_.end(), [](const Command& c) {
      return c.kind == Command::Kind::kQuit;
    });
    if (quitting) {
      Drop(std::move(command), true);  // nothing after a quit is carried out
      return;
    }
    if (command.kind == Command::Kind::kQuit) {
      drop_if([](const Command&) { return true; });
    } else if (command.latched) {
      // A text that stays on the clipboard is seen at every poll: once waiting is enough (and
      // nothing is lost, so nothing is counted).
      if (!commands_.empty() && commands_.back().latched && commands_.back().kind == command.kind &&
          commands_.back().text == command.text) {
        return;
      }
    } else {
      switch (command.kind) {
        case Command::Kind::kCompose:
          // A new piece stops whatever plays and starts itself.
          drop_if([](const Command& c) { return Transport(c); });
          break;
        case Command::Kind::kStop:
          drop_if([](const Command& c) {
            return !c.latched && (c.kind == Command::Kind::kStop || c.kind == Command::Kind::kPlay);
          });
          break;
        case Command::Kind::kPlay: {
          const auto last = std::find_if(commands_.rbegin(), commands_.rend(), Transport);
          if (last != commands_.rend() && last->kind == Command::Kind::kPlay) {
            Drop(std::move(command), true);
            return;
          }
          break;
        }
        case Command::Kind::kVolume:
        case Command::Kind::kEnsemble:
        case Command::Kind::kFollowTempo: {
          // The newest setting wins, unless something starts in between and uses the older one.
          const auto since = std::find_if(commands_.rbegin(), commands_.rend(), Starts).base();
          const auto end = std::stable_partition(since, commands_.end(), [&](const Command& c) {
            return c.latched || c.kind != command.kind;
          });
          for (auto it = end; it != commands_.end(); ++it) {
            Drop(std::move(*it), true);
          }
          commands_.erase(end, commands_.end());
          break;
        }
        case Command::Kind::kQuit:
        case Command::Kind::kLink:
        case Command::Kind::kEndless:
        case Command::Kind::kPlaylist:
        case Command::Kind::kNext:
        case Command::Kind::kScore:
          break;
      }
    }
    if (commands_.size() >= kCapacity) {
      Drop(std::move(command), false);
      const std::uint64_t one = 1;
      (void)!write(fd_, &one, sizeof one);  // its answer
      return;
    }
    commands_.push_back(std::move(command));
  }
  const std::uint64_t one = 1;
  (void)!write(fd_, &one, sizeof one);
}

std::vector<Command> CommandQueue::TakeAll() {
  std::uint64_t count = 0;
  (void)!read(fd_, &count, sizeof count);
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Command> out(std::make_move_iterator(unanswered_.begin()),
                           std::make_move_iterator(unanswered_.end()));
  out.insert(out.end(), std::make_move_iterator(commands_.begin()),
             std::make_move_iterator(commands_.end()));
  unanswered_.clear();
  commands_.clear();
  return out;
}

void CommandQueue::Drop(Command&& command, bool superseded) {
  ++(superseded ? drops_.superseded : drops_.overflow);
  if (command.reply && unanswered_.size() < kCapacity) {
    command.dropped = superseded ? kSuperseded : kTooManyWaiting;
    unanswered_.push_back(std::move(command));
  }
}

CommandQueue::Drops CommandQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return drops_;
}

std::string CommandQueue::DropReport(std::chrono::steady_clock::time_point now) {
  const Drops d = Dropped();
  const std::uint64_t superseded = d.superseded - reported_.superseded;
  const std::uint64_t overflow = d.overflow - reported_.overflow;
  if ((superseded == 0 && overflow == 0) || now - last_report_ < std::chrono::seconds(1)) {
    return "";
  }
  last_report_ = now;
  reported_ = d;
  std::string line = std::to_string(superseded + overflow) + " command(s) dropped:";
  if (superseded > 0) {
    line += " " + std::to_string(superseded) + " made pointless by a later one";
  }
  if (overflow > 0) {
    line += std::string(superseded > 0 ? "," : "") + " " + std::to_string(overflow) +
            " over the limit of " + std::to_string(kCapacity) + " waiting";
  }
  return line;
}

}  // namespace vordel
