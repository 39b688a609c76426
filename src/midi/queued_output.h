// An output whose device is driven by a sender thread of its own. Senders on any thread put
// whole messages into a bounded lock-free queue and wake the sender thread; they never wait and
// never touch the device, whose library may lock or allocate.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>

#include "midi/midi_output.h"

namespace vordel {

class QueuedOutput : public MidiOutput {
 public:
  ~QueuedOutput() override;
  unsigned Status() const override { return status_.load(std::memory_order_acquire); }
  unsigned Send(const MidiMessage& m) override;
  // Delivers every queued message, then stops the sender thread and closes the device.
  void Close() override;
  // Messages that did not fit into the queue.
  std::size_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 protected:
  explicit QueuedOutput(std::size_t capacity = 8192);
  // Starts the sender thread; call once the device is open.
  void Start();
  // On the sender thread: hand one message to the device; returns 0 or an error code.
  virtual unsigned Deliver(const MidiMessage& m) = 0;
  // On the closing thread, after the last delivery.
  virtual void CloseDevice() {}
  // On the sender thread, about once a second: a chance to notice a device that went away.
  virtual void CheckDevice() {}
  void SetStatus(unsigned s) { status_.store(s, std::memory_order_release); }

 private:
  struct Cell {
    std::atomic<std::size_t> sequence;
    MidiMessage message;
  };
  bool Pop(MidiMessage& m);
  void Run();

  std::unique_ptr<Cell[]> cells_;
  std::size_t mask_;
  std::atomic<std::size_t> enqueue_pos_{0};
  std::atomic<std::size_t> dequeue_pos_{0};
  std::atomic<unsigned> status_{kMidiOk};
  std::atomic<std::size_t> dropped_{0};
  std::atomic<bool> stopping_{false};
  sem_t wake_;
  std::thread sender_;
  bool closed_ = false;
};

}  // namespace vordel
