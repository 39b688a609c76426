#include "outputs/synth_engine.h"

#include "outputs/soundfont.h"
#include "outputs/system_logs.h"

namespace vordel {

SynthEngine::SynthEngine(fluid_settings_t* settings, const std::string& soundfont)
    : settings_(settings) {
  QuietSystemLibraries();
  CheckSoundfont(soundfont, &error_);
  synth_ = new_fluid_synth(settings_);
  if (synth_ == nullptr) {
    error_ = "the synthesizer could not be created";
    return;
  }
  if (error_.empty() && fluid_synth_sfload(synth_, soundfont.c_str(), 1) == FLUID_FAILED) {
    error_ = "the synthesizer could not load " + soundfont;
  }
  sequencer_ = new_fluid_sequencer2(0);
  destination_ = fluid_sequencer_register_fluidsynth(sequencer_, synth_);
  event_ = new_fluid_event();
  fluid_event_set_source(event_, -1);
  fluid_event_set_dest(event_, destination_);
}

SynthEngine::~SynthEngine() {
  if (event_ != nullptr) {
    delete_fluid_event(event_);
  }
  if (sequencer_ != nullptr) {
    delete_fluid_sequencer(sequencer_);
  }
  if (synth_ != nullptr) {
    delete_fluid_synth(synth_);
  }
  delete_fluid_settings(settings_);
}

bool SynthEngine::Prepare(const MidiMessage& m) {
  const int ch = m.bytes[0] & 0x0F;
  switch (m.bytes[0] & 0xF0) {
    case 0x90:
      if (m.bytes[2] != 0) {
        fluid_event_noteon(event_, ch, static_cast<short>(m.bytes[1]),
                           static_cast<short>(m.bytes[2]));
      } else {
        fluid_event_noteoff(event_, ch, static_cast<short>(m.bytes[1]));
      }
      return true;
    case 0x80:
      fluid_event_noteoff(event_, ch, static_cast<short>(m.bytes[1]));
      return true;
    case 0xB0:
      fluid_event_control_change(event_, ch, static_cast<short>(m.bytes[1]), m.bytes[2]);
      return true;
    case 0xC0:
      fluid_event_program_change(event_, ch, m.bytes[1]);
      return true;
    default:
      return false;
  }
}

void SynthEngine::Schedule(const MidiMessage& message, unsigned at_ms) {
  if (sequencer_ != nullptr && Prepare(message)) {
    fluid_sequencer_send_at(sequencer_, event_, at_ms, 1);
  }
}

void SynthEngine::Apply(const MidiMessage& message) {
  if (sequencer_ != nullptr && Prepare(message)) {
    fluid_sequencer_send_now(sequencer_, event_);
  }
}

unsigned SynthEngine::SequencerTime() const {
  return sequencer_ != nullptr ? fluid_sequencer_get_tick(sequencer_) : 0;
}

}  // namespace vordel
