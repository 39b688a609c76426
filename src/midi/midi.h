// The MIDI device layer as one lane sees it: note, controller and program requests turned into
// messages, stamped with their due time and handed to the output, and All Notes Off. Both lanes
// share one record of the notes sounding, so that whoever ends a playback can end every note it
// started. One Midi object per lane; its methods are called only by that lane's thread and are
// real-time safe (the control lane reads the monotonic clock, a vDSO call).
#pragma once

#include <atomic>
#include <cstdint>

#include "midi/message.h"
#include "midi/output.h"

namespace vordel {

// How many times each key of each channel has been started and not yet ended. Any thread;
// real-time safe.
class NoteTracker {
 public:
  void Track(const MidiMessage& m);
  // Forgets the note (returns how many starts of it were open).
  int Take(int channel_index, int key);
  int Sounding() const;

 private:
  std::atomic<std::uint8_t> sounding_[16][128] = {};
};

class Midi {
 public:
  // Without an output every send reports kMidiErrorBadDevice.
  Midi(MidiOutput* output, Lane lane, NoteTracker& notes);

  // The due time of the messages sent from now on (the player's tick sets it every tick).
  // A lane that never sets it stamps every message with the time it is sent.
  void SetDue(std::int64_t due_ns) { due_ns_ = due_ns; }

  unsigned sendMidiEvent(unsigned char type, unsigned char b1, unsigned char b2, unsigned char b3);
  unsigned playNote(unsigned char ch, unsigned char key, unsigned char vel);
  unsigned ControlChange(unsigned char ch, unsigned char ctrl, unsigned char val);
  unsigned ProgramChange(unsigned char ch, unsigned char patch);
  // Controller 123 on all sixteen channels, 0xB0 to 0xBF.
  void AllNotesOff();
  // A Note Off for every note started (on either lane) and not ended yet, for synthesizers that
  // ignore All Notes Off. Each note is released once.
  void ReleaseSoundingNotes();
  // Any prepared message (notes are tracked like playNote's).
  unsigned Send(const MidiMessage& m);
  // The same, due at `due_ns` rather than at the lane's due time (a MIDI clock between ticks);
  // not before what this lane has sent already.
  unsigned SendAt(const MidiMessage& m, std::int64_t due_ns);
  // Lets the output deliver what this lane sent since the last Commit.
  void Commit();

  void SetOutput(MidiOutput* output) { output_ = output; }
  MidiOutput* Output() const { return output_; }
  // Sends that failed since this layer was made.
  unsigned SendErrors() const { return send_errors_.load(std::memory_order_relaxed); }

 private:
  MidiOutput* output_;
  Lane lane_;
  NoteTracker& notes_;
  std::int64_t due_ns_ = 0;
  std::atomic<unsigned> send_errors_{0};
};

}  // namespace vordel
