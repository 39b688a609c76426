// The score of a piece as MusicXML 4.0 (partwise), for notation programs: one part per channel
// named after its General MIDI instrument (with the program, volume and pan to play it back),
// each section on a new measure after a double barline, with a rehearsal mark ("2 Preparation")
// and a metronome mark of its tempo. Onsets are quantised on a grid of the section's beat from
// their absolute positions, so errors never accumulate, and lengths from the quantised ends; a
// note that crosses a barline, or whose length is no single plain or dotted value, becomes tied
// notes; rests fill every gap; notes of a part that start and end together form a chord, and
// notes that overlap otherwise go into further voices, never lost. Keys as sounded, spelled with
// sharps, without a key signature; each part's clef from its range; a dynamic mark wherever a
// part's level changes, and every note's velocity in its dynamics. Any thread; not real-time
// safe.
#pragma once

#include <string>

#include "composer/piece.h"

namespace vordel {

struct ScoreOptions {
  int beats = 4;  // the time signature
  int beat_type = 4;
  int grid = 16;  // onsets on sixteenths (16) or thirty-seconds (32) of the section's whole note
  std::string reproduce;  // the command that makes the piece again, for the credits
};

// Reads "3/4" into the options; "" when fine, else why not.
std::string ParseTimeSignature(const std::string& text, ScoreOptions* options);
// "" when the options make a score, else why not.
std::string CheckScoreOptions(const ScoreOptions& options);

// The document.
std::string ScoreDocument(const Piece& piece, const ScoreOptions& options);

// Writes it beside `path` and puts it in place when complete; false with the reason.
bool WriteScore(const Piece& piece, const std::string& path, const ScoreOptions& options,
                std::string* error);

}  // namespace vordel
