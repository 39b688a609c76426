// MIDI channel messages as this system sends them, and the rules that turn note, controller and
// program requests into their bytes. Channels are numbered 1 to 16 in every operation. Any
// thread; real-time safe (pure functions on small values).
#pragma once

#include <cstdint>

namespace vordel {

struct MidiMessage {
  std::uint8_t bytes[3] = {0, 0, 0};
  std::uint8_t size = 3;  // 2 (program change) or 3; 1 for system real-time input
};

inline bool operator==(const MidiMessage& a, const MidiMessage& b) {
  return a.size == b.size && a.bytes[0] == b.bytes[0] && a.bytes[1] == b.bytes[1] &&
         a.bytes[2] == b.bytes[2];
}

// type | (channel - 1), b2, b3: sent unchanged, no range checks.
MidiMessage RawChannelMessage(unsigned char type, unsigned char channel, unsigned char b2,
                              unsigned char b3);
// Note On with the velocity lowered to 127, or Note Off (release velocity 0) for velocity 0;
// keys outside 1..127 become 60, for starts and ends alike.
MidiMessage NoteMessage(unsigned char channel, unsigned char key, unsigned char velocity);
// Controller and value each replaced by 0 when above 127.
MidiMessage ControlMessage(unsigned char channel, unsigned char controller, unsigned char value);
// Program change to patch - 1 (patch counted from 1; 0 is sent as 0).
MidiMessage ProgramMessage(unsigned char channel, unsigned char patch);
// All Notes Off (controller 123) on channel index 0..15.
MidiMessage AllNotesOffMessage(int channel_index);

// MIDI clock: the one-byte system real-time messages, and Song Position (sixteenths from the
// start, 0..16383).
inline constexpr std::uint8_t kMidiClockTick = 0xF8;
inline constexpr std::uint8_t kMidiStart = 0xFA;
inline constexpr std::uint8_t kMidiContinue = 0xFB;
inline constexpr std::uint8_t kMidiStop = 0xFC;
inline MidiMessage RealTimeMessage(std::uint8_t status) {
  return MidiMessage{{status, 0, 0}, 1};
}
MidiMessage SongPositionMessage(int sixteenths);

inline bool IsNoteOn(const MidiMessage& m) {
  return (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
}
inline bool IsNoteOff(const MidiMessage& m) {
  return (m.bytes[0] & 0xF0) == 0x80 || ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] == 0);
}

// The 128 General MIDI program names, program 0 first.
extern const char* const p_names[128];
// Name of program 0..127 ("" outside the table).
const char* GetGMPatchName(int program);

// Result codes of opening and sending, 0 for success.
inline constexpr unsigned kMidiOk = 0;
inline constexpr unsigned kMidiErrorGeneric = 1;    // the device failed
inline constexpr unsigned kMidiErrorBadDevice = 2;  // no such device
inline constexpr unsigned kMidiNoSystem = 3;        // no MIDI system to open one on (no error)
inline constexpr unsigned kMidiErrorNotReady = 67;  // the output could not take the message

// "MIN OK" / "MIN Error." ("MIN none" when there is no MIDI system to have an input on) and
// "MOUT OK" / "MOUT Error." for an open status.
const char* GetINStatusStr(unsigned status);
const char* GetOUTStatusStr(unsigned status);

}  // namespace vordel
