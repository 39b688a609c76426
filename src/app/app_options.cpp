#include "app/app_options.h"

#include <cmath>
#include <tuple>
#include <utility>

#include "cli/options.h"
#include "cli/values.h"
#include "outputs/jack_client.h"
#include "vordel_version.h"

namespace vordel {

void AddAppOptions(CLI::App& app, AppOptions& options) {
  app.description(
      "Composes a piece of serial music from a parameter string and plays it live on MIDI. It "
      "starts with its start-up piece and waits, minimized; other programs drive it through the "
      "clipboard (\"0\" stops, \"1\" plays, \"q\" quits, any longer text is a new parameter "
      "string, composed and played at once), through OSC and through MIDI input. A left click "
      "plays, moving the mouse up and down sets the volume. A parameter string has five numbers "
      "for each section: function (0-4), register (1-100), velocity base (1-47), tempo (1-100, "
      "fast to slow) and length (0 and up); vordel-compose --explain says what they do.");
  const char* const kPlaying = "Playing";
  const char* const kRemote = "Remote control";
  const char* const kTogether = "Playing with others";
  app.add_flag("-H,--headless", options.headless,
               "run without a window: controlled by OSC, MIDI input and lines on standard input "
               "(0, 1, q or a parameter string)")
      ->group(kPlaying);
  app.add_flag("--show", options.show,
               "open the window at its normal size, to work in (by default it starts minimized, "
               "for the programs that drive it)")
      ->group(kPlaying);
  app.add_flag("-e,--endless", options.endless,
               "play on and on: when a piece ends, the next one follows after the gap (the same "
               "string at a new clock, or the playlist's next line); starts at once")
      ->group(kPlaying);
  app.add_option("-l,--playlist", options.playlist,
                 "play the parameter strings of FILE, one per line, in order and from the top "
                 "again (# starts a comment; --clock MS 'STRING' pins a piece); plays endlessly")
      ->type_name("FILE")
      ->group(kPlaying);
  app.add_flag("--shuffle", options.shuffle,
               "play the playlist in a new order each round, never a string twice in a row")
      ->group(kPlaying);
  app.add_option("--gap", options.gap,
                 "seconds of silence between pieces in endless play (default: 3)")
      ->type_name("SECONDS")
      ->group(kPlaying);
  app.add_option("--fade", options.fade,
                 "fade out over this many seconds on a stop, a next and the closing of the hours "
                 "(default: 0, stop at once)")
      ->type_name("SECONDS")
      ->group(kPlaying);
  app.add_option("--hours", options.hours,
                 "play only inside these local times, e.g. 10:00-18:00 or 22:00-02:00,10:00-12:00")
      ->type_name("HH:MM-HH:MM,...")
      ->group(kPlaying);
  app.add_option("--journal", options.journal,
                 "append a line for every playback to FILE ('' for none; default: "
                 "$XDG_STATE_HOME/vordel/played.log)")
      ->type_name("FILE")
      ->group(kPlaying);
  app.add_flag("--midi-clock", options.midi_clock,
               "send MIDI clock on the output: Song Position and Start where a piece begins, 24 "
               "clocks a beat at the tempo in force, Stop where it ends or is stopped")
      ->group(kTogether);
  app.add_option("--sync", options.sync,
                 "midi-clock: follow the MIDI clock at the MIDI input, its Start, Continue and "
                 "Stop and its tempo (each piece scaled to it, keeping its shape)")
      ->type_name("midi-clock")
      ->group(kTogether);
  app.add_option("--jack-transport", options.jack_transport,
                 "follow: the JACK transport's start plays and its stop stops; lead: vordel's "
                 "playbacks start and stop the transport, and vordel publishes bar, beat, tick "
                 "and tempo as its timebase while it plays")
      ->type_name("follow|lead")
      ->group(kTogether);
  app.add_flag("--link", options.link.join,
               "join the Ableton Link session on the local network (or later: /vordel/link 1): "
               "each piece begins on the session's next bar, at its tempo")
      ->group(kTogether);
  app.add_option("--quantum", options.link.quantum,
                 "the beats of a Link bar, on whose first beat a piece begins (default 4)")
      ->type_name("N")
      ->check(CLI::Range(1, 16))
      ->group(kTogether);
  app.add_option("--link-tempo", options.link_tempo,
                 "follow (the default): each piece plays at the session's tempo, scaled keeping "
                 "its shape; lead: the session takes the tempo of each part of the piece")
      ->type_name("follow|lead")
      ->group(kTogether);
  AddOutputOptions(app, options.output);
  app.add_flag("--list-outputs", options.list_outputs,
               "list the outputs found here (as the Devices menu does) and the one --output auto "
               "takes, then exit")
      ->group(kOutputGroup);
  app.add_flag("--list-inputs", options.list_inputs,
               "list the MIDI sources that can feed vordel's MIDI input, then exit")
      ->group(kOutputGroup);
  app.add_option("--osc-port", options.osc_port,
                 "UDP port for OSC (the next free one when taken; 0 turns OSC off; default: " +
                     std::to_string(kDefaultOscPort) + ")")
      ->type_name("N")
      ->group(kRemote);
  app.add_option("--osc-listen", options.osc.listen,
                 "address OSC listens on (0.0.0.0 for every network; default: 127.0.0.1)")
      ->type_name("ADDRESS")
      ->group(kRemote);
  app.add_option("--osc-allow", options.osc.allow,
                 "the senders OSC hears, as addresses with an optional prefix length, separated "
                 "by commas (default: this machine only)")
      ->type_name("ADDR[/BITS],...")
      ->group(kRemote);
  app.add_option("--files-dir", options.files_dir,
                 "the folder of the scores and playlists that OSC names: a name sent over OSC is a "
                 "file inside it, never a path elsewhere (default: $XDG_DATA_HOME/vordel)")
      ->type_name("FOLDER")
      ->group(kRemote);
  app.add_option("--state-file", options.state_file)->group("");
  app.add_option("string", options.piece,
                 "a parameter string (in quotes) to play at once instead of waiting with the "
                 "start-up piece");
  app.set_help_flag("-h,--help", "show this help and exit")->group("Help");
  app.set_version_flag("-V,--version", std::string("vordel ") + VORDEL_VERSION,
                       "show the version and exit")
      ->group("Help");
}

HelpText AppHelp(const CLI::App& app) {
  HelpText help;
  help.usage = "vordel [OPTION]... [\"PARAMETER STRING\"]";
  help.summary = app.get_description();
  help.groups = {"Playing", "Playing with others", kOutputGroup, "Remote control", "Help"};
  help.examples = {
      "vordel                                  # the window; copy a parameter string to play it",
      "vordel --headless '0 60 40 10 15'       # no window, this string at once",
      "vordel --headless --output synth        # no window, the built-in synthesizer",
      "vordel --endless --playlist pieces.txt --hours 10:00-18:00   # an installation",
      "oscsend localhost 7770 /vordel/piece s '0 80 40 30 25 1 50 30 23 20'"};
  help.numbers_hint = "a parameter string is one argument: put it in quotes, as in vordel";
  return help;
}

bool CheckOpenedOutput(const AppOptions& options, const std::string& backend, std::string* error) {
  if (options.midi_clock && backend == "synth") {
    *error =
        "--midi-clock sends on a MIDI port, and the output is the built-in synthesizer; try "
        "--output jack or --output alsa";
    return false;
  }
  if (options.jack_transport_mode != JackTransportMode::kOff && !JackServerRunning()) {
    *error = "--jack-transport " + options.jack_transport +
             " needs a running JACK server, and none answers here (start one, e.g. with "
             "qjackctl or jackd)";
    return false;
  }
  return true;
}

bool CheckOpenedInput(const AppOptions& options, const MidiInput* input, std::string* error) {
  if (options.sync_midi_clock && (input == nullptr || input->Status() != 0)) {
    *error = "--sync midi-clock follows the MIDI input, and it could not open here (" +
             (input != nullptr ? input->Describe() : std::string("no MIDI system")) + ")";
    return false;
  }
  return true;
}

bool CheckAppOptions(AppOptions& options, std::string* error) {
  ProgrammeSettings& p = options.programme;
  for (const auto& [name, text, ms] :
       {std::tuple<const char*, const std::string&, std::int64_t&>{"--gap", options.gap, p.gap_ms},
        std::tuple<const char*, const std::string&, std::int64_t&>{"--fade", options.fade,
                                                                   p.fade_ms}}) {
    const std::optional<double> seconds = ParseDecimal(text, 0, 3600);
    if (!seconds) {
      *error = std::string(name) + " takes seconds from 0 to 3600, not '" + text + "'";
      return false;
    }
    ms = static_cast<std::int64_t>(std::llround(*seconds * 1000));
  }
  if (!options.sync.empty()) {
    if (options.sync != "midi-clock") {
      *error = "--sync takes midi-clock, not '" + options.sync + "'";
      return false;
    }
    options.sync_midi_clock = true;
  }
  if (!options.jack_transport.empty()) {
    const auto mode = ParseJackTransportMode(options.jack_transport);
    if (!mode) {
      *error = "--jack-transport takes follow or lead, not '" + options.jack_transport + "'";
      return false;
    }
    options.jack_transport_mode = *mode;
  }
  if (!options.link_tempo.empty()) {
    const auto tempo = ParseLinkTempo(options.link_tempo);
    if (!tempo) {
      *error = "--link-tempo takes follow or lead, not '" + options.link_tempo + "'";
      return false;
    }
    options.link.tempo = *tempo;
  }
  if (options.midi_clock && options.output.choice == "synth") {
    return CheckOpenedOutput(options, "synth", error);
  }
  p.endless = options.endless;
  p.shuffle = options.shuffle;
  if (!options.hours.empty()) {
    std::string problem;
    const auto hours = ParseOpeningHours(options.hours, &problem);
    if (!hours) {
      *error = problem;
      return false;
    }
    p.hours = *hours;
  }
  if (!options.playlist.empty()) {
    std::string problem;
    p.playlist = LoadPlaylist(options.playlist, &problem);
    if (!p.playlist) {
      *error = problem;
      return false;
    }
  }
  p.journal = options.journal.value_or(Journal::DefaultPath());
  if (!options.osc_port.empty()) {
    const std::optional<std::int64_t> port = ParseWholeNumber(options.osc_port, 0, 65535);
    if (!port) {
      *error = "--osc-port takes a port from 0 to 65535, not '" + options.osc_port + "'";
      return false;
    }
    options.osc.port = static_cast<int>(*port);
  }
  if (!options.osc.allow.empty()) {
    std::string problem;
    if (!OscAllowList::Parse(options.osc.allow, &problem)) {
      *error = problem;
      return false;
    }
  }
  return CheckOutputOptions(options.output, error);
}

}  // namespace vordel
