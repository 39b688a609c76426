// Turning a parameter string into a generated composition, the way the program does for every
// new piece: clear, add one musical object per complete group of five numbers, prepare and
// generate. A string that cannot make a piece leaves the current one as it is.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>

#include "composer/composition.h"

namespace vordel {

// Most events a whole piece may have; more would take minutes and gigabytes to build.
inline constexpr std::int64_t kMaxPieceEvents = 1000000;

enum class BuildResult {
  kBuilt,            // the composition now holds the new piece
  kNoCompleteGroup,  // fewer than five numbers: the current piece is kept
  kTooManyEvents,    // the piece would exceed kMaxPieceEvents: the current piece is kept
};

// Events that a musical object of function f with length parameter p4 generates.
std::int64_t PlannedObjectEvents(int f, int p4);

// Events of the whole piece a parameter string asks for (its first 50 objects).
std::int64_t PlannedPieceEvents(std::string_view text);

// Rebuilds composition from text; diagnostic lines about a refused string go to diag. With
// clear_first false the objects are added to an empty composition without clearing it first
// (as at start-up, when there is nothing to clear).
BuildResult BuildPiece(Composition& composition, std::string_view text, std::ostream& diag,
                       bool clear_first = true);

}  // namespace vordel
