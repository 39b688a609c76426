// The command line of vordel: where the sound goes (shared with vordel-compose), the window-less
// mode and OSC. Main thread, at start-up.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "cli/options.h"
#include "control/programme.h"
#include "outputs/backends.h"
#include "outputs/midi_input.h"
#include "remote/jack_transport_source.h"
#include "remote/link_source.h"
#include "remote/osc_source.h"

namespace vordel {

struct AppOptions {
  OutputRequest output;
  bool headless = false;
  bool show = false;  // the window opens normal-sized rather than minimized
  OscSource::Options osc;
  // Playing all day, as given and as checked.
  bool endless = false;
  std::string playlist;
  bool shuffle = false;
  std::string gap = "3";  // seconds
  std::string fade = "0";
  std::string osc_port;  // as given ("" keeps the default)
  std::string hours;
  std::optional<std::string> journal;
  std::string files_dir;  // where the files other programs name live ("" for the default)
  std::string piece;      // a parameter string to play at once ("" for the start-up piece)
  bool list_outputs = false;
  bool list_inputs = false;
  bool midi_clock = false;       // MIDI clock on the output
  std::string sync;              // what to follow: "midi-clock" or "" (as given)
  bool sync_midi_clock = false;  // a MIDI clock at the input
  std::string jack_transport;    // "follow", "lead" or "" (as given)
  JackTransportMode jack_transport_mode = JackTransportMode::kOff;
  std::string link_tempo;  // "follow", "lead" or "" (as given)
  LinkSource::Options link;
  ProgrammeSettings programme;
  std::string state_file;  // the window writes what it shows there (for tests)
};

void AddAppOptions(CLI::App& app, AppOptions& options);
// What vordel's help says around its options.
HelpText AppHelp(const CLI::App& app);
// Checks what CLI11 cannot; false, and why in *error, when something is wrong.
bool CheckAppOptions(AppOptions& options, std::string* error);
// Whether the output that `backend` opened can carry what the options send on it (a MIDI clock
// needs a MIDI port), and whether the systems they play with are there (a JACK server for the
// JACK transport); false, and why in *error, when not.
bool CheckOpenedOutput(const AppOptions& options, const std::string& backend, std::string* error);
// Whether the MIDI input can give what the options follow (a MIDI clock); false, and why in
// *error, when not.
bool CheckOpenedInput(const AppOptions& options, const MidiInput* input, std::string* error);

}  // namespace vordel
