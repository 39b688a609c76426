// A composed piece as a value: what made it (the parameters, the clock, the carried-over state,
// the ensemble), its sections with their events exactly as the composer made them, when each
// event is sent, and the note view: every note with its voice, its key and velocity as sounded,
// its onset and length, its section and that section's tempo. Whatever plays, exports or shows
// a piece starts from here, so this is the one place that knows how a composed event sounds
// (the octave rule, the MIDI range). Immutable once made; shared between threads through
// std::shared_ptr<const PieceBody> (copying a Piece is cheap). Any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "composer/ensembles.h"
#include "composer/events.h"
#include "composer/parameter_string.h"

namespace vordel {

// What a composition leaves for the next one to depend on: whether the Introduction's rest
// planner has ever started (its first start draws once more than the later ones).
struct CarriedState {
  bool rest_planner_started = false;
};

// The key an event is sent with: channels 3 and up an octave lower, then the MIDI rule (keys
// outside 1..127 become 60).
int SoundingKey(int channel, int key);
// The velocity a note start is sent with, kept inside 1..127; 0 for a note end.
int SoundingVelocity(std::int64_t vel);

// One event as the composer made it, and the tick of the playback in which it is sent.
struct ComposedEvent {
  int channel;            // 1..4
  int key;                // as composed (before the octave rule)
  std::int64_t velocity;  // as composed; 0 ends a note
  std::int64_t time;      // ms from the start of the piece
  std::int64_t length;    // the note's length as composed (0 for an end)
  std::int64_t tick;      // sent when the playback's tick counter has this value
  Written written{};      // a note start's written value
};

struct PieceSection {
  int number = 0;    // counted from 1
  int function = 0;  // 0..4 (see FunktionName), or what the string said
  SectionParameters parameters;
  int tempo = 0;                      // beats per minute, as the section computes with it
  double beat_ms = 0;                 // one beat as its note values are measured, ms
  std::int64_t onset = 0;             // ms
  std::int64_t end = 0;               // the end of its last section of notes, ms
  std::int64_t first_tick = 0;        // the tick from which it is the current section
  std::int64_t end_tick = 0;          // the tick in which its last event is sent
  std::vector<ComposedEvent> events;  // in time order
  // Musical time. The Introduction, Development and Reprise each run at one tempo factor, the
  // one most of their notes have (a written value lasts that many times its length at the
  // section's tempo); a voice whose factor changes note by note makes a tempo curve of its own.
  std::array<float, 3> part_factor{1.0f, 1.0f, 1.0f};
  std::array<double, 3> part_timed{};        // each one's length, units at the section's tempo
  std::array<std::int64_t, 3> part_start{};  // where each begins, written units from the start
  std::vector<PlannedRest> rests;            // the rests the planners put between notes
  std::int64_t pause_ms = 0;                 // the silence after the section
  std::int64_t fermata_ms = 0;               // how much longer its last note is held
};

// One sounding note: a start paired with the next end of the same channel and sounding key.
struct Note {
  int channel = 1;          // the voice, 1..4
  int key = 60;             // as sounded
  int velocity = 1;         // as sounded, 1..127
  std::int64_t onset = 0;   // ms, as the player sends it
  std::int64_t length = 0;  // ms; a note never ended lasts to the end of the piece
  int section = 0;          // index into the sections
  // Its written value (units of a whole note, 0 for none), its written onset (units from its
  // section's start, in the tempo of its part of the section), the tempo factor it is played
  // with, and whether that onset is exact (its factor is its part's) or its voice follows a
  // tempo curve of its own and the onset is its nearest unit.
  int value = 0;
  std::int64_t written_onset = 0;
  float tempo_factor = 1.0f;
  int part = -1;
  bool exact = false;
  bool staccato = false;
  bool held = false;  // its section's last note, held longer (a fermata)
};

struct PieceBody {
  PieceParameters parameters;
  std::int64_t clock_ms = 0;
  CarriedState carried_in;  // what it was composed with
  std::vector<PieceSection> sections;
  std::int64_t total_ms = 0;  // the time of the whole piece, pauses included
  std::int64_t end_tick = 0;  // the tick in which the playback ends
  std::vector<Note> notes;    // the note view
};

class Piece {
 public:
  // An empty piece (no sections).
  Piece();
  Piece(std::shared_ptr<const PieceBody> body, int ensemble);

  const PieceParameters& parameters() const { return body_->parameters; }
  const std::vector<PieceSection>& sections() const { return body_->sections; }
  std::int64_t clock_ms() const { return body_->clock_ms; }
  const CarriedState& carried_in() const { return body_->carried_in; }
  std::int64_t total_ms() const { return body_->total_ms; }
  std::int64_t end_tick() const { return body_->end_tick; }
  bool empty() const { return body_->sections.empty(); }
  std::size_t EventCount() const;

  // The ensemble it is played with (0..2) and its tracks.
  int ensemble() const { return ensemble_; }
  const track_preset (&tracks() const)[4] { return EnsemblePresets(ensemble_); }
  // The same piece with another ensemble (shares everything else).
  Piece WithEnsemble(int ensemble) const { return Piece(body_, ensemble); }

  // Every note, ordered by onset (then as sent).
  const std::vector<Note>& Notes() const { return body_->notes; }

  // "vordel-compose --clock MS [--rest-planner-started] --dump '...'", the command that makes
  // the same piece again ("" for the empty piece); `action` in place of --dump.
  std::string Reproduce(const std::string& action = "--dump") const;
  // "[SetPosition] Playing from object: 1 / ..." for a playback from the start.
  std::string PositionLine() const;

  bool SameAs(const Piece& other) const { return body_ == other.body_; }

 private:
  std::shared_ptr<const PieceBody> body_;
  int ensemble_ = 0;
};

// What makes a piece again: a parameter value, and the clock and carried-over state when they
// are pinned.
struct PieceRecipe {
  PieceParameters parameters;            // accepted
  std::optional<std::int64_t> clock_ms;  // --clock MS
  CarriedState carried;                  // --rest-planner-started (with a pinned clock only)
};
// Reads a parameter string, or the command Piece::Reproduce writes, whole or in part:
// "[vordel-compose] [--clock MS] [--rest-planner-started] [--dump] 'STRING'" (words as a shell
// splits them). nullopt, with one sentence why in *error, for a line that makes no piece.
std::optional<PieceRecipe> ReadRecipe(const std::string& line, std::string* error);

// Completes a piece whose sections hold their events in time order: when each event is sent
// (the first tick whose counter has reached its time; the sections one after the other, the
// next from the tick after the previous one's last, a section without events taking one tick),
// the end tick, and the note view.
Piece AssemblePiece(std::shared_ptr<PieceBody> body, int ensemble);

}  // namespace vordel
