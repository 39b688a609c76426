// The output table: one row per backend, in order of preference, each with its name, whether it
// is a port to another program, whether "auto" considers it, how to probe its system and how to
// open it. "auto" walks the table and plays on the first port that offers a synthesizer's input,
// else on the built-in synthesizer; "port" takes the first port system present; any other
// choice names a row. A new backend is one file and one row. Control thread; not real-time safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "outputs/backends.h"

namespace vordel {

struct OutputBackend {
  const char* name;
  const char* description;
  bool port;       // a port to another program's MIDI input
  bool automatic;  // "auto" and "port" consider it, in table order
  OutputProbe (*probe)();
  OpenResult (*open)(const OutputRequest& request, const std::string& input);
};

const std::vector<OutputBackend>& OutputBackends();
const OutputBackend* FindBackend(const std::string& name,
                                 const std::vector<OutputBackend>& rows = OutputBackends());
// "auto", "port" and every row's name.
std::vector<std::string> OutputChoiceNames();

struct OpenedOutput {
  std::unique_ptr<MidiOutput> output;  // null when the request cannot be met
  std::string error;                   // why, when output is null
  bool bad_request = false;            // the error lies in the request (exit code 2)
  std::string note;                    // a line for the user about what was chosen
  std::string backend;                 // the row that opened it
  std::string input;                   // the input it is connected to ("" for none)
};

// What a request takes, without opening it: the row and the input to connect to, or why none.
struct AutoChoice {
  const OutputBackend* row = nullptr;
  std::string input;
  std::string remark;  // said after the output's description when it opens
  std::string error;   // when row is null
};
AutoChoice ChooseOutput(const OutputRequest& request,
                        const std::vector<OutputBackend>& rows = OutputBackends());

OpenedOutput OpenOutput(const OutputRequest& request);
// The same over other rows (tests).
OpenedOutput OpenOutput(const OutputRequest& request, const std::vector<OutputBackend>& rows);

// Every output kind with its inputs (ports) or why it has none, and what "auto" takes, one line
// each (--list-outputs).
std::string DescribeOutputChoices(const OutputRequest& base,
                                  const std::vector<OutputBackend>& rows = OutputBackends());

// For a user whose output cannot sound: the --output choices whose system runs here and the
// --audio-driver choices of the built-in synthesizer, as one sentence.
std::string OutputChoicesHere(const std::vector<OutputBackend>& rows = OutputBackends());

// The index of the input to connect to: the one containing `wanted` (any case) when given, else
// the first that looks like a synthesizer; never one of vordel's own; -1 when there is none.
int ChooseInput(const std::vector<std::string>& inputs, const std::string& wanted);

// The outputs that can be chosen now, for a menu: the built-in synthesizer, then every
// synthesizer input of every port system. Each comes with the request that opens it.
struct OutputOffer {
  std::string label;
  OutputRequest request;
};
std::vector<OutputOffer> ListOutputOffers(
    const OutputRequest& base, const std::vector<OutputBackend>& rows = OutputBackends());

}  // namespace vordel
