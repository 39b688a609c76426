// The command line of vordel: where the sound goes (shared with vordel-compose), the window-less
// mode and OSC. Main thread, at start-up.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "control/osc_source.h"
#include "outputs/backends.h"

namespace vordel {

struct AppOptions {
  OutputRequest output;
  bool headless = false;
  OscSource::Options osc;
  std::string state_file;  // the window writes what it shows there (for tests)
};

void AddAppOptions(CLI::App& app, AppOptions& options);
// Checks what CLI11 cannot; "" when fine.
std::string CheckAppOptions(AppOptions& options);

}  // namespace vordel
