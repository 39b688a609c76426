// The composer beside the control thread: the caller asks for a piece and is told when it is
// ready (a descriptor turns readable), and never waits. There are two purposes, each with its
// newest request: the piece a command asked for, and the piece to follow the one playing; the
// command's is composed first. A newer request for a purpose makes an older one pointless (it is
// given up at once). Each piece comes as a cue, and the state it leaves is carried on to the
// next piece composed. The worker thread starts with the first request (a program that only
// plays a piece it has starts none). Control thread (the worker is a thread of its own); not
// real-time safe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "composer/parameter_string.h"
#include "composer/piece_builder.h"
#include "transport/cue.h"

namespace vordel {

enum class ComposeFor : int { kCommand = 0, kFollowing = 1 };
inline constexpr int kComposeSlots = 2;

class ComposerService {
 public:
  ComposerService();
  ~ComposerService();  // stops the worker
  ComposerService(const ComposerService&) = delete;
  ComposerService& operator=(const ComposerService&) = delete;

  // Asks for the piece of an accepted parameter value, composed at the composer's clock now
  // (or at `clock_ms`) with the state the pieces so far have left (or `carried`). Returns the
  // request's number.
  std::uint64_t Request(const PieceParameters& parameters,
                        ComposeFor purpose = ComposeFor::kCommand,
                        std::optional<std::int64_t> clock_ms = std::nullopt,
                        std::optional<CarriedState> carried = std::nullopt);
  // Readable when a requested piece is ready.
  int ReadyFd() const { return ready_fd_; }
  // The cue of the newest request for `purpose` once it is ready; the state it leaves is
  // carried on.
  std::optional<Cue> Take(ComposeFor purpose = ComposeFor::kCommand);
  // Whether a request for `purpose` is still being composed.
  bool Composing(ComposeFor purpose = ComposeFor::kCommand) const;
  // Gives up whatever is being composed for `purpose`.
  void Cancel(ComposeFor purpose = ComposeFor::kCommand);
  // Composes on the caller's thread (tests, tools): the same as a request taken.
  Cue ComposeNow(const PieceParameters& parameters, std::int64_t clock_ms);
  // Ends the worker; nothing is composed afterwards. Idempotent.
  void Stop();

 private:
  struct Order {
    std::uint64_t number = 0;
    PieceParameters parameters;
    std::int64_t clock_ms = 0;
    CarriedState carried;
  };
  void Work();  // the worker thread
  static Cue Make(const Order& order, Composed composed, std::string lines);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  // For each purpose the newest request waits in `waiting_`, the cue made for it in `done_`.
  std::optional<Order> waiting_[kComposeSlots];
  std::optional<Cue> done_[kComposeSlots];
  std::uint64_t requested_[kComposeSlots] = {};  // the newest request's number
  std::uint64_t taken_[kComposeSlots] = {};      // the last request taken (or given up)
  std::uint64_t next_request_ = 0;
  bool stopping_ = false;
  std::atomic<bool> cancel_[kComposeSlots] = {};
  CarriedState carried_;  // what the pieces so far have left (control thread)
  int ready_fd_ = -1;
  std::thread worker_;
};

}  // namespace vordel
