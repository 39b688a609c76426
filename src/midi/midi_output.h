// Where MIDI messages go: an external port, the built-in synthesizer, or a recording.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vordel {

// Result codes of opening and sending, 0 for success.
inline constexpr unsigned kMidiOk = 0;
inline constexpr unsigned kMidiErrorGeneric = 1;    // the device failed
inline constexpr unsigned kMidiErrorBadDevice = 2;  // no such device
inline constexpr unsigned kMidiErrorNotReady = 67;  // the output could not take the message
inline constexpr unsigned kMidiErrorStillPlaying = 65;

struct MidiMessage {
  std::uint8_t bytes[3];
  std::uint8_t size;  // 2 or 3
};

class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  // Result of opening the output: 0 when it works.
  virtual unsigned Status() const = 0;
  // Sends one whole message. Safe to call from two threads at once; allocates nothing and
  // never waits. Returns 0, or an error code when the message could not be delivered.
  virtual unsigned Send(const MidiMessage& m) = 0;
  // Delivers what was sent and releases the device.
  virtual void Close() = 0;
  // Silences the device at once (used before closing an output that is still sounding).
  virtual void Reset() {}
  // A short description for status lines ("built-in synthesizer", "port vordel -> ...").
  virtual std::string Describe() const = 0;
};

// Keeps every message with its send time, in a fixed buffer that never reallocates.
class RecordingOutput : public MidiOutput {
 public:
  struct Record {
    MidiMessage message;
    std::chrono::steady_clock::time_point when;
  };

  explicit RecordingOutput(std::size_t capacity = 1 << 20, unsigned status = kMidiOk);
  unsigned Status() const override { return status_; }
  unsigned Send(const MidiMessage& m) override;
  void Close() override { closed_.store(true, std::memory_order_release); }
  std::string Describe() const override { return "recording"; }

  // Messages recorded so far (read after the senders have stopped, or as a snapshot).
  std::vector<Record> Records() const;
  std::size_t Count() const;
  std::size_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
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
  std::atomic<std::size_t> dropped_{0};
  std::atomic<bool> closed_{false};
};

}  // namespace vordel
