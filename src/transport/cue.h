// A cue: a piece ready to play, with its schedule and where it came from. The only thing that
// plays, or waits to come next. A value: any thread may make and move one; the piece and the
// schedule it shares are immutable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "composer/piece.h"
#include "sequence/schedule.h"

namespace vordel {

struct Cue {
  std::uint64_t request = 0;  // the composer's request it answers (0: made otherwise)
  Piece piece;
  std::shared_ptr<const Schedule> schedule;
  std::string composer_lines;  // the composer's own lines, said when the cue becomes current
  CarriedState carried_out;    // what it leaves for the next piece composed
  int playlist_line = 0;       // counted from 1; 0 when it is not a playlist's

  bool empty() const { return piece.empty(); }
};

// A cue of a piece composed elsewhere: its schedule made here.
Cue CueOf(const Piece& piece);

}  // namespace vordel
