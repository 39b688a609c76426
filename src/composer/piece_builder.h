// Turning a parameter string into a generated composition, the way the program does for every
// new piece: clear, add one musical object per complete group of five numbers, prepare and
// generate. A string that cannot make a piece leaves the current one as it is. Control thread
// only; not real-time safe.
#pragma once

#include <cstdint>
#include <string>
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

struct BuildOutcome {
  BuildResult result = BuildResult::kNoCompleteGroup;
  // Why the string was refused (empty when built), one sentence for the user.
  std::string reason;
  // The command that builds the same piece again (when built at a known clock).
  std::string reproduce;
};

// Events that a musical object of function f with length parameter p4 generates.
std::int64_t PlannedObjectEvents(int f, int p4);

// Events of the whole piece a parameter string asks for (its first 50 objects).
std::int64_t PlannedPieceEvents(std::string_view text);

// Why a parameter string cannot make a piece ("" when it can), one sentence for the user.
std::string RefusalOf(std::string_view text);

// Rebuilds composition from text with the composer's clock as it runs (or as pinned); a refusal
// is also written to the diagnostic stream. With clear_first false the objects are added to an
// empty composition without clearing it first (as at start-up, when there is nothing to clear).
BuildOutcome BuildPiece(Composition& composition, std::string_view text, bool clear_first = true);

// The same with the composer's clock held at clock_ms while the piece is built, so that the
// clock value and the rest planner's state make it again: the outcome carries the command.
BuildOutcome BuildPieceAt(Composition& composition, std::string_view text, std::int64_t clock_ms,
                          bool clear_first = true);

// "vordel-compose --clock MS [--rest-planner-started] --dump '...'" for a piece built from text.
std::string ReproduceCommand(std::string_view text, std::int64_t clock_ms,
                             bool rest_planner_started);

}  // namespace vordel
