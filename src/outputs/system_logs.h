// libjack, libasound and FluidSynth print their own complaints (a missing server, a missing sound
// card) on standard error; vordel reports those cases in one line of its own instead. Also keeps
// JACK from starting a server of its own. Control thread, before opening any device.
#pragma once

namespace vordel {

void QuietSystemLibraries();

}  // namespace vordel
