// Plays a built piece through the real player and outputs, with a progress line on a terminal,
// until it ends or SIGINT/SIGTERM arrives.
#pragma once

#include <string>

#include "midi/devices.h"

namespace vordel {

// Builds `text` and plays it; returns the process exit code.
int PlayFromTerminal(const std::string& text, const OutputRequest& request);

}  // namespace vordel
