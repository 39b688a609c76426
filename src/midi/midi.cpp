#include "midi/midi.h"

#include "platform/clock.h"

namespace vordel {

void NoteTracker::Track(const MidiMessage& m) {
  const bool on = IsNoteOn(m);
  if (!on && !IsNoteOff(m)) {
    return;
  }
  std::atomic<std::uint8_t>& n = sounding_[m.bytes[0] & 0x0F][m.bytes[1] & 0x7F];
  std::uint8_t v = n.load(std::memory_order_relaxed);
  if (on) {
    while (v < 255 && !n.compare_exchange_weak(v, static_cast<std::uint8_t>(v + 1))) {
    }
  } else {
    while (v > 0 && !n.compare_exchange_weak(v, static_cast<std::uint8_t>(v - 1))) {
    }
  }
}

int NoteTracker::Take(int channel_index, int key) {
  return sounding_[channel_index & 0x0F][key & 0x7F].exchange(0, std::memory_order_acq_rel);
}

int NoteTracker::Sounding() const {
  int total = 0;
  for (const auto& ch : sounding_) {
    for (const auto& n : ch) {
      total += n.load(std::memory_order_relaxed);
    }
  }
  return total;
}

Midi::Midi(MidiOutput* output, Lane lane, NoteTracker& notes)
    : output_(output), lane_(lane), notes_(notes) {}

unsigned Midi::Send(const MidiMessage& m) {
  return SendAt(m, due_ns_ != 0 ? due_ns_ : MonotonicNanos());
}

unsigned Midi::SendAt(const MidiMessage& m, std::int64_t due_ns) {
  notes_.Track(m);
  if (output_ == nullptr) {
    send_errors_.fetch_add(1, std::memory_order_relaxed);
    return kMidiErrorBadDevice;
  }
  const unsigned r = output_->Send(lane_, m, due_ns);
  if (r != kMidiOk) {
    send_errors_.fetch_add(1, std::memory_order_relaxed);
  }
  return r;
}

void Midi::Commit() {
  if (output_ != nullptr) {
    output_->Commit(lane_);
  }
}

unsigned Midi::sendMidiEvent(unsigned char type, unsigned char b1, unsigned char b2,
                             unsigned char b3) {
  return Send(RawChannelMessage(type, b1, b2, b3));
}

unsigned Midi::playNote(unsigned char ch, unsigned char key, unsigned char vel) {
  return Send(NoteMessage(ch, key, vel));
}

unsigned Midi::ControlChange(unsigned char ch, unsigned char ctrl, unsigned char val) {
  return Send(ControlMessage(ch, ctrl, val));
}

unsigned Midi::ProgramChange(unsigned char ch, unsigned char patch) {
  return Send(ProgramMessage(ch, patch));
}

void Midi::AllNotesOff() {
  for (int i = 0; i < 16; ++i) {
    Send(AllNotesOffMessage(i));
  }
}

void Midi::ReleaseSoundingNotes() {
  for (int ch = 0; ch < 16; ++ch) {
    for (int key = 0; key < 128; ++key) {
      if (notes_.Take(ch, key) == 0) {
        continue;
      }
      MidiMessage off;
      off.bytes[0] = static_cast<std::uint8_t>(0x80 | ch);
      off.bytes[1] = static_cast<std::uint8_t>(key);
      off.bytes[2] = 0;
      if (output_ != nullptr) {
        output_->Send(lane_, off, due_ns_ != 0 ? due_ns_ : MonotonicNanos());
      }
    }
  }
}

}  // namespace vordel
