// A fixed-capacity ring handing values from exactly one producer thread to exactly one consumer
// thread. Push and pop are wait-free and allocate nothing: real-time safe on both sides.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace vordel {

template <typename T>
class SpscRing {
 public:
  // Room for at least `capacity` values (rounded up to a power of two).
  explicit SpscRing(std::size_t capacity) {
    std::size_t size = 2;
    while (size < capacity) {
      size <<= 1;
    }
    slots_ = std::make_unique<T[]>(size);
    mask_ = size - 1;
  }
  SpscRing(const SpscRing&) = delete;
  SpscRing& operator=(const SpscRing&) = delete;

  // Producer: false when full (the value is not stored).
  bool Push(const T& value) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) > mask_) {
      return false;
    }
    slots_[head & mask_] = value;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  // Consumer: the oldest value, or null when empty. Valid until the next Pop.
  const T* Front() const {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) {
      return nullptr;
    }
    return &slots_[tail & mask_];
  }

  // Consumer: drops the oldest value (there must be one).
  void Pop() { tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // Either side: how many values wait (a snapshot).
  std::size_t Size() const {
    return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
  }
  std::size_t Capacity() const { return mask_ + 1; }

 private:
  std::unique_ptr<T[]> slots_;
  std::size_t mask_ = 0;
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace vordel
