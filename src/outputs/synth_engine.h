// A FluidSynth synthesizer loaded with a General MIDI soundfont, with a sequencer on the
// synthesizer's own sample clock: a message scheduled for a sequencer time takes effect at the
// start of the synthesizer's audio block (64 frames) that reaches it, whoever renders the audio
// (an audio driver's thread, or an offline render). The one place where messages become
// synthesizer events. Owner's thread; not real-time safe (FluidSynth locks).
#pragma once

#include <fluidsynth.h>

#include <string>

#include "midi/message.h"

namespace vordel {

class SynthEngine {
 public:
  // Takes ownership of settings. error() tells why it cannot play (no soundfont ...).
  SynthEngine(fluid_settings_t* settings, const std::string& soundfont);
  ~SynthEngine();
  SynthEngine(const SynthEngine&) = delete;
  SynthEngine& operator=(const SynthEngine&) = delete;

  const std::string& error() const { return error_; }
  fluid_settings_t* settings() const { return settings_; }
  fluid_synth_t* synth() const { return synth_; }

  // The message at sequencer time at_ms (whole milliseconds of rendered audio).
  void Schedule(const MidiMessage& message, unsigned at_ms);
  // The message at once.
  void Apply(const MidiMessage& message);
  // The sequencer's time now.
  unsigned SequencerTime() const;

 private:
  // Fills the reusable event; false for messages the synthesizer has no use for.
  bool Prepare(const MidiMessage& message);

  fluid_settings_t* settings_;
  fluid_synth_t* synth_ = nullptr;
  fluid_sequencer_t* sequencer_ = nullptr;
  fluid_seq_id_t destination_ = -1;
  fluid_event_t* event_ = nullptr;
  std::string error_;
};

}  // namespace vordel
