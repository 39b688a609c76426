#include "midi/midi_output.h"

namespace vordel {

RecordingOutput::RecordingOutput(std::size_t capacity, unsigned status)
    : slots_(std::make_unique<Slot[]>(capacity)), capacity_(capacity), status_(status) {}

unsigned RecordingOutput::Send(const MidiMessage& m) {
  const auto when = std::chrono::steady_clock::now();
  const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
  if (i >= capacity_) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return kMidiErrorNotReady;
  }
  slots_[i].record = Record{m, when};
  slots_[i].ready.store(true, std::memory_order_release);
  return status_;
}

std::size_t RecordingOutput::Count() const {
  const std::size_t n = next_.load(std::memory_order_acquire);
  return n < capacity_ ? n : capacity_;
}

std::vector<RecordingOutput::Record> RecordingOutput::Records() const {
  std::vector<Record> out;
  const std::size_t n = Count();
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (slots_[i].ready.load(std::memory_order_acquire)) {
      out.push_back(slots_[i].record);
    }
  }
  return out;
}

void RecordingOutput::Clear() {
  const std::size_t n = Count();
  for (std::size_t i = 0; i < n; ++i) {
    slots_[i].ready.store(false, std::memory_order_relaxed);
  }
  next_.store(0, std::memory_order_release);
  dropped_.store(0, std::memory_order_relaxed);
}

}  // namespace vordel
