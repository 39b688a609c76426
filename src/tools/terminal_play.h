// Plays a piece through a session, as the program does, with a progress line on a terminal,
// until it ends or SIGINT, SIGTERM or SIGHUP arrives; every note then ends and All Notes Off
// follows. Main thread.
#pragma once

#include <string>

#include "composer/piece.h"
#include "outputs/backends.h"
#include "platform/signals.h"

namespace vordel {

// Plays the piece; returns the process exit code. verbose: also the monotonic time the first
// tick was due at, for lining the sound up with other recordings.
int PlayFromTerminal(const Piece& piece, const OutputRequest& request,
                     TerminationSignals& stop_signals, bool verbose);

}  // namespace vordel
