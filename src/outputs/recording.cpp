#include "outputs/recording.h"

#include <cstdio>

#include "outputs/backends.h"
#include "platform/clock.h"

namespace vordel {

RecordingOutput::RecordingOutput(std::size_t capacity, unsigned status, std::string file)
    : slots_(std::make_unique<Slot[]>(capacity)),
      capacity_(capacity),
      status_(status),
      file_(std::move(file)) {}

unsigned RecordingOutput::Send(Lane lane, const MidiMessage& message, std::int64_t due_ns) {
  const std::int64_t now = MonotonicNanos();
  const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
  if (i >= capacity_) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return kMidiErrorNotReady;
  }
  slots_[i].record = Record{message, lane, due_ns, now};
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

std::vector<std::vector<int>> RecordingOutput::Bytes() const {
  std::vector<std::vector<int>> out;
  for (const Record& r : Records()) {
    out.emplace_back(r.message.bytes, r.message.bytes + r.message.size);
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

std::string RecordingOutput::Describe() const {
  return file_.empty() ? "recording" : "recording to " + file_;
}

void RecordingOutput::Close() {
  if (closed_.exchange(true, std::memory_order_acq_rel) || file_.empty()) {
    return;
  }
  FILE* f = std::fopen(file_.c_str(), "w");
  if (f == nullptr) {
    return;
  }
  const std::vector<Record> records = Records();
  const std::int64_t origin = records.empty() ? 0 : records.front().due_ns;
  for (const Record& r : records) {
    std::fprintf(f, "%.3f", static_cast<double>(r.due_ns - origin) / 1e6);
    for (int b = 0; b < r.message.size; ++b) {
      std::fprintf(f, " %02x", r.message.bytes[b]);
    }
    std::fputc('\n', f);
  }
  std::fclose(f);
}

OutputProbe ProbeRecording() {
  OutputProbe probe;
  probe.present = true;
  return probe;
}

OpenResult OpenRecording(const OutputRequest& request, const std::string& /*input*/) {
  OpenResult r;
  r.output = std::make_unique<RecordingOutput>(std::size_t{1} << 20, kMidiOk, request.record_file);
  return r;
}

}  // namespace vordel
