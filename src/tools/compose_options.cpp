#include "tools/compose_options.h"

#include "tools/command_line.h"

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
    std::string value;
    if (only_positional) {
      // everything is the parameter string
    } else if (a == "--") {
      only_positional = true;
      continue;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
      continue;
    } else if (a == "--version") {
      o.version = true;
      continue;
    } else if (a == "--dump") {
      o.dump = true;
      continue;
    } else if (a == "--play") {
      o.play = true;
      continue;
    } else if (a == "--rest-planner-started") {
      o.rest_planner_started = true;
      continue;
    } else if (a.rfind("--", 0) == 0) {
      const struct {
        const char* name;
        std::string* target;
      } valued[] = {{"--clock", nullptr},
                    {"--midi", &o.midi_file},
                    {"--wav", &o.wav_file},
                    {"--output", &o.output},
                    {"--port", &o.port}};
      bool known = false;
      for (const auto& option : valued) {
        const OptionMatch m = TakeOption(args, i, option.name, &value);
        if (m == OptionMatch::kNo) {
          continue;
        }
        known = true;
        if (m == OptionMatch::kMissingValue || value.empty()) {
          return {std::nullopt, std::string(option.name) + " needs a value"};
        }
        if (option.target != nullptr) {
          *option.target = value;
        } else {
          o.clock = ParseClockValue(value);
          if (!o.clock) {
            return {std::nullopt,
                    "--clock takes a whole number of milliseconds, not '" + value + "'"};
          }
        }
        break;
      }
      if (!known) {
        return {std::nullopt, "unknown option '" + a + "'"};
      }
      continue;
    }
    if (have_string) {
      return {std::nullopt, "give the parameter string as one argument (in quotes)"};
    }
    o.parameter_string = a;
    have_string = true;
  }
  if (o.output != "auto" && o.output != "port" && o.output != "synth") {
    return {std::nullopt, "--output takes auto, port or synth, not '" + o.output + "'"};
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
