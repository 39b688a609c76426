// Recordings of the messages an output is sent. RecordingOutput keeps every message with its
// lane, its due time and the time it was sent, in a fixed buffer that never reallocates (Send is
// real-time safe from both lanes at once; Records and Close: control thread): the outputs of tests
// and benchmarks. RecordFileOutput writes them to a file as the piece plays, one per line: due
// time in milliseconds since the first message, then the bytes in hex.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/output.h"
#include "outputs/delivery_thread.h"

namespace vordel {

class RecordingOutput : public MidiOutput {
 public:
  struct Record {
    MidiMessage message;
    Lane lane;
    std::int64_t due_ns;
    std::int64_t sent_ns;
  };

  explicit RecordingOutput(std::size_t capacity = 1 << 20, unsigned status = kMidiOk);
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
  std::atomic<std::size_t> next_{0};
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<bool> closed_{false};
};

// The recording to a file: opened when the output is made (so a path that cannot be written is
// an error at once), then written line by line by a thread of its own and flushed at least every
// 50 ms, so a process that is killed leaves everything but its last few milliseconds. Send and
// Commit are real-time safe (the lanes of a delivery thread); nothing limits the length.
class RecordFileOutput final : public DeliveryThreadOutput {
 public:
  // Opens (and empties) the file; null with the reason when it cannot be written.
  static std::unique_ptr<RecordFileOutput> Open(const std::string& path, std::string* error);
  ~RecordFileOutput() override;

  std::string Describe() const override;
  // A write error, or messages lost before they reached the file.
  std::string Failure() const override;

 protected:
  unsigned Deliver(const MidiMessage& message, std::int64_t due_ns) override;
  void CheckDevice() override;
  std::int64_t CheckIntervalNanos() const override;
  void CloseDevice() override;

 private:
  RecordFileOutput(std::string path, std::FILE* file);
  void Flush();

  std::string path_;
  std::FILE* file_;
  bool have_origin_ = false;
  std::int64_t origin_ns_ = 0;
  mutable std::mutex mutex_;  // error_ (delivery thread writes, any thread reads)
  std::string error_;
};

}  // namespace vordel
