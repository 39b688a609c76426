// An output that keeps every message with its lane, its due time and the time it was sent, in a
// fixed buffer that never reallocates (Send is real-time safe from both lanes at once). With a
// file name it writes the messages there as text when it closes, one per line: due time in
// milliseconds since the first message, then the bytes in hex. Records and Close: control
// thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "midi/output.h"

namespace vordel {

class RecordingOutput : public MidiOutput {
 public:
  struct Record {
    MidiMessage message;
    Lane lane;
    std::int64_t due_ns;
    std::int64_t sent_ns;
  };

  explicit RecordingOutput(std::size_t capacity = 1 << 20, unsigned status = kMidiOk,
                           std::string file = "");
  unsigned Status() const override { return status_; }
  unsigned Send(Lane lane, const MidiMessage& message, std::int64_t due_ns) override;
  void Close() override;
  std::string Describe() const override;
  std::uint64_t Dropped() const override { return dropped_.load(std::memory_order_relaxed); }

  // Messages recorded so far, in the order they were sent.
  std::vector<Record> Records() const;
  // Their bytes only.
  std::vector<std::vector<int>> Bytes() const;
  std::size_t Count() const;
  bool Closed() const { return closed_.load(std::memory_order_acquire); }
  void Clear();

 private:
  struct Slot {
    Record record;
    std::atomic<bool> ready{false};
  };
  std::unique_ptr<Slot[]> slots_;
  std::size_t capacity_;
  unsigned status_;
  std::string file_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<bool> closed_{false};
};

}  // namespace vordel
