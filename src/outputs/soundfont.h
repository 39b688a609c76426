// The General MIDI soundfont of the built-in synthesizer and of renders. Control thread; not
// real-time safe (reads the file system).
#pragma once

#include <string>

namespace vordel {

// The soundfont to use when none is asked for: $VORDEL_SOUNDFONT if set, else the first General
// MIDI soundfont installed in the usual places; "" when there is none.
std::string FindSoundfont();

// Checks that a soundfont file can be read and looks like one; false, and why not in *error,
// when it cannot.
bool CheckSoundfont(const std::string& path, std::string* error);

// The soundfont to load for a request: `asked` when given, else FindSoundfont().
std::string ChooseSoundfont(const std::string& asked);

}  // namespace vordel
