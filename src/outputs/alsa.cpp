// External ports through RtMidi: the ALSA sequencer (port named after the instance, connected to
// a synthesizer's input), and JACK through RtMidi, kept for comparison with the native JACK
// output. RtMidi sends at once, so the delivery thread hands each message over at its due time
// plus a small latency, from a thread that runs at real-time priority when permitted, right
// after the tick.
#include <rtmidi/RtMidi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "outputs/backends.h"
#include "outputs/delivery_thread.h"
#include "outputs/jack_client.h"
#include "outputs/system_logs.h"
#include "platform/clock.h"

namespace vordel {
namespace {

constexpr std::int64_t kLatencyNanos = 2 * kNanosPerMilli;

// RtMidi reports problems through this callback instead of printing them.
struct ErrorSink {
  std::string last;
  bool failed = false;
};

void CollectError(RtMidiError::Type type, const std::string& text, void* user) {
  auto* sink = static_cast<ErrorSink*>(user);
  sink->last = text;
  if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
    sink->failed = true;
  }
  if (text.find("JACK server not running") != std::string::npos ||
      text.find("error creating ALSA sequencer") != std::string::npos) {
    sink->failed = true;
  }
}

bool AlsaSequencerPresent() {
  std::ifstream seq("/dev/snd/seq");
  return seq.good();
}

// The socket a running JACK server listens on; it goes away with the server.
std::string JackServerSocket() {
  const char* name = std::getenv("JACK_DEFAULT_SERVER");
  return "/dev/shm/jack_" + std::string(name != nullptr && *name != '\0' ? name : "default") + "_" +
         std::to_string(getuid()) + "_0";
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

OutputProbe ListInputs(RtMidi::Api api) {
  OutputProbe probe;
  QuietSystemLibraries();
  if (api == RtMidi::LINUX_ALSA && !AlsaSequencerPresent()) {
    return probe;
  }
  if (api == RtMidi::UNIX_JACK && !JackServerRunning()) {
    return probe;
  }
  ErrorSink sink;
  try {
    RtMidiOut out(api, "vordel-probe");
    out.setErrorCallback(&CollectError, &sink);
    const unsigned n = out.getPortCount();
    if (sink.failed) {
      return probe;
    }
    for (unsigned i = 0; i < n; ++i) {
      probe.inputs.push_back(out.getPortName(i));
    }
  } catch (const RtMidiError&) {
    return probe;
  }
  probe.present = !sink.failed;
  return probe;
}

class RtMidiPort final : public DeliveryThreadOutput {
 public:
  RtMidiPort(RtMidi::Api api, const std::string& name, const std::string& input)
      : DeliveryThreadOutput(Timing::kAtDueTime, kLatencyNanos, true),
        input_name_(input),
        api_name_(api == RtMidi::UNIX_JACK ? "JACK (RtMidi)" : "ALSA") {
    if (api == RtMidi::UNIX_JACK && Exists(JackServerSocket())) {
      jack_socket_ = JackServerSocket();
    }
    try {
      out_ = std::make_unique<RtMidiOut>(api, name);
      out_->setErrorCallback(&CollectError, &sink_);
      int index = -1;
      for (unsigned i = 0; i < out_->getPortCount() && !input.empty(); ++i) {
        if (out_->getPortName(i) == input) {
          index = static_cast<int>(i);
          break;
        }
      }
      if (index >= 0) {
        out_->openPort(static_cast<unsigned>(index), name);
      } else {
        out_->openVirtualPort(name);
        input_name_.clear();
      }
      SetStatus(sink_.failed ? kMidiErrorGeneric : kMidiOk);
    } catch (const RtMidiError& e) {
      sink_.last = e.getMessage();
      SetStatus(kMidiErrorGeneric);
      out_.reset();
    }
    port_name_ = name;
    Start();
  }
  ~RtMidiPort() override { Close(); }

  std::string Describe() const override {
    return api_name_ + " port " + port_name_ +
           (input_name_.empty() ? std::string(" (not connected)") : " -> " + input_name_);
  }

 protected:
  unsigned Deliver(const MidiMessage& m, std::int64_t /*due_ns*/) override {
    // A port whose server went away is not written to: RtMidi would wait for room forever.
    if (!out_ || Status() != kMidiOk) {
      return Status() != kMidiOk ? Status() : kMidiErrorBadDevice;
    }
    try {
      sink_.failed = false;
      out_->sendMessage(m.bytes, m.size);
      return sink_.failed ? kMidiErrorGeneric : kMidiOk;
    } catch (const RtMidiError&) {
      return kMidiErrorGeneric;
    }
  }
  void CheckDevice() override {
    if (!jack_socket_.empty() && !Exists(jack_socket_)) {
      SetStatus(kMidiErrorGeneric);
    }
  }
  void CloseDevice() override {
    if (out_) {
      try {
        out_->closePort();
      } catch (const RtMidiError&) {
      }
      out_.reset();
    }
  }

 private:
  std::unique_ptr<RtMidiOut> out_;
  ErrorSink sink_;
  std::string input_name_;
  std::string port_name_;
  std::string api_name_;
  std::string jack_socket_;
};

OpenResult OpenPort(RtMidi::Api api, const OutputRequest& request, const std::string& input) {
  OpenResult r;
  auto out = std::make_unique<RtMidiPort>(api, request.name, input);
  if (out->Status() != kMidiOk) {
    r.error = std::string("the ") + (api == RtMidi::UNIX_JACK ? "JACK server" : "ALSA sequencer") +
              " refused the port";
    return r;
  }
  r.output = std::move(out);
  return r;
}

}  // namespace

OutputProbe ProbeAlsa() {
  return ListInputs(RtMidi::LINUX_ALSA);
}

OpenResult OpenAlsa(const OutputRequest& request, const std::string& input) {
  return OpenPort(RtMidi::LINUX_ALSA, request, input);
}

OutputProbe ProbeRtMidiJack() {
  return ListInputs(RtMidi::UNIX_JACK);
}

OpenResult OpenRtMidiJack(const OutputRequest& request, const std::string& input) {
  return OpenPort(RtMidi::UNIX_JACK, request, input);
}

}  // namespace vordel
