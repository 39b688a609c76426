// The MIDI input as a source of commands: Start and Continue play, Stop stops, and Control
// Change 7 (channel volume) on any channel sets the volume of channels 1-4. Everything else is
// read and let go. Start and Stop: control thread; the input is read on a thread of its own.
#pragma once

#include <atomic>
#include <optional>
#include <thread>

#include "midi/message.h"
#include "outputs/midi_input.h"
#include "remote/command_source.h"

namespace vordel {

// The command a message from a controller asks for, if any.
std::optional<Command> CommandFromMidi(const MidiMessage& message);

class MidiInputSource final : public CommandSource {
 public:
  explicit MidiInputSource(MidiInput& input) : input_(input) {}
  ~MidiInputSource() override;
  std::string Name() const override { return "MIDI input"; }
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;

 private:
  MidiInput& input_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace vordel
