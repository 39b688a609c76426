// The command lines of vordel and vordel-compose, on CLI11: one definition of the options both
// take (where the sound goes, the soundfont, the audio driver), generated help, and one way of
// reporting a bad command line (a line naming the problem, a hint to --help, exit code 2). Main
// thread, before anything else runs.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outputs/backends.h"

namespace vordel {

// --output, --port, --record, --soundfont and --audio-driver into request.
void AddOutputOptions(CLI::App& app, OutputRequest& request);

// Checks what CLI11 cannot: the output's name and how --record goes with it. "" when fine.
std::string CheckOutputOptions(OutputRequest& request);

// Parses; returns -1 to go on, else the exit code (0 after --help or --version, 2 after a bad
// command line, with the message on standard error).
int ParseCommandLine(CLI::App& app, const std::vector<std::string>& args);

// A usage error found after parsing: printed like CLI11's; returns 2.
int UsageError(const std::string& program, const std::string& message);

}  // namespace vordel
