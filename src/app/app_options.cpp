#include "app/app_options.h"

#include "tools/command_line.h"

namespace vordel {

const char* const kAppUsage =
    "usage: vordel [--output auto|port|synth] [--port NAME]\n"
    "\n"
    "Composes the start-up piece and waits, minimized. Another program drives it through the\n"
    "clipboard: \"0\" stops, \"1\" plays, \"q\" quits, and any longer text is a new parameter\n"
    "string (five numbers per section) that is composed and played at once. A left click plays,\n"
    "moving the mouse up and down sets the volume.\n"
    "\n"
    "  --output O   auto (an external synthesizer when JACK or ALSA offers one, else the\n"
    "               built-in synthesizer), port (an external port only) or synth\n"
    "  --port NAME  connect to the MIDI input whose name contains NAME\n"
    "  --help       show this help\n"
    "  --version    show the version\n";

AppParse ParseAppOptions(const std::vector<std::string>& args) {
  AppOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    OptionMatch m = OptionMatch::kNo;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if ((m = TakeOption(args, i, "--output", &value)) != OptionMatch::kNo) {
      if (m == OptionMatch::kMissingValue || !ParseOutputChoice(value, &o.output.choice)) {
        return {std::nullopt, "--output takes auto, port or synth, not '" + value + "'"};
      }
    } else if ((m = TakeOption(args, i, "--port", &value)) != OptionMatch::kNo) {
      if (m == OptionMatch::kMissingValue || value.empty()) {
        return {std::nullopt, "--port needs a name"};
      }
      o.output.port = value;
    } else {
      return {std::nullopt, "unknown argument '" + a + "'"};
    }
  }
  return {o, {}};
}

}  // namespace vordel
