// Command line of vordel-compose.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vordel {

struct ComposeOptions {
  std::optional<std::uint32_t> clock;  // pinned clock value, modulo 2^32
  bool dump = false;
  bool help = false;
  bool version = false;
  bool play = false;
  std::string output = "auto";  // auto, port or synth
  std::string port;             // connect to the input whose name contains this
  std::string midi_file;        // write the piece as a Standard MIDI File
  std::string wav_file;         // render the piece to a WAV file
  // The rest planner has made its first call already (as after an earlier piece in the same
  // program), so its very first draw does not happen again.
  bool rest_planner_started = false;
  std::string parameter_string;
};

struct ComposeParse {
  std::optional<ComposeOptions> options;
  std::string error;  // set when options is empty
};

ComposeParse ParseComposeOptions(const std::vector<std::string>& args);

// A decimal integer (optionally negative) of any length, taken modulo 2^32.
std::optional<std::uint32_t> ParseClockValue(const std::string& text);

extern const char* const kComposeUsage;

}  // namespace vordel
