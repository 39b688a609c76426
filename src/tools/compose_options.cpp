#include "tools/compose_options.h"

namespace vordel {

const char* const kComposeUsage =
    "usage: vordel-compose [--clock MS] [--rest-planner-started] [--dump] [--midi FILE]\n"
    "                      [--wav FILE] \"PARAMETER STRING\"\n"
    "       vordel-compose --play [--output auto|port|synth] [--port NAME] \"PARAMETER STRING\"\n"
    "\n"
    "Builds the piece of a parameter string (five numbers per section: function, register,\n"
    "velocity base, tempo, length) and prints a summary of it.\n"
    "\n"
    "  --clock MS   pin the composer's millisecond clock to MS, so the same string and MS\n"
    "               always give the same piece\n"
    "  --dump       print every section's onset and end and all its events, then the total\n"
    "  --rest-planner-started\n"
    "               build as the program does after an earlier piece has used the rest\n"
    "               planner (the program prints this option when it applies)\n"
    "  --midi FILE  write the piece as a Standard MIDI File\n"
    "  --wav FILE   render the piece with the built-in synthesizer to a WAV file\n"
    "  --play       play the piece in real time (Ctrl-C stops it)\n"
    "  --output O   auto (an external synthesizer when JACK or ALSA offers one, else the\n"
    "               built-in synthesizer), port (an external port only) or synth\n"
    "  --port NAME  connect to the MIDI input whose name contains NAME\n"
    "  --help       show this help\n"
    "  --version    show the version\n";

std::optional<std::uint32_t> ParseClockValue(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

ComposeParse ParseComposeOptions(const std::vector<std::string>& args) {
  ComposeOptions o;
  bool have_string = false;
  bool only_positional = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!only_positional && a == "--") {
      only_positional = true;
    } else if (!only_positional && (a == "--help" || a == "-h")) {
      o.help = true;
    } else if (!only_positional && a == "--version") {
      o.version = true;
    } else if (!only_positional && a == "--dump") {
      o.dump = true;
    } else if (!only_positional && a == "--play") {
      o.play = true;
    } else if (!only_positional && a == "--rest-planner-started") {
      o.rest_planner_started = true;
    } else if (!only_positional && (a == "--midi" || a == "--wav" || a.rfind("--midi=", 0) == 0 ||
                                    a.rfind("--wav=", 0) == 0)) {
      const bool midi = a.rfind("--midi", 0) == 0;
      const std::size_t eq = a.find('=');
      std::string value;
      if (eq == std::string::npos) {
        if (i + 1 >= args.size()) {
          return {std::nullopt, a + " needs a file name"};
        }
        value = args[++i];
      } else {
        value = a.substr(eq + 1);
      }
      if (value.empty()) {
        return {std::nullopt,
                (midi ? std::string("--midi") : std::string("--wav")) + " needs a file name"};
      }
      (midi ? o.midi_file : o.wav_file) = value;
    } else if (!only_positional && (a == "--output" || a == "--port" ||
                                    a.rfind("--output=", 0) == 0 || a.rfind("--port=", 0) == 0)) {
      const bool is_output = a.rfind("--output", 0) == 0;
      const std::size_t eq = a.find('=');
      std::string value;
      if (eq == std::string::npos) {
        if (i + 1 >= args.size()) {
          return {std::nullopt, a + " needs a value"};
        }
        value = args[++i];
      } else {
        value = a.substr(eq + 1);
      }
      if (is_output) {
        if (value != "auto" && value != "port" && value != "synth") {
          return {std::nullopt, "--output takes auto, port or synth, not '" + value + "'"};
        }
        o.output = value;
      } else {
        if (value.empty()) {
          return {std::nullopt, "--port needs a name"};
        }
        o.port = value;
      }
    } else if (!only_positional && (a == "--clock" || a.rfind("--clock=", 0) == 0)) {
      std::string value;
      if (a == "--clock") {
        if (i + 1 >= args.size()) {
          return {std::nullopt, "--clock needs a value in milliseconds"};
        }
        value = args[++i];
      } else {
        value = a.substr(8);
      }
      o.clock = ParseClockValue(value);
      if (!o.clock) {
        return {std::nullopt, "--clock takes a whole number of milliseconds, not '" + value + "'"};
      }
    } else if (!only_positional && a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return {std::nullopt, "unknown option '" + a + "'"};
    } else {
      if (have_string) {
        return {std::nullopt, "give the parameter string as one argument (in quotes)"};
      }
      o.parameter_string = a;
      have_string = true;
    }
  }
  if (!have_string && !o.help && !o.version) {
    return {std::nullopt, "missing the parameter string"};
  }
  if (o.play && (o.dump || !o.midi_file.empty() || !o.wav_file.empty())) {
    return {std::nullopt, "--play goes alone, without --dump, --midi or --wav"};
  }
  if (!o.play && (o.output != "auto" || !o.port.empty())) {
    return {std::nullopt, "--output and --port go with --play"};
  }
  return {o, {}};
}

}  // namespace vordel
