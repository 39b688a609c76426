#include "midi/queued_output.h"

#include <time.h>

#include <cerrno>
#include <chrono>

namespace vordel {

QueuedOutput::QueuedOutput(std::size_t capacity) {
  std::size_t size = 1;
  while (size < capacity) {
    size <<= 1;
  }
  cells_ = std::make_unique<Cell[]>(size);
  for (std::size_t i = 0; i < size; ++i) {
    cells_[i].sequence.store(i, std::memory_order_relaxed);
  }
  mask_ = size - 1;
  sem_init(&wake_, 0, 0);
}

QueuedOutput::~QueuedOutput() {
  // A derived class closes in its own destructor; this only makes sure the thread is gone.
  if (sender_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    sem_post(&wake_);
    sender_.join();
  }
  sem_destroy(&wake_);
}

void QueuedOutput::Start() {
  sender_ = std::thread([this] { Run(); });
}

unsigned QueuedOutput::Send(const MidiMessage& m) {
  // Bounded multi-producer queue with a sequence number per cell.
  std::size_t pos = enqueue_pos_.load(std::memory_order_relaxed);
  for (;;) {
    Cell& cell = cells_[pos & mask_];
    const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
    const auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos);
    if (diff == 0) {
      if (enqueue_pos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        cell.message = m;
        cell.sequence.store(pos + 1, std::memory_order_release);
        sem_post(&wake_);
        return Status();
      }
    } else if (diff < 0) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return kMidiErrorNotReady;
    } else {
      pos = enqueue_pos_.load(std::memory_order_relaxed);
    }
  }
}

bool QueuedOutput::Pop(MidiMessage& m) {
  std::size_t pos = dequeue_pos_.load(std::memory_order_relaxed);
  for (;;) {
    Cell& cell = cells_[pos & mask_];
    const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
    const auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos + 1);
    if (diff == 0) {
      if (dequeue_pos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        m = cell.message;
        cell.sequence.store(pos + mask_ + 1, std::memory_order_release);
        return true;
      }
    } else if (diff < 0) {
      return false;
    } else {
      pos = dequeue_pos_.load(std::memory_order_relaxed);
    }
  }
}

void QueuedOutput::Run() {
  MidiMessage m{};
  auto last_check = std::chrono::steady_clock::now();
  for (;;) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    const bool woken = sem_timedwait(&wake_, &deadline) == 0 || errno != ETIMEDOUT;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_check >= std::chrono::seconds(1)) {
      last_check = now;
      CheckDevice();
    }
    if (!woken) {
      continue;
    }
    while (Pop(m)) {
      const unsigned r = Deliver(m);
      if (r != kMidiOk) {
        SetStatus(r);
      }
    }
    if (stopping_.load(std::memory_order_acquire)) {
      while (Pop(m)) {
        Deliver(m);
      }
      return;
    }
  }
}

void QueuedOutput::Close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  if (sender_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    sem_post(&wake_);
    sender_.join();
  }
  CloseDevice();
}

}  // namespace vordel
