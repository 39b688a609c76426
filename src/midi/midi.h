// The MIDI device layer: note, controller and program messages on channels 1 to 16, All Notes
// Off, the General MIDI program names and the open status of the output and input.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "midi/midi_output.h"

namespace vordel {

// One packed short message: status, data 1, data 2, and a zero byte.
union ShortMessage {
  std::uint32_t dwData;
  std::uint8_t bData[4];
};

class Midi {
 public:
  // Opens the given output; input_status is the result of opening the MIDI input, which is
  // never read. Without an output every send reports kMidiErrorBadDevice.
  explicit Midi(std::unique_ptr<MidiOutput> output = nullptr,
                unsigned input_status = kMidiErrorBadDevice);
  ~Midi();
  Midi(const Midi&) = delete;
  Midi& operator=(const Midi&) = delete;

  unsigned sendMidiEvent(unsigned char type, unsigned char b1, unsigned char b2, unsigned char b3);
  unsigned playNote(unsigned char ch, unsigned char key, unsigned char vel);
  unsigned ControlChange(unsigned char ch, unsigned char ctrl, unsigned char val);
  unsigned ProgramChange(unsigned char ch, unsigned char patch);
  // Controller 123 on all sixteen channels.
  void AllNotesOff();
  // A Note Off for every note this layer started that has not ended yet (for synthesizers
  // that ignore All Notes Off). Safe from both threads; each note is released once.
  void ReleaseSoundingNotes();
  // Number of notes started and not yet ended.
  int SoundingNotes() const;

  // Name of program 0..127 ("" outside the table).
  const char* GetGMPatchName(int program) const;
  const char* GetINStatusStr() const;
  const char* GetOUTStatusStr() const;

  unsigned GetOUTStatus() const { return OUTStatus; }
  unsigned GetINStatus() const { return INStatus; }
  MidiOutput* GetOutput() const { return output_.get(); }
  // Sends that failed since the output was opened (shown by the status displays).
  unsigned SendErrors() const { return send_errors_.load(std::memory_order_relaxed); }
  // Closes the output (delivering what was sent) and the input now instead of at destruction.
  void CloseDevices();

 protected:
  unsigned DeviceQuant = 0;
  unsigned INStatus;
  unsigned OUTStatus;
  char GM_PatchNames[128][33] = {};

 private:
  unsigned Send(const ShortMessage& u, std::uint8_t size);
  void Track(std::uint8_t status, std::uint8_t key);

  std::unique_ptr<MidiOutput> output_;
  std::atomic<unsigned> send_errors_{0};
  // Notes sounding per channel and key.
  std::atomic<std::uint8_t> sounding_[16][128] = {};
  bool closed_ = false;
};

extern const char* const p_names[128];

}  // namespace vordel
