#include "transport/composer_service.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <sstream>

#include "composer/piece_builder.h"
#include "platform/clock.h"

namespace vordel {

ComposerService::ComposerService() : ready_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

ComposerService::~ComposerService() {
  Stop();
  if (ready_fd_ >= 0) {
    close(ready_fd_);
  }
}

Cue ComposerService::Make(const Order& order, Composed composed, std::string lines) {
  Cue cue;
  cue.request = order.number;
  cue.schedule = std::make_shared<const Schedule>(BuildSchedule(composed.piece));
  cue.piece = std::move(composed.piece);
  cue.composer_lines = std::move(lines);
  cue.carried_out = composed.carried_out;
  return cue;
}

void ComposerService::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock,
               [this] { return stopping_ || waiting_[0].has_value() || waiting_[1].has_value(); });
    if (stopping_) {
      return;
    }
    const int slot = waiting_[0] ? 0 : 1;  // a command's piece first
    const Order order = std::move(*waiting_[slot]);
    waiting_[slot].reset();
    cancel_[slot].store(false, std::memory_order_relaxed);
    lock.unlock();
    std::ostringstream lines;
    std::optional<Composed> composed =
        ComposePiece(order.parameters, order.clock_ms, order.carried, 0, lines, &cancel_[slot]);
    std::optional<Cue> cue;
    if (composed) {
      cue = Make(order, std::move(*composed), lines.str());
    }
    lock.lock();
    if (cue && order.number == requested_[slot]) {
      done_[slot] = std::move(cue);
      const std::uint64_t one = 1;
      (void)!write(ready_fd_, &one, sizeof one);
    }
  }
}

std::uint64_t ComposerService::Request(const PieceParameters& parameters, ComposeFor purpose,
                                       std::optional<std::int64_t> clock_ms,
                                       std::optional<CarriedState> carried) {
  const int slot = static_cast<int>(purpose);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) {
    return 0;
  }
  if (!worker_.joinable()) {
    worker_ = std::thread([this] { Work(); });
  }
  Order order;
  order.number = ++next_request_;
  order.parameters = parameters;
  order.clock_ms = clock_ms.value_or(MillisSinceStart());
  order.carried = carried.value_or(carried_);
  requested_[slot] = order.number;
  waiting_[slot] = std::move(order);
  done_[slot].reset();
  cancel_[slot].store(true, std::memory_order_relaxed);  // what is being made is pointless now
  wake_.notify_one();
  return requested_[slot];
}

std::optional<Cue> ComposerService::Take(ComposeFor purpose) {
  const int slot = static_cast<int>(purpose);
  std::uint64_t count = 0;
  (void)!read(ready_fd_, &count, sizeof count);
  std::lock_guard<std::mutex> lock(mutex_);
  // The other purpose's piece may be ready as well: the descriptor stays readable.
  if (done_[1 - slot]) {
    const std::uint64_t one = 1;
    (void)!write(ready_fd_, &one, sizeof one);
  }
  if (!done_[slot] || done_[slot]->request != requested_[slot]) {
    return std::nullopt;
  }
  std::optional<Cue> cue = std::move(done_[slot]);
  done_[slot].reset();
  taken_[slot] = cue->request;
  carried_ = cue->carried_out;
  return cue;
}

bool ComposerService::Composing(ComposeFor purpose) const {
  const int slot = static_cast<int>(purpose);
  std::lock_guard<std::mutex> lock(mutex_);
  return taken_[slot] != requested_[slot];
}

void ComposerService::Cancel(ComposeFor purpose) {
  const int slot = static_cast<int>(purpose);
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_[slot].reset();
  done_[slot].reset();
  taken_[slot] = requested_[slot] = ++next_request_;  // whatever is being made is for nobody
  cancel_[slot].store(true, std::memory_order_relaxed);
}

Cue ComposerService::ComposeNow(const PieceParameters& parameters, std::int64_t clock_ms) {
  Cancel(ComposeFor::kCommand);
  Order order;
  order.parameters = parameters;
  order.clock_ms = clock_ms;
  order.carried = carried_;
  std::ostringstream lines;
  Composed composed = *ComposePiece(parameters, clock_ms, carried_, 0, lines);
  Cue cue = Make(order, std::move(composed), lines.str());
  carried_ = cue.carried_out;
  return cue;
}

void ComposerService::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    cancel_[0].store(true, std::memory_order_relaxed);
    cancel_[1].store(true, std::memory_order_relaxed);
  }
  wake_.notify_one();
  if (worker_.joinable()) {
    worker_.join();
  }
}

}  // namespace vordel
