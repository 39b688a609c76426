// Running out of memory is fatal: "out of memory" on standard error and exit code 1. Before that,
// the action set with SetOutOfMemoryAction runs once, with a reserve of memory given back for it,
// on the first thread that ran out (one that runs out meanwhile waits for the end). Install: main
// thread, at start-up; the action may be set and cleared from any thread.
#pragma once

namespace vordel {

void InstallOutOfMemoryHandler();
// What to do on the way out (end every sounding note). It must not wait for another thread,
// which may itself be waiting for memory; null clears it.
void SetOutOfMemoryAction(void (*action)());

}  // namespace vordel
