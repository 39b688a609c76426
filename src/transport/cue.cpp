#include "transport/cue.h"

namespace vordel {

Cue CueOf(const Piece& piece) {
  Cue cue;
  cue.piece = piece;
  cue.schedule = std::make_shared<const Schedule>(BuildSchedule(piece));
  return cue;
}

}  // namespace vordel
