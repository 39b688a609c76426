// The three ensembles a piece can be played with: four General MIDI tracks each (program, pan,
// volume), channels 1 to 4. Constants; any thread.
#pragma once

namespace vordel {

struct track_preset {
  int Patch;    // General MIDI program counted from 1
  int Panning;  // controller 10
  int Volume;   // controller 7
};

inline constexpr int kEnsembleCount = 3;

// The tracks of ensemble `index` (another value than 0..2 reads ensemble 0).
const track_preset (&EnsemblePresets(int index))[4];
// "BrassWood", "Strings", "Woodwinds" (ensemble 0's name for another value).
const char* EnsembleName(int index);

}  // namespace vordel
