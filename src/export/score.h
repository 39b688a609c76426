// The score of a piece as MusicXML 4.0 (partwise), for notation programs: one part per channel
// named after its General MIDI instrument (its short name, its sound, and the program, volume
// and pan to play it back), each section on a new measure after a double barline, with a
// rehearsal mark ("2 Preparation") and metronome marks of its tempi in a unit a player reads.
// Notes and rests are written as the composer wrote them (the note view's written values and
// places), triplets three in the time of two in a bracket per beat; a voice on a tempo curve of
// its own, and a note without a written value, are placed on the grid. Notes are cut and tied
// by the meter's beats and at barlines, beamed by the beat; rests fill every gap; notes of a part
// that start and end together form a chord, and notes that overlap otherwise go into further
// voices, never lost. Keys as sounded, spelled by the melody's direction, with no key; a clef per
// section from the part's notes; staccato, fermata and caesura where the composer halved, held
// or paused; a dynamic mark wherever a part's level changes, and every note's velocity in its
// dynamics. Any thread; not real-time safe.
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
  int grid = 16;          // what has no written value on sixteenths (16) or thirty-seconds (32)
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
