// Plays a piece through a session, as the program does, with a progress line on a terminal,
// until it ends or SIGINT, SIGTERM or SIGHUP arrives; every note then ends and All Notes Off
// follows. Main thread.
#pragma once

#include <string>

#include "outputs/backends.h"
#include "platform/signals.h"

namespace vordel {

// Builds `text` and plays it; returns the process exit code.
int PlayFromTerminal(const std::string& text, const OutputRequest& request,
                     TerminationSignals& stop_signals);

}  // namespace vordel
