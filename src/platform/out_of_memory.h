// Running out of memory is fatal: "out of memory" on standard error and exit code 1.
// Main thread, at start-up.
#pragma once

namespace vordel {

void InstallOutOfMemoryHandler();

}  // namespace vordel
