#include "outputs/midi_input.h"

#include <jack/midiport.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <fstream>
#include <mutex>

#include "outputs/jack_client.h"
#include "outputs/system_logs.h"
#include "platform/spsc_ring.h"

namespace vordel {
namespace {

constexpr std::size_t kInputCapacity = 4096;
constexpr const char* kPortName = "vordel in";

// Keeps the channel and system real-time messages a control source can use (at most three
// bytes); system exclusive and the like are not kept.
bool ToMessage(const unsigned char* data, std::size_t size, MidiMessage* m) {
  if (size == 0 || size > 3 || (data[0] & 0x80) == 0 || data[0] == 0xF0) {
    return false;
  }
  m->size = static_cast<std::uint8_t>(size);
  for (std::size_t i = 0; i < 3; ++i) {
    m->bytes[i] = i < size ? data[i] : 0;
  }
  return true;
}

class RingInput : public MidiInput {
 public:
  bool Take(MidiMessage* message, std::int64_t* arrived_us) override {
    const Arrival* a = ring_.Front();
    if (a == nullptr) {
      return false;
    }
    *message = a->message;
    *arrived_us = a->usecs;
    ring_.Pop();
    return true;
  }
  std::uint64_t Dropped() const override { return dropped_.load(std::memory_order_relaxed); }

 protected:
  void Arrived(const unsigned char* data, std::size_t size, std::int64_t usecs) {
    Arrival a;
    a.usecs = usecs;
    if (ToMessage(data, size, &a.message) && !ring_.Push(a)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
    }
  }

 private:
  struct Arrival {
    MidiMessage message;
    std::int64_t usecs = 0;
  };
  SpscRing<Arrival> ring_{kInputCapacity};
  std::atomic<std::uint64_t> dropped_{0};
};

class JackInput : public RingInput {
 public:
  // Named on its server by JACK's own rule: vordel-in, or vordel-in-2 ... beside another.
  JackInput() {
    JackClient::Hooks hooks;
    hooks.setup = [this](jack_client_t* c) {
      port_ = jack_port_register(c, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
      if (port_ == nullptr) {
        return false;
      }
      // The process callback's own handle on the client: it runs before client_ is set.
      running_.store(c, std::memory_order_release);
      jack_set_process_callback(c, &JackInput::Process, this);
      return true;
    };
    hooks.connect = [this](jack_client_t* c) {
      const std::string source = Connected();
      if (!source.empty()) {
        jack_connect(c, source.c_str(), jack_port_name(port_));
      }
    };
    hooks.cycles = [this] { return cycles_.load(std::memory_order_relaxed); };
    client_ = std::make_unique<JackClient>("vordel-in", hooks);
  }
  ~JackInput() override { client_->Close(); }

  unsigned Status() const override { return client_->Up() ? 0 : 1; }

  std::vector<std::string> Sources() override {
    std::vector<std::string> names;
    jack_client_t* c = client_->Raw();
    if (c == nullptr) {
      return names;
    }
    if (const char** ports = jack_get_ports(c, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput)) {
      for (const char** p = ports; *p != nullptr; ++p) {
        const std::string n = *p;
        if (n.rfind(client_->Name() + ":", 0) != 0 && n.find("vordel") == std::string::npos) {
          names.push_back(n);
        }
      }
      jack_free(ports);
    }
    return names;
  }

  bool Connect(const std::string& source, std::string* error) override {
    jack_client_t* c = client_->Raw();
    if (c == nullptr) {
      *error = "the JACK server does not answer";
      return false;
    }
    jack_port_disconnect(c, port_);
    if (jack_connect(c, source.c_str(), jack_port_name(port_)) != 0) {
      *error = "cannot connect " + source;
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = source;
    return true;
  }

  std::string Connected() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
  }
  std::string Describe() const override { return "JACK port " + client_->Name() + ":" + kPortName; }

 private:
  static int Process(jack_nframes_t nframes, void* arg) {
    auto* self = static_cast<JackInput*>(arg);
    self->cycles_.fetch_add(1, std::memory_order_relaxed);
    void* buffer = jack_port_get_buffer(self->port_, nframes);
    const jack_nframes_t n = jack_midi_get_event_count(buffer);
    jack_client_t* c = self->running_.load(std::memory_order_acquire);
    const jack_nframes_t cycle = c != nullptr ? jack_last_frame_time(c) : 0;
    for (jack_nframes_t i = 0; i < n; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) == 0) {
        const std::int64_t usecs =
            c != nullptr ? static_cast<std::int64_t>(jack_frames_to_time(c, cycle + event.time))
                         : 0;
        self->Arrived(event.buffer, event.size, usecs);
      }
    }
    return 0;
  }

  jack_port_t* port_ = nullptr;
  std::atomic<jack_client_t*> running_{nullptr};
  std::atomic<std::uint64_t> cycles_{0};
  mutable std::mutex mutex_;  // connected_ (control thread and the client's watch thread)
  std::string connected_;
  std::unique_ptr<JackClient> client_;
};

class AlsaInput : public RingInput {
 public:
  explicit AlsaInput(const std::string& name) : name_(name) { Open(-1); }
  ~AlsaInput() override { Shut(); }

  unsigned Status() const override { return in_ ? 0 : 1; }

  std::vector<std::string> Sources() override {
    std::vector<std::string> names;
    try {
      RtMidiIn probe(RtMidi::LINUX_ALSA, "vordel-probe");
      for (unsigned i = 0; i < probe.getPortCount(); ++i) {
        const std::string n = probe.getPortName(i);
        if (n.find("vordel") == std::string::npos) {
          names.push_back(n);
        }
      }
    } catch (const RtMidiError&) {
    }
    return names;
  }

  bool Connect(const std::string& source, std::string* error) override {
    try {
      RtMidiIn probe(RtMidi::LINUX_ALSA, "vordel-probe");
      for (unsigned i = 0; i < probe.getPortCount(); ++i) {
        if (probe.getPortName(i) == source) {
          Shut();
          Open(static_cast<int>(i));
          connected_ = in_ ? source : "";
          if (!in_) {
            *error = "cannot connect " + source;
          }
          return in_ != nullptr;
        }
      }
    } catch (const RtMidiError&) {
    }
    *error = "no MIDI source named " + source;
    return false;
  }

  std::string Connected() const override { return connected_; }
  std::string Describe() const override { return "ALSA port " + name_ + ":" + kPortName; }

 private:
  // RtMidi tells the seconds since the message before (RtMidi's thread only).
  static void OnMessage(double delta, std::vector<unsigned char>* message, void* user) {
    auto* self = static_cast<AlsaInput*>(user);
    self->since_start_ += delta;
    if (message != nullptr) {
      self->Arrived(message->data(), message->size(),
                    static_cast<std::int64_t>(self->since_start_ * 1e6));
    }
  }
  static void OnError(RtMidiError::Type, const std::string&, void*) {}

  void Open(int source) {
    try {
      auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, name_);
      in->setErrorCallback(&AlsaInput::OnError, nullptr);
      in->setCallback(&AlsaInput::OnMessage, this);
      if (source >= 0) {
        in->openPort(static_cast<unsigned>(source), kPortName);
      } else {
        in->openVirtualPort(kPortName);
      }
      in_ = std::move(in);
    } catch (const RtMidiError&) {
      in_.reset();
    }
  }
  void Shut() {
    if (in_) {
      try {
        in_->cancelCallback();
        in_->closePort();
      } catch (const RtMidiError&) {
      }
      in_.reset();
    }
  }

  std::string name_;
  std::string connected_;
  std::unique_ptr<RtMidiIn> in_;
  double since_start_ = 0;  // seconds of arrivals, RtMidi's thread only
};

// No MIDI system here: the input stays closed.
class NoInput : public MidiInput {
 public:
  unsigned Status() const override { return kMidiNoSystem; }
  bool Take(MidiMessage*, std::int64_t*) override { return false; }
  std::vector<std::string> Sources() override { return {}; }
  bool Connect(const std::string&, std::string* error) override {
    *error = "no MIDI system is running";
    return false;
  }
  std::string Connected() const override { return ""; }
  std::string Describe() const override { return "no MIDI input"; }
  std::uint64_t Dropped() const override { return 0; }
};

}  // namespace

std::unique_ptr<MidiInput> OpenMidiInput(const std::string& name) {
  QuietSystemLibraries();
  if (JackServerRunning()) {
    return std::make_unique<JackInput>();
  }
  if (std::ifstream("/dev/snd/seq").good()) {
    auto in = std::make_unique<AlsaInput>(name);
    if (in->Status() == 0) {
      return in;
    }
  }
  return std::make_unique<NoInput>();
}

}  // namespace vordel
