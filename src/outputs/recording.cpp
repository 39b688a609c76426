#include "outputs/recording.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "outputs/backends.h"
#include "platform/clock.h"
#include "platform/error_text.h"

namespace vordel {

RecordingOutput::RecordingOutput(std::size_t capacity, unsigned status)
    : slots_(std::make_unique<Slot[]>(capacity)), capacity_(capacity), status_(status) {}

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
  return "recording";
}

void RecordingOutput::Close() {
  closed_.store(true, std::memory_order_release);
}

OutputProbe ProbeRecording() {
  OutputProbe probe;
  probe.present = true;
  return probe;
}

RecordFileOutput::RecordFileOutput(std::string path, std::FILE* file)
    : DeliveryThreadOutput(Timing::kWhenQueued, 0, false), path_(std::move(path)), file_(file) {
  Start();
}

RecordFileOutput::~RecordFileOutput() {
  Close();
}

std::unique_ptr<RecordFileOutput> RecordFileOutput::Open(const std::string& path,
                                                         std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) {
    *error = "cannot record to " + path + ": " + ErrorText(errno);
    return nullptr;
  }
  std::setvbuf(f, nullptr, _IOFBF, std::size_t{1} << 16);
  return std::unique_ptr<RecordFileOutput>(new RecordFileOutput(path, f));
}

std::string RecordFileOutput::Describe() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return "recording to " + path_ + (error_.empty() ? "" : " (" + error_ + ")");
}

std::string RecordFileOutput::Failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!error_.empty()) {
    return "the recording to " + path_ + " is incomplete: " + error_;
  }
  if (Dropped() > 0) {
    return "the recording to " + path_ + " is incomplete: " + std::to_string(Dropped()) +
           " message(s) were lost";
  }
  return "";
}

unsigned RecordFileOutput::Deliver(const MidiMessage& message, std::int64_t due_ns) {
  if (file_ == nullptr) {
    return kMidiErrorGeneric;
  }
  if (!have_origin_) {
    have_origin_ = true;
    origin_ns_ = due_ns;
  }
  std::fprintf(file_, "%.3f", static_cast<double>(due_ns - origin_ns_) / 1e6);
  for (int b = 0; b < message.size; ++b) {
    std::fprintf(file_, " %02x", message.bytes[b]);
  }
  std::fputc('\n', file_);
  if (std::ferror(file_) != 0) {
    Flush();
  }
  return Status();
}

void RecordFileOutput::Flush() {
  if (file_ == nullptr) {
    return;
  }
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
    const int saved = errno;
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_.empty()) {
      error_ = ErrorText(saved != 0 ? saved : EIO);
    }
    SetStatus(kMidiErrorGeneric);
  }
}

void RecordFileOutput::CheckDevice() {
  Flush();
}

std::int64_t RecordFileOutput::CheckIntervalNanos() const {
  return 50 * kNanosPerMilli;
}

void RecordFileOutput::CloseDevice() {
  if (file_ == nullptr) {
    return;
  }
  Flush();
  if (std::fclose(file_) != 0) {
    const int saved = errno;
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_.empty()) {
      error_ = ErrorText(saved);
    }
  }
  file_ = nullptr;
}

OpenResult OpenRecording(const OutputRequest& request, const std::string& /*input*/) {
  OpenResult r;
  if (request.record_file.empty()) {
    r.output = std::make_unique<RecordingOutput>();
    return r;
  }
  r.output = RecordFileOutput::Open(request.record_file, &r.error);
  r.bad_request = !r.output;
  return r;
}

}  // namespace vordel
