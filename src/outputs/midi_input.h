// The MIDI input: a port named "vordel in" that listens to nobody until a user connects a
// controller (or picks a source from the Devices menu); never connected to vordel's own output.
// Arriving messages wait in a single-producer ring (filled by the JACK process callback or
// RtMidi's ALSA thread, real-time safe) until the control side takes them; nothing is printed
// per message. Open, Sources, Connect: control thread. Take: one consumer thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/message.h"

namespace vordel {

class MidiInput {
 public:
  virtual ~MidiInput() = default;
  // 0 while the port is open.
  virtual unsigned Status() const = 0;
  // The oldest message that arrived, if any, and when it arrived (microseconds on a clock of the
  // input's own: only differences between arrivals mean something; JACK stamps them with their
  // frame, ALSA as RtMidi tells them apart).
  virtual bool Take(MidiMessage* message, std::int64_t* arrived_us) = 0;
  // Other programs' MIDI outputs that could be connected to the port.
  virtual std::vector<std::string> Sources() = 0;
  // Connects one of them (only that one); false with a reason.
  virtual bool Connect(const std::string& source, std::string* error) = 0;
  // The source connected through Connect ("" for none).
  virtual std::string Connected() const = 0;
  virtual std::string Describe() const = 0;
  // Messages that arrived while the ring was full.
  virtual std::uint64_t Dropped() const = 0;
};

// Opens the input of instance `name` ("vordel", "vordel-2" ...) on JACK when a server runs, else
// on the ALSA sequencer; an input that cannot open reports an error status.
std::unique_ptr<MidiInput> OpenMidiInput(const std::string& name);

}  // namespace vordel
