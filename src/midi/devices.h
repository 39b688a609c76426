// Opening the default MIDI output and input: an external port (JACK or ALSA sequencer, through
// RtMidi) or the built-in synthesizer (FluidSynth with a General MIDI soundfont).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "midi/midi_output.h"

namespace vordel {

enum class OutputChoice { kAuto, kPort, kSynth };

struct OutputRequest {
  OutputChoice choice = OutputChoice::kAuto;
  std::string port;  // connect to the input whose name contains this, instead of a synthesizer
};

// What the MIDI systems of this machine offer right now.
struct MidiSystems {
  bool jack = false;
  bool alsa = false;
  std::vector<std::string> jack_inputs;  // MIDI input ports other programs offer
  std::vector<std::string> alsa_inputs;
};

MidiSystems ProbeMidiSystems();

// The index of the input to connect to: the one containing `wanted` when given, else the first
// that looks like a synthesizer; -1 when there is none.
int ChooseInput(const std::vector<std::string>& inputs, const std::string& wanted);

struct OpenedOutput {
  std::unique_ptr<MidiOutput> output;  // null when the request cannot be met
  std::string error;                   // why, when output is null
  std::string note;                    // a line for the user about what was chosen
};

OpenedOutput OpenOutput(const OutputRequest& request);

// The built-in synthesizer. With no audio device it still takes messages and reports a non-zero
// status. soundfont "" picks the system's General MIDI soundfont.
std::unique_ptr<MidiOutput> OpenSynthOutput(const std::string& soundfont = "");

// Path of the General MIDI soundfont the synthesizer uses ("" when none is installed).
std::string FindSoundfont();

// The MIDI input, opened only for its status and closed again at the end.
class MidiInputHandle {
 public:
  MidiInputHandle();
  ~MidiInputHandle();
  MidiInputHandle(const MidiInputHandle&) = delete;
  MidiInputHandle& operator=(const MidiInputHandle&) = delete;
  unsigned Status() const { return status_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  unsigned status_;
};

// Parses "auto", "port" or "synth".
bool ParseOutputChoice(const std::string& text, OutputChoice* choice);

}  // namespace vordel
