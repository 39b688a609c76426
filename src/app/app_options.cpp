#include "app/app_options.h"

#include "cli/options.h"
#include "vordel_version.h"

namespace vordel {

void AddAppOptions(CLI::App& app, AppOptions& options) {
  app.description(
      "Composes the start-up piece and waits, minimized. Other programs drive it through the "
      "clipboard (\"0\" stops, \"1\" plays, \"q\" quits, any longer text is a new parameter string "
      "of five numbers per section, composed and played at once), through OSC and through MIDI "
      "input. A left click plays, moving the mouse up and down sets the volume.");
  AddOutputOptions(app, options.output);
  app.add_flag("--headless", options.headless,
               "run without a window: controlled by OSC, MIDI input and lines on standard input "
               "(0, 1, q or a parameter string)");
  app.add_option("--osc-port", options.osc.port,
                 "UDP port for OSC (the next free one when taken; 0 turns OSC off)")
      ->type_name("N")
      ->default_val(kDefaultOscPort)
      ->check(CLI::Range(0, 65535));
  app.add_option("--osc-listen", options.osc.listen,
                 "address OSC listens on (0.0.0.0 for every network)")
      ->type_name("ADDRESS")
      ->default_val("127.0.0.1");
  app.add_option("--osc-allow", options.osc.allow,
                 "the senders OSC hears, as addresses with an optional prefix length, separated "
                 "by commas (default: this machine only)")
      ->type_name("ADDR[/BITS],...");
  app.add_option("--state-file", options.state_file)->group("");
  app.set_version_flag("--version", std::string("vordel ") + VORDEL_VERSION);
}

std::string CheckAppOptions(AppOptions& options) {
  if (!options.osc.allow.empty()) {
    std::string problem;
    if (!OscAllowList::Parse(options.osc.allow, &problem)) {
      return problem;
    }
  }
  return CheckOutputOptions(options.output);
}

}  // namespace vordel
