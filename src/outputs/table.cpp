#include "outputs/table.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vordel {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

const char* const kSynthWords[] = {"synth", "fluid",   "timidity", "qsynth", "zyn",  "yoshimi",
                                   "sfz",   "sampler", "setbfree", "calf",   "surge"};

OpenedOutput Opened(const OutputBackend& row, const OutputRequest& request,
                    const std::string& input, const std::string& remark = "") {
  OpenedOutput result;
  OpenResult r = row.open(request, input);
  if (!r.output) {
    result.error = r.error;
    result.bad_request = r.bad_request;
    return result;
  }
  result.output = std::move(r.output);
  result.backend = row.name;
  result.input = input;
  result.note = "MIDI output: " + result.output->Describe() + remark;
  return result;
}

std::string NoInput(const std::string& wanted) {
  return "no MIDI input whose name contains '" + wanted + "'";
}

}  // namespace

const std::vector<OutputBackend>& OutputBackends() {
  static const std::vector<OutputBackend> rows = {
      {"jack", "a JACK MIDI port", true, true, &ProbeJack, &OpenJack},
      {"alsa", "an ALSA sequencer port", true, true, &ProbeAlsa, &OpenAlsa},
      {"synth", "the built-in synthesizer", false, true, &ProbeSynth, &OpenSynth},
      {"port-rtmidi", "a JACK MIDI port through RtMidi", true, false, &ProbeRtMidiJack,
       &OpenRtMidiJack},
      {"recording", "a recording of the messages (to --record FILE)", false, false, &ProbeRecording,
       &OpenRecording},
  };
  return rows;
}

const OutputBackend* FindBackend(const std::string& name, const std::vector<OutputBackend>& rows) {
  for (const OutputBackend& row : rows) {
    if (name == row.name) {
      return &row;
    }
  }
  return nullptr;
}

std::vector<std::string> OutputChoiceNames() {
  std::vector<std::string> names = {"auto", "port"};
  for (const OutputBackend& row : OutputBackends()) {
    names.emplace_back(row.name);
  }
  return names;
}

int ChooseInput(const std::vector<std::string>& inputs, const std::string& wanted) {
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string name = Lower(inputs[i]);
    if (name.find("vordel") != std::string::npos) {
      continue;  // never one of our own ports
    }
    if (!wanted.empty()) {
      if (name.find(Lower(wanted)) != std::string::npos) {
        return static_cast<int>(i);
      }
      continue;
    }
    for (const char* w : kSynthWords) {
      if (name.find(w) != std::string::npos) {
        return static_cast<int>(i);
      }
    }
  }
  return -1;
}

std::string OutputChoicesHere(const std::vector<OutputBackend>& rows) {
  std::string ports;
  for (const OutputBackend& row : rows) {
    if (row.port && row.automatic && row.probe().present) {
      ports += (ports.empty() ? "" : ", ") + std::string(row.name);
    }
  }
  std::string drivers;
  for (const std::string& d : SynthAudioDrivers()) {
    drivers += (drivers.empty() ? "" : ", ") + d;
  }
  return "try --output " + (ports.empty() ? std::string() : ports + " or ") +
         "recording (--record FILE)" +
         (ports.empty() ? " (no JACK server or ALSA sequencer runs here)" : "") +
         ", or another --audio-driver for the built-in synthesizer (" + drivers + ")";
}

OpenedOutput OpenOutput(const OutputRequest& request) {
  return OpenOutput(request, OutputBackends());
}

AutoChoice ChooseOutput(const OutputRequest& request, const std::vector<OutputBackend>& rows) {
  AutoChoice choice;
  if (request.choice != "auto" && request.choice != "port") {
    const OutputBackend* row = FindBackend(request.choice, rows);
    if (row == nullptr) {
      choice.error = "no output named '" + request.choice + "'";
      return choice;
    }
    if (!row->port) {
      choice.row = row;
      return choice;
    }
    const OutputProbe probe = row->probe();
    if (!probe.present) {
      choice.error = std::string("cannot open ") + row->description + ": its system is not running";
      return choice;
    }
    const int index = ChooseInput(probe.inputs, request.port);
    if (index < 0 && !request.port.empty()) {
      choice.error = NoInput(request.port);
      return choice;
    }
    choice.row = row;
    if (index >= 0) {
      choice.input = probe.inputs[static_cast<std::size_t>(index)];
    } else {
      choice.remark = "; no synthesizer input found";
    }
    return choice;
  }
  const OutputBackend* first_port = nullptr;
  for (const OutputBackend& row : rows) {
    if (!row.automatic) {
      continue;
    }
    if (!row.port) {
      if (request.choice == "port") {
        continue;
      }
      if (!request.port.empty()) {
        choice.error = NoInput(request.port);
        return choice;
      }
      // No external synthesizer to play on: the built-in one plays.
      choice.row = &row;
      return choice;
    }
    const OutputProbe probe = row.probe();
    if (!probe.present) {
      continue;
    }
    if (first_port == nullptr) {
      first_port = &row;
    }
    const int index = ChooseInput(probe.inputs, request.port);
    if (index >= 0) {
      choice.row = &row;
      choice.input = probe.inputs[static_cast<std::size_t>(index)];
      return choice;
    }
  }
  if (first_port == nullptr) {
    choice.error = "no MIDI port: neither a JACK server nor an ALSA sequencer is running";
    return choice;
  }
  if (!request.port.empty()) {
    choice.error = NoInput(request.port);
    return choice;
  }
  // A port nobody listens to yet: the user can connect it (aconnect, jack_connect).
  choice.row = first_port;
  choice.remark = "; no synthesizer input found";
  return choice;
}

OpenedOutput OpenOutput(const OutputRequest& request, const std::vector<OutputBackend>& rows) {
  const AutoChoice choice = ChooseOutput(request, rows);
  if (choice.row == nullptr) {
    OpenedOutput result;
    result.error = choice.error;
    return result;
  }
  return Opened(*choice.row, request, choice.input, choice.remark);
}

std::string DescribeOutputChoices(const OutputRequest& base,
                                  const std::vector<OutputBackend>& rows) {
  std::string out = "Outputs (--output NAME, and --port NAME for a port's input):\n";
  for (const OutputBackend& row : rows) {
    const OutputProbe probe = row.probe();
    out += "  " + std::string(row.name) +
           std::string(12 - std::min<std::size_t>(11, std::strlen(row.name)), ' ') +
           row.description;
    if (row.port && !probe.present) {
      out += ": its system is not running";
    } else if (row.port && probe.inputs.empty()) {
      out += ": no inputs";
    }
    out += "\n";
    for (const std::string& input : row.port ? probe.inputs : std::vector<std::string>{}) {
      out += "              " + input + "\n";
    }
  }
  OutputRequest automatic = base;
  automatic.choice = "auto";
  const AutoChoice choice = ChooseOutput(automatic, rows);
  out += "auto takes: ";
  if (choice.row == nullptr) {
    out += "nothing (" + choice.error + ")\n";
  } else {
    out += std::string(choice.row->name) +
           (choice.input.empty() ? std::string() : " " + choice.input) + "\n";
  }
  return out;
}

std::vector<OutputOffer> ListOutputOffers(const OutputRequest& base,
                                          const std::vector<OutputBackend>& rows) {
  std::vector<OutputOffer> offers;
  OutputOffer synth{"Built-in synthesizer", base};
  synth.request.choice = "synth";
  synth.request.port.clear();
  offers.push_back(synth);
  for (const OutputBackend& row : rows) {
    if (!row.port || !row.automatic) {
      continue;
    }
    const OutputProbe probe = row.probe();
    for (const std::string& input : probe.inputs) {
      if (Lower(input).find("vordel") != std::string::npos) {
        continue;
      }
      OutputOffer offer{std::string(row.name == std::string("jack") ? "JACK: " : "ALSA: ") + input,
                        base};
      offer.request.choice = row.name;
      offer.request.port = input;
      offers.push_back(offer);
    }
  }
  return offers;
}

}  // namespace vordel
