// A parameter string in words: what each number was read as, what it does, and a warning for
// every number outside its useful range, every token that is not a plain number and every
// number that makes nothing. Nothing here changes how a string is read or what it makes. Any
// thread; not real-time safe (allocates).
#pragma once

#include <string>
#include <vector>

#include "composer/parameter_string.h"
#include "composer/piece.h"

namespace vordel {

// The useful ranges of the five numbers of a section.
inline constexpr int kFunctionHighest = 4;
// A register outside 1..100 starts its pitches where 50 does; a tempo outside it is 50's.
inline constexpr int kRegisterLowest = 1;
inline constexpr int kRegisterHighest = 100;
inline constexpr int kVelocityLowest = 1;
// The dynamics add up to 80 to the velocity base; above this the loudest notes are cut at 127.
inline constexpr int kVelocityHighest = 47;
inline constexpr int kTempoLowest = 1;
inline constexpr int kTempoHighest = 100;
inline constexpr int kLengthLowest = 0;  // below it a section has no notes

// "C4" for key 60.
std::string KeyName(int key);

// One line per warning, without a prefix ("section 2: tempo 200 is outside 1-100 ...").
std::vector<std::string> ParameterWarnings(const PieceParameters& parameters);

// Every section in words, with what the piece made of it (keys and velocities as sounded, notes,
// time), then the warnings. `piece` is the piece composed from the parameters, or the empty
// piece when the string was refused.
std::string ExplainParameters(const PieceParameters& parameters, const Piece& piece);

}  // namespace vordel
