// The command lines of vordel and vordel-compose, on CLI11: one definition of the options both
// take (where the sound goes, the soundfont, the audio driver), help in the GNU manner (a usage
// line, what the program does, the options by group with their short forms, wrapped to the
// terminal, examples, where to report bugs), and one way of reporting a bad command line (a line
// naming the problem, a hint, exit code 2). Main thread, before anything else runs.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outputs/backends.h"

namespace vordel {

// The group of the options of where the sound goes.
inline constexpr const char* kOutputGroup = "Output";

// --output, --port, --record, --soundfont and --audio-driver into request (group "Output").
void AddOutputOptions(CLI::App& app, OutputRequest& request);

// What the help says around the options.
struct HelpText {
  std::string usage;                  // after "Usage: ", e.g. "vordel-compose [OPTION]... STRING"
  std::string summary;                // what the program does, one paragraph
  std::vector<std::string> groups;    // the order of the option groups
  std::vector<std::string> examples;  // command lines, each with what it does after "  # "
  // Said when the command line holds several bare numbers: how to pass a parameter string.
  std::string numbers_hint;
};

// The help: usage, summary, options by group (short and long forms, VALUE names, descriptions
// wrapped to `width` columns), examples, where to report bugs.
std::string FormatHelp(const CLI::App& app, const HelpText& text, int width);
// Columns of the terminal on standard output (COLUMNS, or the terminal's own), 80 otherwise,
// kept within 60..120.
int HelpWidth();

// Checks what CLI11 cannot: the output's name and how --record goes with it. False, and
// why in *error, when something is wrong.
bool CheckOutputOptions(OutputRequest& request, std::string* error);

// Parses; returns -1 to go on, else the exit code (0 after --help or --version, 2 after a bad
// command line, with the message on standard error).
int ParseCommandLine(CLI::App& app, const std::vector<std::string>& args, const HelpText& help);

// A usage error found after parsing: printed like CLI11's; returns 2.
int UsageError(const std::string& program, const std::string& message);

}  // namespace vordel
