// The built-in synthesizer: FluidSynth with a General MIDI soundfont, playing through an audio
// driver chosen as a desktop expects (PulseAudio, which PipeWire desktops serve, when a server
// answers; then JACK, connected to the system's playback ports; then ALSA), or the one asked
// for. Messages are scheduled on the synthesizer's own sample clock at their due time plus a
// constant latency, so notes land on the synthesizer's audio blocks and never on the moment the
// delivery thread wakes. Without an audio device it still takes messages and reports an error
// status.
#include <cmath>
#include <memory>

#include "outputs/backends.h"
#include "outputs/delivery_thread.h"
#include "outputs/sequencer_clock.h"
#include "outputs/soundfont.h"
#include "outputs/synth_engine.h"
#include "platform/clock.h"

namespace vordel {
namespace {

// Longer than an audio period of a desktop driver plus a late tick.
constexpr std::int64_t kSynthLatencyNanos = 10 * kNanosPerMilli;

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
    detail_ = engine_->error();
    if (engine_->synth() != nullptr) {
      const std::vector<std::string> drivers =
          request.audio_driver.empty() ? std::vector<std::string>{"pulseaudio", "jack", "alsa"}
                                       : std::vector<std::string>{request.audio_driver};
      for (const std::string& name : drivers) {
        fluid_settings_setstr(settings, "audio.driver", name.c_str());
        driver_ = new_fluid_audio_driver(settings, engine_->synth());
        if (driver_ != nullptr) {
          driver_name_ = name;
          break;
        }
      }
      if (driver_ == nullptr && detail_.empty()) {
        detail_ = request.audio_driver.empty()
                      ? "no audio device"
                      : "the audio driver '" + request.audio_driver + "' does not work here";
      }
    }
    SetStatus(detail_.empty() ? kMidiOk : kMidiErrorGeneric);
    Start();
  }
  ~SynthOutput() override { Close(); }

  std::string Describe() const override {
    std::string d = "built-in synthesizer";
    if (!driver_name_.empty()) {
      d += " (" + driver_name_ + ")";
    }
    if (!detail_.empty()) {
      d += ": " + detail_;
    }
    return d;
  }

 protected:
  unsigned Deliver(const MidiMessage& m, std::int64_t due_ns) override {
    if (!scheduled_ || driver_ == nullptr) {
      engine_->Apply(m);
      return Status();
    }
    clock_.Observe(MonotonicNanos(), engine_->SequencerTime());
    const double at = clock_.ToSequencer(due_ns + LatencyNanos());
    engine_->Schedule(m, at <= 0 ? 0u : static_cast<unsigned>(std::llround(at)));
    return kMidiOk;
  }
  // Readings of the sequencer's clock between messages keep the mapping fresh.
  void CheckDevice() override {
    if (scheduled_ && driver_ != nullptr) {
      clock_.Observe(MonotonicNanos(), engine_->SequencerTime());
    }
  }
  std::int64_t CheckIntervalNanos() const override { return 20 * kNanosPerMilli; }
  void CloseDevice() override {
    if (driver_ != nullptr) {
      delete_fluid_audio_driver(driver_);
      driver_ = nullptr;
    }
    engine_.reset();
  }

 private:
  bool scheduled_;
  std::unique_ptr<SynthEngine> engine_;
  fluid_audio_driver_t* driver_ = nullptr;
  SequencerClock clock_;
  std::string soundfont_;
  std::string driver_name_;
  std::string detail_;
};

}  // namespace

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
