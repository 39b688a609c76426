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

#include <atomic>
#include <cstdint>
#include <string>

#include "composer/piece.h"
#include "platform/pending_file.h"

namespace vordel {

struct ScoreOptions {
  int beats = 4;  // the time signature
  int beat_type = 4;
  int grid = 16;  // onsets on sixteenths (16) or thirty-seconds (32) of the section's whole note
  std::string reproduce;  // the command that writes this score again, for the footer
};

// "vordel-compose --clock MS ... [--time-signature B/T] [--grid 32] --score 'NAME' '...'": the
// command that writes the score of `piece` to a file of the name of `path` ("" for the empty
// piece).
std::string ScoreCommand(const Piece& piece, const std::string& path, const ScoreOptions& options);

// Whether the file's name ends in .musicxml or .xml (in any case); if not, why it is not
// written in *error.
bool CheckScoreFileName(const std::string& path, std::string* error);
// Whether the options make a score; if not, why in *error.
bool CheckScoreOptions(const ScoreOptions& options, std::string* error);

// The document.
std::string ScoreDocument(const Piece& piece, const ScoreOptions& options);

// Writes it beside `path` and puts it in place when complete; false with the reason.
bool WriteScore(const Piece& piece, const std::string& path, const ScoreOptions& options,
                std::string* error);
// The same into a file prepared by the caller. As soon as `stop` (when given) turns true, the
// writing stops and nothing is left: at the latest after the measure being written.
bool WriteScore(const Piece& piece, PendingFile& file, const ScoreOptions& options,
                const std::atomic<bool>* stop, std::string* error);

// Whether the beginning of a file (a few kilobytes) is that of a score this program wrote.
bool LooksLikeOwnScore(const std::string& head);
// About how many bytes the score of `piece` takes (more rather than less).
std::uint64_t EstimatedScoreBytes(const Piece& piece);

}  // namespace vordel
