// Where MIDI messages go: an external port, the built-in synthesizer, a recording. Every message
// carries the monotonic time it is due at; an output delivers it at that time plus one constant
// latency of its own, so a message handed over late (by less than the latency) still sounds on
// time.
//
// Messages come in on two lanes, each fed by one thread at a time: the player's tick (real-time)
// and the control thread (commands, mouse, start and stop). Send and Commit are real-time safe
// on both lanes: they allocate nothing, take no lock and never wait. The rest is for the control
// thread.
#pragma once

#include <cstdint>
#include <string>

#include "midi/message.h"

namespace vordel {

enum class Lane : int { kPlayer = 0, kControl = 1 };
inline constexpr int kLaneCount = 2;

class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  // 0 while the output works; an error code when it did not open or has failed since (a port
  // whose server went away). Any thread.
  virtual unsigned Status() const = 0;
  // Queues one whole message, due at due_ns on the monotonic clock. Returns 0, or an error code
  // when the message was not taken (the output has failed, or its queue is full: counted in
  // Dropped). Due times on one lane never decrease.
  virtual unsigned Send(Lane lane, const MidiMessage& message, std::int64_t due_ns) = 0;
  // After a burst of Sends on one lane (a tick, a command): lets the delivery start on them.
  virtual void Commit(Lane lane) { (void)lane; }
  // Delivers what was queued (waiting at most about a second), then releases the device.
  virtual void Close() = 0;
  // What the output is, for status lines ("built-in synthesizer (pulseaudio)", "JACK port
  // vordel -> fluidsynth:midi_00").
  virtual std::string Describe() const = 0;
  // Messages that were sent but could not be queued, since the output was opened.
  virtual std::uint64_t Dropped() const { return 0; }
  // The constant time between a message's due time and its delivery, in nanoseconds.
  virtual std::int64_t LatencyNanos() const { return 0; }
  // For a process about to die, from any thread: every note ends at once (a Note Off for every
  // key the pieces play on, All Notes Off on every channel, made without allocating), instead of
  // whatever is still queued; returns once that is delivered, or after about half a second.
  virtual void Panic() {}
  // What the user should hear of when the program ends that is no failure of this output, but
  // may have cost notes elsewhere (a JACK server that let a cycle run late); "" when nothing did.
  // After Close.
  virtual std::string Warning() const { return ""; }
  // What went wrong that the user must hear of when the program ends, and that makes its exit
  // code non-zero (a recording that could not be written completely); "" when nothing did.
  // After Close.
  virtual std::string Failure() const { return ""; }
};

}  // namespace vordel
