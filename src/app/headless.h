// vordel without a window: composes the start-up piece and waits, controlled by OSC, MIDI input
// and lines on standard input, logging one line per event that matters. Main thread.
#pragma once

#include "app/app_options.h"
#include "platform/signals.h"

namespace vordel {

// Runs until "q", /vordel/quit or a termination signal; returns the exit code.
int RunHeadless(const AppOptions& options, TerminationSignals& stop_signals);

}  // namespace vordel
