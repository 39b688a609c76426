// The output backends, one file each, as rows of the output table (table.cpp). Control thread;
// opening is not real-time safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "midi/output.h"

namespace vordel {

// What the caller asks for.
struct OutputRequest {
  std::string choice = "auto";  // a row's name, "auto" or "port"
  std::string port;             // connect to the input whose name contains this
  std::string name = "vordel";  // client and port name (vordel-2 for a second instance ...)
  std::string soundfont;        // built-in synthesizer: "" for the one found
  std::string audio_driver;     // built-in synthesizer: "" to choose
  std::string record_file;      // recording: where to write the messages ("" keeps them)
  bool scheduled_synth = true;  // built-in synthesizer: by its sample clock (false: at once)
};

// What a backend's system offers right now.
struct OutputProbe {
  bool present = false;             // the system is there (a JACK server answers ...)
  std::vector<std::string> inputs;  // MIDI inputs of other programs, by name
};

// A backend's open result: the output, or why not.
struct OpenResult {
  std::unique_ptr<MidiOutput> output;
  std::string error;
  // The request itself cannot be met (a file that cannot be written): a usage error.
  bool bad_request = false;
};

OutputProbe ProbeJack();
OpenResult OpenJack(const OutputRequest& request, const std::string& input);
OutputProbe ProbeAlsa();
OpenResult OpenAlsa(const OutputRequest& request, const std::string& input);
OutputProbe ProbeRtMidiJack();
OpenResult OpenRtMidiJack(const OutputRequest& request, const std::string& input);
OutputProbe ProbeSynth();
// The audio drivers the built-in synthesizer was built with ("alsa", "jack", "pulseaudio" ...).
std::vector<std::string> SynthAudioDrivers();
OpenResult OpenSynth(const OutputRequest& request, const std::string& input);
OutputProbe ProbeRecording();
OpenResult OpenRecording(const OutputRequest& request, const std::string& input);

}  // namespace vordel
