#include "cli/options.h"

#include <iostream>

#include "outputs/soundfont.h"
#include "outputs/table.h"

namespace vordel {

void AddOutputOptions(CLI::App& app, OutputRequest& request) {
  std::string names;
  for (const std::string& n : OutputChoiceNames()) {
    names += (names.empty() ? "" : "|") + n;
  }
  app.add_option("--output", request.choice,
                 "where the sound goes: auto (an external synthesizer when JACK or ALSA offers "
                 "one, else the built-in synthesizer), port (an external port only), jack, alsa, "
                 "synth, port-rtmidi (JACK through RtMidi) or recording")
      ->type_name(names)
      ->default_str("auto");
  app.add_option("--port", request.port, "connect to the MIDI input whose name contains NAME")
      ->type_name("NAME");
  app.add_option("--record", request.record_file,
                 "write every message with its time to FILE instead of playing it (--output "
                 "recording)")
      ->type_name("FILE");
  const std::string found = FindSoundfont();
  app.add_option("--soundfont", request.soundfont,
                 "soundfont of the built-in synthesizer (default: " +
                     (found.empty() ? std::string("none found") : found) + ")")
      ->type_name("FILE");
  app.add_option("--audio-driver", request.audio_driver,
                 "audio driver of the built-in synthesizer (default: pulseaudio when a server "
                 "answers, else jack, else alsa)")
      ->type_name("NAME");
}

std::string CheckOutputOptions(OutputRequest& request) {
  bool known = false;
  std::string list;
  const std::vector<std::string> names = OutputChoiceNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    known = known || names[i] == request.choice;
    list += (i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ")) + names[i];
  }
  if (!known) {
    return "--output takes " + list + ", not '" + request.choice + "'";
  }
  if (!request.record_file.empty()) {
    if (request.choice == "auto") {
      request.choice = "recording";
    } else if (request.choice != "recording") {
      return "--record goes with --output recording";
    }
  }
  if (!request.soundfont.empty()) {
    if (const std::string problem = CheckSoundfont(request.soundfont); !problem.empty()) {
      return "--soundfont: " + problem;
    }
  }
  return "";
}

int ParseCommandLine(CLI::App& app, const std::vector<std::string>& args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << std::endl;
    return 0;
  } catch (const CLI::ParseError& e) {
    return UsageError(app.get_name(), e.what());
  }
  return -1;
}

int UsageError(const std::string& program, const std::string& message) {
  std::cerr << program << ": " << message << "\nTry '" << program
            << " --help' for more information." << std::endl;
  return 2;
}

}  // namespace vordel
