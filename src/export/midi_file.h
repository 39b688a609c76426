// Standard MIDI Files of a piece: format 1, a tempo track and one track per channel with the
// ensemble's program, pan and volume, then every note as the player sends it, all read from
// the piece's schedule. With 500 ticks per quarter note at 120 beats per minute one tick is one
// millisecond. Control thread; not real-time safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sequence/schedule.h"

namespace vordel {

inline constexpr int kSmfTicksPerQuarter = 500;
inline constexpr int kSmfMicrosPerQuarter = 500000;

// Appends n as a variable-length quantity (7 bits a byte, high bit set on all but the last).
void AppendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t n);

std::vector<std::uint8_t> StandardMidiFileBytes(const Schedule& schedule);

// Whether the file's name ends in .mid or .midi (in any case); if not, why it is not written
// in *error.
bool CheckMidiFileName(const std::string& path, std::string* error);

// Writes the file; false with a reason when it cannot be written.
bool WriteStandardMidiFile(const Schedule& schedule, const std::string& path, std::string* error);

}  // namespace vordel
