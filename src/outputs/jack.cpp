// The native JACK output: client and port named after the instance ("vordel"), connected to a
// synthesizer's input. The ticks' stamped messages wait in the lanes until the process callback
// writes them at their frame plus one period and a small safety margin; what is already past
// goes at offset 0, what lies beyond the cycle waits. The process callback allocates nothing,
// takes no lock and never blocks.
#include <jack/midiport.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "outputs/backends.h"
#include "outputs/jack_client.h"
#include "outputs/jack_frames.h"
#include "outputs/lanes.h"
#include "outputs/system_logs.h"
#include "platform/clock.h"

namespace vordel {
namespace {

// Beyond one period, so that a tick that wakes a little late still makes its cycle.
constexpr std::int64_t kSafetyNanos = std::int64_t{750} * 1000;
// The client's name on its server (vordel-2 ... when it is taken there).
constexpr const char* kJackName = "vordel";
// How long a panic waits for the last notes to be ended.
constexpr std::int64_t kPanicWait = 500 * kNanosPerMilli;
// How long closing waits for a living server to take what is queued: on a loaded machine a
// server may run no cycle for half a second, and the ends of the last notes matter more than
// a quick exit.
constexpr std::int64_t kCloseWait = 2000 * kNanosPerMilli;

class JackOutput final : public MidiOutput {
 public:
  JackOutput(const std::string& name, std::string input) : name_(name), input_(std::move(input)) {
    JackClient::Hooks hooks;
    hooks.setup = [this](jack_client_t* c) {
      // The port is named as the client is: vordel:vordel, or vordel-2:vordel-2 beside another.
      port_ = jack_port_register(c, jack_get_client_name(c), JACK_DEFAULT_MIDI_TYPE,
                                 JackPortIsOutput, 0);
      if (port_ == nullptr) {
        return false;
      }
      // Stale messages of a server that went away are not sent to the new one; no process
      // callback runs yet, so this thread may empty the lanes.
      queues_.Clear();
      // The process callback may run before the client object is in place: it gets the client
      // from here.
      raw_.store(c, std::memory_order_release);
      jack_set_process_callback(c, &JackOutput::Process, this);
      jack_set_xrun_callback(c, &JackOutput::Xrun, this);
      return true;
    };
    hooks.connect = [this](jack_client_t* c) {
      if (!input_.empty()) {
        jack_connect(c, jack_port_name(port_), input_.c_str());
      }
      period_frames_.store(jack_get_buffer_size(c), std::memory_order_relaxed);
      rate_.store(jack_get_sample_rate(c), std::memory_order_relaxed);
    };
    hooks.cycles = [this] { return cycles_.load(std::memory_order_relaxed); };
    client_ = std::make_unique<JackClient>(name, hooks);
  }
  ~JackOutput() override { Close(); }

  unsigned Status() const override { return client_->Up() ? kMidiOk : kMidiErrorGeneric; }

  unsigned Send(Lane lane, const MidiMessage& message, std::int64_t due_ns) override {
    if (!client_->Up()) {
      return kMidiErrorGeneric;  // the server went away: nothing queues up meanwhile
    }
    return queues_.Push(lane, message, due_ns) ? kMidiOk : kMidiErrorNotReady;
  }

  void Close() override {
    if (closed_) {
      return;
    }
    closed_ = true;
    // Let the process callback write what is queued (the last note ends, All Notes Off).
    const std::int64_t give_up = MonotonicNanos() + kCloseWait;
    while (client_->Up() && !queues_.Empty() && MonotonicNanos() < give_up) {
      SleepUntilNanos(MonotonicNanos() + kNanosPerMilli);
    }
    if (client_->Up()) {
      // One more period for the last cycle to reach the other side.
      SleepUntilNanos(MonotonicNanos() + LatencyNanos());
    }
    client_->Close();
    queues_.Clear();  // what the server did not take in time is lost, and counted
  }

  std::string Warning() const override {
    const std::uint64_t xruns = xruns_.load(std::memory_order_relaxed);
    if (xruns == 0) {
      return "";
    }
    // The server ran a cycle while a client had not finished the one before: in its
    // asynchronous mode a client that was late then may never read what this port wrote.
    return "the JACK server reported " + std::to_string(xruns) +
           " xrun(s) (a client that was late) while vordel wrote messages: a client there that "
           "was late may have missed some";
  }

  void Panic() override {
    const std::int64_t now = MonotonicNanos();
    queues_.Panic(now);
    // The process callback writes them cycle by cycle; one more period takes the last across.
    if (client_->Up() && queues_.WaitPanicked(now + kPanicWait)) {
      SleepUntilNanos(MonotonicNanos() + LatencyNanos());
    }
  }

  std::string Describe() const override {
    const std::string client = client_->Name();
    const std::string shown = client.empty() ? name_ : client;
    return "JACK port " + shown + ":" + shown +
           (input_.empty() ? std::string(" (not connected)") : " -> " + input_) +
           (client_->Up() ? "" : " (the JACK server has gone away)");
  }
  std::uint64_t Dropped() const override { return queues_.Dropped(); }
  std::int64_t LatencyNanos() const override {
    const std::uint32_t rate = rate_.load(std::memory_order_relaxed);
    if (rate == 0) {
      return kSafetyNanos;
    }
    return static_cast<std::int64_t>(period_frames_.load(std::memory_order_relaxed)) * 1000000000 /
               rate +
           kSafetyNanos;
  }

 private:
  static int Process(jack_nframes_t nframes, void* arg) {
    static_cast<JackOutput*>(arg)->Write(nframes);
    return 0;
  }

  // A JACK thread, told some time after the cycle: counted when this port wrote messages in
  // the cycles just before it (a late client can only have missed what was written).
  static int Xrun(void* arg) {
    auto* self = static_cast<JackOutput*>(arg);
    if (self->recent_cycles_with_messages_.load(std::memory_order_relaxed) != 0) {
      self->xruns_.fetch_add(1, std::memory_order_relaxed);
    }
    return 0;
  }

  void Write(jack_nframes_t nframes) {
    cycles_.fetch_add(1, std::memory_order_relaxed);
    void* buffer = jack_port_get_buffer(port_, nframes);
    jack_midi_clear_buffer(buffer);
    jack_client_t* c = raw_.load(std::memory_order_acquire);
    jack_nframes_t cycle_frames = 0;
    jack_time_t cycle_usecs = 0;
    jack_time_t next_usecs = 0;
    float period_usecs = 0;
    if (c == nullptr ||
        jack_get_cycle_times(c, &cycle_frames, &cycle_usecs, &next_usecs, &period_usecs) != 0 ||
        period_usecs <= 0) {
      return;
    }
    // Both clocks are read through the vDSO; their difference maps due times onto JACK's.
    const std::int64_t jack_minus_mono_us =
        static_cast<std::int64_t>(jack_get_time()) - MonotonicNanos() / 1000;
    const std::uint32_t safety_frames = static_cast<std::uint32_t>(
        kSafetyNanos / 1000 * nframes / static_cast<std::int64_t>(period_usecs));
    std::uint32_t last_offset = 0;
    bool wrote = false;
    while (const StampedMessage* m = queues_.Peek()) {
      const auto due_us = static_cast<std::uint64_t>(m->due_ns / 1000 + jack_minus_mono_us);
      const CyclePlacement place = PlaceInCycle(due_us, cycle_frames, cycle_usecs, period_usecs,
                                                nframes, nframes + safety_frames);
      if (place.later) {
        break;
      }
      const std::uint32_t offset = place.offset > last_offset ? place.offset : last_offset;
      if (jack_midi_event_write(buffer, offset, m->message.bytes, m->message.size) != 0) {
        break;  // the cycle's buffer is full: the rest goes in the next one
      }
      last_offset = offset;
      queues_.Pop();
      wrote = true;
    }
    // One bit a cycle, for the last eight cycles.
    recent_cycles_with_messages_.store(
        static_cast<std::uint8_t>(
            (recent_cycles_with_messages_.load(std::memory_order_relaxed) << 1) |
            (wrote ? 1U : 0U)),
        std::memory_order_relaxed);
  }

  std::string name_;
  std::string input_;
  LaneQueues queues_;
  jack_port_t* port_ = nullptr;
  std::atomic<jack_client_t*> raw_{nullptr};
  std::atomic<std::uint32_t> period_frames_{0};
  std::atomic<std::uint64_t> cycles_{0};
  std::atomic<std::uint32_t> rate_{0};
  std::atomic<std::uint64_t> xruns_{0};
  std::atomic<std::uint8_t> recent_cycles_with_messages_{0};
  std::unique_ptr<JackClient> client_;
  bool closed_ = false;
};

}  // namespace

OutputProbe ProbeJack() {
  OutputProbe probe;
  QuietSystemLibraries();
  jack_status_t status{};
  jack_client_t* c = jack_client_open("vordel-probe", JackNoStartServer, &status);
  if (c == nullptr) {
    return probe;
  }
  probe.present = true;
  if (const char** ports = jack_get_ports(c, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
    for (const char** p = ports; *p != nullptr; ++p) {
      probe.inputs.emplace_back(*p);
    }
    jack_free(ports);
  }
  jack_client_close(c);
  return probe;
}

OpenResult OpenJack(const OutputRequest& /*request*/, const std::string& input) {
  OpenResult r;
  // Named on its server by JACK's own rule (the first free of vordel, vordel-2 ...), not by the
  // instance number, which counts the vordels of this user on every server.
  auto out = std::make_unique<JackOutput>(kJackName, input);
  if (out->Status() != kMidiOk) {
    r.error = "the JACK server does not answer";
    return r;
  }
  r.output = std::move(out);
  return r;
}

}  // namespace vordel
