#include "midi/devices.h"

#include <dlfcn.h>
#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>

#include "midi/queued_output.h"

namespace vordel {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

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

// libjack and libasound print their own complaints (a missing server, a missing sound card)
// on standard error; those cases are reported here in one line instead. Both libraries are
// loaded with RtMidi and FluidSynth, so their functions are looked up rather than linked.
void SilentJack(const char*) {}
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

void QuietNativeLibraries() {
  static const bool done = [] {
    using JackMessageFn = void (*)(void (*)(const char*));
    if (auto f = reinterpret_cast<JackMessageFn>(dlsym(RTLD_DEFAULT, "jack_set_error_function"))) {
      f(&SilentJack);
    }
    if (auto f = reinterpret_cast<JackMessageFn>(dlsym(RTLD_DEFAULT, "jack_set_info_function"))) {
      f(&SilentJack);
    }
    using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using AlsaSetFn = int (*)(AlsaHandler);
    if (auto f = reinterpret_cast<AlsaSetFn>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))) {
      f(&SilentAlsa);
    }
    return true;
  }();
  (void)done;
}

void KeepJackFromStartingAServer() {
  setenv("JACK_NO_START_SERVER", "1", 0);
  QuietNativeLibraries();
}

// Whether a JACK server answers, asked without starting one.
bool JackServerRunning() {
  KeepJackFromStartingAServer();
  using OpenFn = void* (*)(const char*, int, int*, ...);
  using CloseFn = int (*)(void*);
  auto open = reinterpret_cast<OpenFn>(dlsym(RTLD_DEFAULT, "jack_client_open"));
  auto close = reinterpret_cast<CloseFn>(dlsym(RTLD_DEFAULT, "jack_client_close"));
  if (open == nullptr || close == nullptr) {
    return false;
  }
  constexpr int kJackNoStartServer = 0x01;
  int status = 0;
  void* client = open("vordel-probe", kJackNoStartServer, &status);
  if (client == nullptr) {
    return false;
  }
  close(client);
  return true;
}

// Input ports of one MIDI system, or false when the system is not there.
bool ListInputs(RtMidi::Api api, std::vector<std::string>* names) {
  if (api == RtMidi::LINUX_ALSA && !AlsaSequencerPresent()) {
    return false;
  }
  if (api == RtMidi::UNIX_JACK && !JackServerRunning()) {
    return false;
  }
  ErrorSink sink;
  try {
    RtMidiOut probe(api, "vordel-probe");
    probe.setErrorCallback(&CollectError, &sink);
    const unsigned n = probe.getPortCount();
    if (sink.failed) {
      return false;
    }
    for (unsigned i = 0; i < n; ++i) {
      names->push_back(probe.getPortName(i));
    }
  } catch (const RtMidiError&) {
    return false;
  }
  return !sink.failed;
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

// An external port named "vordel", connected to one input of another program.
class RtMidiOutput : public QueuedOutput {
 public:
  RtMidiOutput(RtMidi::Api api, int input_index, std::string input_name)
      : input_name_(std::move(input_name)) {
    if (api == RtMidi::UNIX_JACK && Exists(JackServerSocket())) {
      jack_socket_ = JackServerSocket();
    }
    try {
      out_ = std::make_unique<RtMidiOut>(api, "vordel");
      out_->setErrorCallback(&CollectError, &sink_);
      if (input_index >= 0) {
        out_->openPort(static_cast<unsigned>(input_index), "vordel");
      } else {
        out_->openVirtualPort("vordel");
      }
      SetStatus(sink_.failed ? kMidiErrorGeneric : kMidiOk);
    } catch (const RtMidiError& e) {
      sink_.last = e.getMessage();
      SetStatus(kMidiErrorGeneric);
      out_.reset();
    }
    api_name_ = api == RtMidi::UNIX_JACK ? "JACK" : "ALSA";
    Start();
  }
  ~RtMidiOutput() override { Close(); }

  std::string Describe() const override {
    return api_name_ + " port vordel" +
           (input_name_.empty() ? std::string(" (not connected)") : " -> " + input_name_);
  }

 protected:
  unsigned Deliver(const MidiMessage& m) override {
    if (!out_) {
      return kMidiErrorBadDevice;
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
    // A JACK server that dies takes its socket along; the port is gone with it.
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
  std::string api_name_;
  std::string jack_socket_;
};

void QuietFluidLog(int, const char*, void*) {}

// The built-in synthesizer.
class SynthOutput : public QueuedOutput {
 public:
  explicit SynthOutput(const std::string& soundfont) {
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
      fluid_set_log_function(level, &QuietFluidLog, nullptr);
    }
    KeepJackFromStartingAServer();
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.gain", 0.6);
    synth_ = new_fluid_synth(settings_);
    const std::string path = soundfont.empty() ? FindSoundfont() : soundfont;
    if (synth_ == nullptr || path.empty() ||
        fluid_synth_sfload(synth_, path.c_str(), 1) == FLUID_FAILED) {
      detail_ = path.empty() ? "no soundfont" : "soundfont " + path + " did not load";
      SetStatus(kMidiErrorGeneric);
    }
    if (synth_ != nullptr) {
      driver_ = new_fluid_audio_driver(settings_, synth_);
      if (driver_ == nullptr) {
        // Several drivers are worth a try: the default may be one this machine lacks.
        for (const char* name : {"pulseaudio", "alsa", "pipewire", "jack", "oss"}) {
          if (fluid_settings_setstr(settings_, "audio.driver", name) == FLUID_OK) {
            driver_ = new_fluid_audio_driver(settings_, synth_);
            if (driver_ != nullptr) {
              driver_name_ = name;
              break;
            }
          }
        }
      } else {
        char* name = nullptr;
        if (fluid_settings_dupstr(settings_, "audio.driver", &name) == FLUID_OK &&
            name != nullptr) {
          driver_name_ = name;
          fluid_free(name);
        }
      }
      if (driver_ == nullptr) {
        detail_ = "no audio device";
        SetStatus(kMidiErrorGeneric);
      }
    }
    soundfont_ = path;
    Start();
  }
  ~SynthOutput() override { Close(); }

  std::string Describe() const override {
    std::string d = "built-in synthesizer";
    if (!driver_name_.empty())
      d += " (" + driver_name_ + ")";
    if (!detail_.empty())
      d += ": " + detail_;
    return d;
  }

 protected:
  unsigned Deliver(const MidiMessage& m) override {
    if (synth_ == nullptr) {
      return kMidiErrorBadDevice;
    }
    const int ch = m.bytes[0] & 0x0F;
    switch (m.bytes[0] & 0xF0) {
      case 0x90:
        if (m.bytes[2] != 0) {
          fluid_synth_noteon(synth_, ch, m.bytes[1], m.bytes[2]);
        } else {
          fluid_synth_noteoff(synth_, ch, m.bytes[1]);
        }
        break;
      case 0x80:
        fluid_synth_noteoff(synth_, ch, m.bytes[1]);
        break;
      case 0xB0:
        fluid_synth_cc(synth_, ch, m.bytes[1], m.bytes[2]);
        break;
      case 0xC0:
        fluid_synth_program_change(synth_, ch, m.bytes[1]);
        break;
      default:
        break;
    }
    return kMidiOk;
  }
  void CloseDevice() override {
    if (driver_ != nullptr) {
      delete_fluid_audio_driver(driver_);
      driver_ = nullptr;
    }
    if (synth_ != nullptr) {
      delete_fluid_synth(synth_);
      synth_ = nullptr;
    }
    if (settings_ != nullptr) {
      delete_fluid_settings(settings_);
      settings_ = nullptr;
    }
  }

 private:
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_audio_driver_t* driver_ = nullptr;
  std::string soundfont_;
  std::string driver_name_;
  std::string detail_;
};

const char* const kSynthWords[] = {"synth", "fluid",   "timidity", "qsynth", "zyn",  "yoshimi",
                                   "sfz",   "sampler", "setbfree", "calf",   "surge"};

}  // namespace

std::string FindSoundfont() {
  if (const char* env = std::getenv("VORDEL_SOUNDFONT"); env != nullptr && *env != '\0') {
    return env;
  }
  for (const char* p :
       {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
        "/usr/share/sounds/sf3/MuseScore_General.sf3"}) {
    std::ifstream f(p);
    if (f.good()) {
      return p;
    }
  }
  return "";
}

MidiSystems ProbeMidiSystems() {
  MidiSystems s;
  s.jack = ListInputs(RtMidi::UNIX_JACK, &s.jack_inputs);
  s.alsa = ListInputs(RtMidi::LINUX_ALSA, &s.alsa_inputs);
  return s;
}

int ChooseInput(const std::vector<std::string>& inputs, const std::string& wanted) {
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string name = Lower(inputs[i]);
    if (name.find("vordel") != std::string::npos) {
      continue;  // never our own port
    }
    if (!wanted.empty()) {
      if (name.find(Lower(wanted)) != std::string::npos) {
        return static_cast<int>(i);
      }
      continue;
    }
    for (const char* w : kSynthWords) {
      if (name.find(w) != std::string::npos) {
        return static_cast<int>(i);
      }
    }
  }
  return -1;
}

std::unique_ptr<MidiOutput> OpenSynthOutput(const std::string& soundfont) {
  return std::make_unique<SynthOutput>(soundfont);
}

OpenedOutput OpenOutput(const OutputRequest& request) {
  OpenedOutput result;
  if (request.choice == OutputChoice::kSynth) {
    result.output = OpenSynthOutput();
    result.note = "MIDI output: " + result.output->Describe();
    return result;
  }
  const MidiSystems systems = ProbeMidiSystems();
  struct Candidate {
    RtMidi::Api api;
    const std::vector<std::string>* inputs;
  };
  std::vector<Candidate> candidates;
  if (systems.jack)
    candidates.push_back({RtMidi::UNIX_JACK, &systems.jack_inputs});
  if (systems.alsa)
    candidates.push_back({RtMidi::LINUX_ALSA, &systems.alsa_inputs});
  for (const Candidate& c : candidates) {
    const int index = ChooseInput(*c.inputs, request.port);
    if (index >= 0) {
      result.output = std::make_unique<RtMidiOutput>(c.api, index,
                                                     (*c.inputs)[static_cast<std::size_t>(index)]);
      result.note = "MIDI output: " + result.output->Describe();
      return result;
    }
  }
  if (request.choice == OutputChoice::kPort) {
    if (candidates.empty()) {
      result.error = "no MIDI port: neither a JACK server nor an ALSA sequencer is running";
      return result;
    }
    if (!request.port.empty()) {
      result.error = "no MIDI input whose name contains '" + request.port + "'";
      return result;
    }
    // A port nobody listens to yet: the user can connect it (aconnect, qjackctl).
    result.output = std::make_unique<RtMidiOutput>(candidates.front().api, -1, "");
    result.note = "MIDI output: " + result.output->Describe() + "; no synthesizer input found";
    return result;
  }
  // auto: no external synthesizer to play on, so the built-in one plays.
  if (!request.port.empty()) {
    result.error = "no MIDI input whose name contains '" + request.port + "'";
    return result;
  }
  result.output = OpenSynthOutput();
  result.note = "MIDI output: " + result.output->Describe();
  return result;
}

struct MidiInputHandle::Impl {
  std::unique_ptr<RtMidiIn> in;
  ErrorSink sink;
};

MidiInputHandle::MidiInputHandle() : impl_(std::make_unique<Impl>()), status_(kMidiErrorBadDevice) {
  KeepJackFromStartingAServer();
  for (RtMidi::Api api : {RtMidi::UNIX_JACK, RtMidi::LINUX_ALSA}) {
    if (api == RtMidi::LINUX_ALSA && !AlsaSequencerPresent()) {
      continue;
    }
    if (api == RtMidi::UNIX_JACK && !JackServerRunning()) {
      continue;
    }
    try {
      auto in = std::make_unique<RtMidiIn>(api, "vordel");
      in->setErrorCallback(&CollectError, &impl_->sink);
      impl_->sink.failed = false;
      if (in->getPortCount() > 0 && !impl_->sink.failed) {
        in->openPort(0, "vordel in");
        if (!impl_->sink.failed) {
          impl_->in = std::move(in);
          status_ = kMidiOk;
          return;
        }
      }
    } catch (const RtMidiError&) {
    }
  }
}

MidiInputHandle::~MidiInputHandle() {
  if (impl_->in) {
    try {
      impl_->in->closePort();
    } catch (const RtMidiError&) {
    }
  }
}

bool ParseOutputChoice(const std::string& text, OutputChoice* choice) {
  if (text == "auto") {
    *choice = OutputChoice::kAuto;
  } else if (text == "port") {
    *choice = OutputChoice::kPort;
  } else if (text == "synth") {
    *choice = OutputChoice::kSynth;
  } else {
    return false;
  }
  return true;
}

}  // namespace vordel
