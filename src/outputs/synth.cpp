// The built-in synthesizer: FluidSynth with a General MIDI soundfont, playing through an audio
// driver chosen as a desktop expects (PulseAudio, which PipeWire desktops serve, when a server
// answers; then JACK, connected to the system's playback ports; then ALSA), or the one asked
// for. Messages are scheduled on the synthesizer's own sample clock at their due time plus a
// constant latency, so notes land on the synthesizer's audio blocks and never on the moment the
// delivery thread wakes. Without an audio device it still takes messages and reports an error
// status; when its audio server goes away it says so and opens the driver again once the server
// is back.
#include <cmath>
#include <memory>
#include <mutex>

#include "outputs/backends.h"
#include "outputs/delivery_thread.h"
#include "outputs/jack_client.h"
#include "outputs/sequencer_clock.h"
#include "outputs/soundfont.h"
#include "outputs/synth_engine.h"
#include "platform/clock.h"

namespace vordel {
namespace {

// Longer than an audio period of a desktop driver plus a late tick.
constexpr std::int64_t kSynthLatencyNanos = 10 * kNanosPerMilli;
// The sequencer's clock advances with every audio block rendered: when it has stood still this
// long, the audio driver has lost its server (a restarted sound server, a JACK server that
// stopped) and its thread renders no more.
constexpr std::int64_t kStalledNanos = 1500 * kNanosPerMilli;
// A driver that has just opened may take a while before its first block reaches the clock.
constexpr std::int64_t kStartingNanos = 6000 * kNanosPerMilli;
// How often a lost audio driver is tried again.
constexpr std::int64_t kRetryNanos = 1000 * kNanosPerMilli;

class SynthOutput final : public DeliveryThreadOutput {
 public:
  explicit SynthOutput(const OutputRequest& request)
      : DeliveryThreadOutput(Timing::kWhenQueued, request.scheduled_synth ? kSynthLatencyNanos : 0,
                             request.scheduled_synth),
        scheduled_(request.scheduled_synth) {
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.gain", 0.6);
    const std::string jack_name = request.name + "-synth";
    fluid_settings_setstr(settings, "audio.jack.id", jack_name.c_str());
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    soundfont_ = ChooseSoundfont(request.soundfont);
    engine_ = std::make_unique<SynthEngine>(settings, soundfont_);
    std::string detail = engine_->error();
    if (engine_->synth() != nullptr) {
      const std::vector<std::string> drivers =
          request.audio_driver.empty() ? std::vector<std::string>{"pulseaudio", "jack", "alsa"}
                                       : std::vector<std::string>{request.audio_driver};
      for (const std::string& name : drivers) {
        driver_name_ = name;
        if (OpenDriver()) {
          break;
        }
      }
      if (driver_ == nullptr) {
        driver_name_.clear();
        if (detail.empty()) {
          detail = request.audio_driver.empty()
                       ? "no audio device"
                       : "the audio driver '" + request.audio_driver + "' does not work here";
        }
      }
    }
    SetDetail(detail);
    Start();
  }
  ~SynthOutput() override { Close(); }

  std::string Describe() const override {
    std::string d = "built-in synthesizer";
    if (!driver_name_.empty()) {
      d += " (" + driver_name_ + ")";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!detail_.empty()) {
      d += ": " + detail_;
    }
    return d;
  }

 protected:
  unsigned Deliver(const MidiMessage& m, std::int64_t due_ns) override {
    if (!scheduled_ || driver_ == nullptr) {
      // Without audio nothing advances the sequencer's clock: messages act at once, so the
      // synthesizer keeps its programs and nothing piles up until the audio is back.
      engine_->Apply(m);
      return Status();
    }
    clock_.Observe(MonotonicNanos(), engine_->SequencerTime());
    const double at = clock_.ToSequencer(due_ns + LatencyNanos());
    engine_->Schedule(m, at <= 0 ? 0u : static_cast<unsigned>(std::llround(at)));
    return Status();
  }
  void CheckDevice() override {
    const std::int64_t now = MonotonicNanos();
    if (driver_ != nullptr) {
      const unsigned tick = engine_->SequencerTime();
      if (scheduled_) {
        clock_.Observe(now, tick);
      }
      if (tick != last_tick_) {
        last_tick_ = tick;
        last_advance_ns_ = now;
        advanced_ = true;
      } else if (now - last_advance_ns_ > (advanced_ ? kStalledNanos : kStartingNanos)) {
        LoseDriver();
        next_retry_ns_ = now + kRetryNanos;
      }
    } else if (lost_ && now >= next_retry_ns_) {
      next_retry_ns_ = now + kRetryNanos;
      if (OpenDriver()) {
        lost_ = false;
        clock_ = SequencerClock{};
        SetDetail("");
      }
    }
  }
  std::int64_t CheckIntervalNanos() const override { return 20 * kNanosPerMilli; }
  void CloseDevice() override {
    if (driver_ != nullptr && driver_name_ == "jack" && !JackServerRunning()) {
      LoseDriver();  // closing a client of a server that is gone crashes or hangs
    }
    if (driver_ != nullptr) {
      delete_fluid_audio_driver(driver_);
      driver_ = nullptr;
    }
    if (abandoned_) {
      // A driver left behind may still point at the synthesizer: it stays, as the process ends.
      (void)engine_.release();
      return;
    }
    engine_.reset();
  }

 private:
  bool OpenDriver() {
    fluid_settings_setstr(engine_->settings(), "audio.driver", driver_name_.c_str());
    driver_ = new_fluid_audio_driver(engine_->settings(), engine_->synth());
    last_tick_ = engine_->SequencerTime();
    last_advance_ns_ = MonotonicNanos();
    advanced_ = false;
    return driver_ != nullptr;
  }

  // The driver's server went away: its thread has ended (or, for JACK, will never run again).
  void LoseDriver() {
    if (driver_name_ == "jack") {
      // The JACK library cannot close a client whose server died without crashing or hanging:
      // the driver is left as it is.
      abandoned_ = true;
    } else {
      delete_fluid_audio_driver(driver_);
    }
    driver_ = nullptr;
    lost_ = true;
    SetDetail("the audio server (" + driver_name_ + ") went away; trying again every second");
  }

  void SetDetail(const std::string& detail) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      detail_ = detail;
    }
    SetStatus(detail.empty() ? kMidiOk : kMidiErrorGeneric);
  }

  bool scheduled_;
  std::unique_ptr<SynthEngine> engine_;
  fluid_audio_driver_t* driver_ = nullptr;
  SequencerClock clock_;
  std::string soundfont_;
  std::string driver_name_;
  mutable std::mutex mutex_;  // detail_ (delivery thread writes, any thread reads)
  std::string detail_;
  // The watch over the audio (delivery thread).
  unsigned last_tick_ = 0;
  std::int64_t last_advance_ns_ = 0;
  bool advanced_ = false;
  bool lost_ = false;
  bool abandoned_ = false;
  std::int64_t next_retry_ns_ = 0;
};

}  // namespace

std::vector<std::string> SynthAudioDrivers() {
  std::vector<std::string> names;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_foreach_option(
      settings, "audio.driver", &names, [](void* data, const char* /*name*/, const char* option) {
        // "file" writes a sound file of its own name: --render does that properly.
        if (std::string(option) != "file") {
          static_cast<std::vector<std::string>*>(data)->emplace_back(option);
        }
      });
  delete_fluid_settings(settings);
  return names;
}

OutputProbe ProbeSynth() {
  OutputProbe probe;
  probe.present = true;
  return probe;
}

OpenResult OpenSynth(const OutputRequest& request, const std::string& /*input*/) {
  OpenResult r;
  r.output = std::make_unique<SynthOutput>(request);
  return r;
}

}  // namespace vordel
