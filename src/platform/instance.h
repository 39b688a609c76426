// Which running copy of vordel this process is, so that two of them never take the same names
// (JACK client, ALSA port, synthesizer client). Main thread, at start-up.
#pragma once

#include <string>

namespace vordel {

// Claims the lowest free instance number (1, 2, ...) for the life of the process; 1 when the
// lock folder cannot be used or is not private to this user.
int ClaimInstanceNumber();

// "vordel" for instance 1, "vordel-2" for instance 2, and so on.
std::string InstanceName(int number);

}  // namespace vordel
