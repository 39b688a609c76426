#include "remote/midi_input_source.h"

#include <chrono>

namespace vordel {

std::optional<Command> CommandFromMidi(const MidiMessage& m) {
  Command c;
  c.origin = "MIDI input";
  switch (m.bytes[0]) {
    case 0xFA:  // Start
    case 0xFB:  // Continue
      c.kind = Command::Kind::kPlay;
      return c;
    case 0xFC:  // Stop
      c.kind = Command::Kind::kStop;
      return c;
    default:
      break;
  }
  if ((m.bytes[0] & 0xF0) == 0xB0 && m.size == 3 && m.bytes[1] == 7) {
    c.kind = Command::Kind::kVolume;
    c.value = m.bytes[2] & 0x7F;
    return c;
  }
  return std::nullopt;
}

MidiInputSource::~MidiInputSource() {
  Stop();
}

bool MidiInputSource::Start(CommandQueue& queue, std::string* error) {
  (void)error;
  thread_ = std::thread([this, &queue] {
    // The input's ring is filled in real time; a few milliseconds here are nothing to a hand
    // on a controller.
    while (!stopping_.load(std::memory_order_acquire)) {
      MidiMessage m;
      while (input_.Take(&m)) {
        if (auto c = CommandFromMidi(m)) {
          queue.Post(std::move(*c));
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  return true;
}

void MidiInputSource::Stop() {
  if (thread_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    thread_.join();
  }
}

}  // namespace vordel
