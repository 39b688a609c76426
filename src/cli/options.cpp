#include "cli/options.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "outputs/backends.h"
#include "outputs/soundfont.h"
#include "outputs/table.h"
#include "vordel_version.h"

namespace vordel {

void AddOutputOptions(CLI::App& app, OutputRequest& request) {
  std::string names;
  for (const std::string& n : OutputChoiceNames()) {
    names += (names.empty() ? "" : "|") + n;
  }
  app.add_option("-o,--output", request.choice,
                 "where the sound goes: auto (an external synthesizer when JACK or ALSA offers "
                 "one, else the built-in synthesizer), port (an external port only), jack, alsa, "
                 "synth, port-rtmidi (JACK through RtMidi) or recording")
      ->type_name("NAME")
      ->default_str("auto")
      ->group(kOutputGroup);
  app.add_option("-p,--port", request.port, "connect to the MIDI input whose name contains NAME")
      ->type_name("NAME")
      ->group(kOutputGroup);
  app.add_option("--record", request.record_file,
                 "write every message with its time to FILE instead of playing it (--output "
                 "recording)")
      ->type_name("FILE")
      ->group(kOutputGroup);
  const std::string found = FindSoundfont();
  app.add_option("--soundfont", request.soundfont,
                 "soundfont of the built-in synthesizer (default: " +
                     (found.empty() ? std::string("none found") : found) + ")")
      ->type_name("FILE")
      ->group(kOutputGroup);
  app.add_option("--audio-driver", request.audio_driver,
                 "audio driver of the built-in synthesizer (default: pulseaudio when a server "
                 "answers, else jack, else alsa)")
      ->type_name("NAME")
      ->group(kOutputGroup);
}

bool CheckOutputOptions(OutputRequest& request, std::string* error) {
  bool known = false;
  std::string list;
  const std::vector<std::string> names = OutputChoiceNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    known = known || names[i] == request.choice;
    list += (i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ")) + names[i];
  }
  if (!known) {
    *error = "--output takes " + list + ", not '" + request.choice + "'";
    return false;
  }
  if (!request.record_file.empty()) {
    if (request.choice == "auto") {
      request.choice = "recording";
    } else if (request.choice != "recording") {
      *error = "--record goes with --output recording";
      return false;
    }
  } else if (request.choice == "recording") {
    *error = "--output recording writes to the file --record FILE names";
    return false;
  }
  if (!request.audio_driver.empty()) {
    const std::vector<std::string> drivers = SynthAudioDrivers();
    if (std::find(drivers.begin(), drivers.end(), request.audio_driver) == drivers.end()) {
      std::string list;
      for (const std::string& d : drivers) {
        list += (list.empty() ? "" : ", ") + d;
      }
      *error = "--audio-driver takes one of " + list + ", not '" + request.audio_driver + "'";
      return false;
    }
  }
  if (!request.soundfont.empty()) {
    if (std::string problem; !CheckSoundfont(request.soundfont, &problem)) {
      *error = "--soundfont: " + problem;
      return false;
    }
  }
  return true;
}

namespace {

// `text` cut into lines of at most `width` columns at spaces, each line after the first
// indented by `indent` spaces (the first one starts where the caller is).
std::string Wrap(const std::string& text, std::size_t first_room, std::size_t indent,
                 std::size_t width) {
  std::istringstream words(text);
  std::string word;
  std::string out;
  std::size_t room = first_room;
  std::size_t used = 0;
  while (words >> word) {
    if (used > 0 && used + 1 + word.size() > room) {
      out += "\n" + std::string(indent, ' ');
      room = width > indent ? width - indent : 20;
      used = 0;
    }
    if (used > 0) {
      out += ' ';
      ++used;
    }
    out += word;
    used += word.size();
  }
  return out;
}

bool IsNumber(const std::string& s) {
  const std::size_t start = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  return s.size() > start && s.find_first_not_of("0123456789", start) == std::string::npos;
}

}  // namespace

std::string FormatHelp(const CLI::App& app, const HelpText& text, int width) {
  const auto w = static_cast<std::size_t>(std::max(width, 40));
  constexpr std::size_t kColumn = 30;  // where descriptions start
  std::string out = "Usage: " + text.usage + "\n" + Wrap(text.summary, w, 0, w) + "\n";
  std::vector<std::string> groups = text.groups;
  for (const CLI::Option* o : app.get_options()) {
    const std::string& g = o->get_group();
    if (!g.empty() && o->nonpositional() &&
        std::find(groups.begin(), groups.end(), g) == groups.end()) {
      groups.push_back(g);
    }
  }
  for (const std::string& group : groups) {
    std::string lines;
    for (const CLI::Option* o : app.get_options()) {
      if (o->get_group() != group || !o->nonpositional()) {
        continue;
      }
      std::string names = "  ";
      const std::vector<std::string>& shorts = o->get_snames();
      names += shorts.empty() ? "    " : "-" + shorts.front() + ", ";
      std::string longs;
      for (const std::string& l : o->get_lnames()) {
        longs += (longs.empty() ? "--" : ", --") + l;
      }
      names += longs;
      if (const std::string value = o->get_type_name(); o->get_type_size() != 0 && !value.empty()) {
        names += "=" + value;
      }
      std::string description = o->get_description();
      const std::string fallback = o->get_default_str();
      if (!fallback.empty() && description.find("default") == std::string::npos) {
        description += " (default: " + fallback + ")";
      }
      if (names.size() + 2 > kColumn) {
        lines += names + "\n" + std::string(kColumn, ' ');
      } else {
        lines += names + std::string(kColumn - names.size(), ' ');
      }
      lines += Wrap(description, w - kColumn, kColumn, w) + "\n";
    }
    if (!lines.empty()) {
      out.append("\n").append(group).append(":\n").append(lines);
    }
  }
  if (!text.examples.empty()) {
    out += "\nExamples:\n";
    for (const std::string& e : text.examples) {
      out += "  " + e + "\n";
    }
  }
  if (const std::string address = VORDEL_BUG_ADDRESS; !address.empty()) {
    out += "\nReport bugs to: " + address + "\n";
  }
  return out;
}

int HelpWidth() {
  int columns = 0;
  if (const char* env = std::getenv("COLUMNS")) {
    columns = std::atoi(env);
  }
  winsize size{};
  if (columns <= 0 && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
    columns = size.ws_col;
  }
  if (columns <= 0) {
    columns = 80;
  }
  return std::clamp(columns, 60, 120);
}

int ParseCommandLine(CLI::App& app, const std::vector<std::string>& args, const HelpText& help) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::cout << FormatHelp(app, help, HelpWidth()) << std::flush;
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << std::endl;
    return 0;
  } catch (const CLI::ParseError& e) {
    // Several bare numbers: a parameter string typed without its quotes.
    std::string numbers;
    int count = 0;
    for (const std::string& a : args) {
      if (IsNumber(a)) {
        numbers += (numbers.empty() ? "" : " ") + a;
        ++count;
      }
    }
    if (count >= 2 && !help.numbers_hint.empty()) {
      // The parser's own message would list them as it met them, last first: the hint alone.
      std::cerr << app.get_name() << ": " << help.numbers_hint << " '" << numbers << "'"
                << std::endl;
      return 2;
    }
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
