#include "app/app_options.h"

#include <cmath>
#include <utility>

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
  app.add_flag("--endless", options.endless,
               "play on and on: when a piece ends, the next one follows after the gap (the same "
               "string at a new clock, or the playlist's next line); starts at once");
  app.add_option("--playlist", options.playlist,
                 "play the parameter strings of FILE, one per line, in order and from the top "
                 "again (# starts a comment; --clock MS 'STRING' pins a piece); plays endlessly")
      ->type_name("FILE");
  app.add_flag("--shuffle", options.shuffle,
               "play the playlist in a new order each round, never a string twice in a row");
  app.add_option("--gap", options.gap_s, "seconds of silence between pieces in endless play")
      ->type_name("SECONDS")
      ->default_val(3.0);
  app.add_option("--fade", options.fade_s,
                 "fade out over this many seconds on a stop, a next and the closing of the hours "
                 "(0: stop at once)")
      ->type_name("SECONDS")
      ->default_val(0.0);
  app.add_option("--hours", options.hours,
                 "play only inside these local times, e.g. 10:00-18:00 or 22:00-02:00,10:00-12:00")
      ->type_name("HH:MM-HH:MM,...");
  app.add_option("--journal", options.journal,
                 "append a line for every playback to FILE ('' for none; default: "
                 "$XDG_STATE_HOME/vordel/played.log)")
      ->type_name("FILE");
  app.add_option("--state-file", options.state_file)->group("");
  app.set_version_flag("--version", std::string("vordel ") + VORDEL_VERSION);
}

std::string CheckAppOptions(AppOptions& options) {
  ProgrammeSettings& p = options.programme;
  for (const auto& [name, seconds] : {std::pair<const char*, double>{"--gap", options.gap_s},
                                      std::pair<const char*, double>{"--fade", options.fade_s}}) {
    if (!(std::isfinite(seconds) && seconds >= 0 && seconds <= 3600)) {
      return std::string(name) + " takes seconds from 0 to 3600, not " + std::to_string(seconds);
    }
  }
  p.endless = options.endless;
  p.shuffle = options.shuffle;
  p.gap_ms = static_cast<std::int64_t>(std::llround(options.gap_s * 1000));
  p.fade_ms = static_cast<std::int64_t>(std::llround(options.fade_s * 1000));
  if (!options.hours.empty()) {
    std::string problem;
    const auto hours = OpeningHours::Parse(options.hours, &problem);
    if (!hours) {
      return problem;
    }
    p.hours = *hours;
  }
  if (!options.playlist.empty()) {
    std::string problem;
    p.playlist = LoadPlaylist(options.playlist, &problem);
    if (!p.playlist) {
      return problem;
    }
  }
  p.journal = options.journal.value_or(Journal::DefaultPath());
  if (!options.osc.allow.empty()) {
    std::string problem;
    if (!OscAllowList::Parse(options.osc.allow, &problem)) {
      return problem;
    }
  }
  return CheckOutputOptions(options.output);
}

}  // namespace vordel
