// Running out of memory is fatal: "out of memory" on standard error and exit code 1.
#pragma once

namespace vordel {

void InstallOutOfMemoryHandler();

}  // namespace vordel
