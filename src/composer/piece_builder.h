// Composing: a function from a parameter value, the clock it is composed at and the state the
// previous composition left, to the piece and the state for the next one. Everything it draws on
// lives in a composing context of its own, so pieces can be composed on any thread, two at a
// time, without touching each other or what a player reads. Any thread; not real-time safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <ostream>

#include "composer/parameter_string.h"
#include "composer/piece.h"

namespace vordel {

struct Composed {
  Piece piece;
  CarriedState carried_out;  // for the next composition
};

// Composes an accepted parameter value (see PieceParameters::accepted; a refused one gives the
// empty piece) with the composer's clock at clock_ms. The composer's diagnostic lines go to
// `diagnostics`. nullopt when *cancel turned true before the piece was done.
std::optional<Composed> ComposePiece(const PieceParameters& parameters, std::int64_t clock_ms,
                                     CarriedState carried_in, int ensemble,
                                     std::ostream& diagnostics,
                                     const std::atomic<bool>* cancel = nullptr);

}  // namespace vordel
