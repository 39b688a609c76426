#include "app/app_options.h"

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
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--output" || a == "--port" || a.rfind("--output=", 0) == 0 ||
               a.rfind("--port=", 0) == 0) {
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
        if (!ParseOutputChoice(value, &o.output.choice)) {
          return {std::nullopt, "--output takes auto, port or synth, not '" + value + "'"};
        }
      } else if (value.empty()) {
        return {std::nullopt, "--port needs a name"};
      } else {
        o.output.port = value;
      }
    } else {
      return {std::nullopt, "unknown argument '" + a + "'"};
    }
  }
  return {o, {}};
}

}  // namespace vordel
