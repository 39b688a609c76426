#include "midi/message.h"

#include <gtest/gtest.h>

#include <vector>

namespace vordel {
namespace {

using Bytes = std::vector<int>;

Bytes B(const MidiMessage& m) {
  return Bytes(m.bytes, m.bytes + m.size);
}

TEST(MidiMessage, NoteRules) {
  EXPECT_EQ(B(NoteMessage(1, 64, 100)), (Bytes{0x90, 64, 100}));
  EXPECT_EQ(B(NoteMessage(1, 64, 0)), (Bytes{0x80, 64, 0}));
  EXPECT_EQ(B(NoteMessage(10, 0, 90)), (Bytes{0x99, 60, 90}));
  EXPECT_EQ(B(NoteMessage(2, 200, 200)), (Bytes{0x91, 60, 127}));
  EXPECT_EQ(B(NoteMessage(16, 128, 1)), (Bytes{0x9F, 60, 1}));
  EXPECT_TRUE(IsNoteOn(NoteMessage(1, 60, 1)));
  EXPECT_TRUE(IsNoteOff(NoteMessage(1, 60, 0)));
  MidiMessage on_zero;
  on_zero.bytes[0] = 0x90;
  on_zero.bytes[1] = 60;
  EXPECT_TRUE(IsNoteOff(on_zero));  // a Note On with velocity 0 ends the note
}

TEST(MidiMessage, ControllerProgramAndRawRules) {
  EXPECT_EQ(B(ControlMessage(1, 7, 200)), (Bytes{0xB0, 7, 0}));
  EXPECT_EQ(B(ControlMessage(16, 130, 5)), (Bytes{0xBF, 0, 5}));
  EXPECT_EQ(B(ControlMessage(2, 127, 127)), (Bytes{0xB1, 127, 127}));  // the highest that fit
  EXPECT_EQ(B(ProgramMessage(1, 1)), (Bytes{0xC0, 0}));
  EXPECT_EQ(B(ProgramMessage(3, 0)), (Bytes{0xC2, 0}));
  EXPECT_EQ(B(ProgramMessage(4, 128)), (Bytes{0xC3, 127}));
  EXPECT_EQ(B(RawChannelMessage(0xE0, 2, 0x7F, 0x7F)), (Bytes{0xE1, 0x7F, 0x7F}));
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(B(AllNotesOffMessage(i)), (Bytes{0xB0 + i, 123, 0}));
  }
}

// MIDI clock: one byte each, and Song Position in sixteenths, low seven bits first, kept inside
// the fourteen bits it has.
TEST(MidiMessage, ClockAndSongPosition) {
  EXPECT_EQ(B(RealTimeMessage(kMidiClockTick)), (Bytes{0xF8}));
  EXPECT_EQ(B(RealTimeMessage(kMidiStop)), (Bytes{0xFC}));
  EXPECT_EQ(B(SongPositionMessage(0)), (Bytes{0xF2, 0, 0}));
  EXPECT_EQ(B(SongPositionMessage(130)), (Bytes{0xF2, 2, 1}));
  EXPECT_EQ(B(SongPositionMessage(16383)), (Bytes{0xF2, 0x7F, 0x7F}));
  EXPECT_EQ(B(SongPositionMessage(20000)), (Bytes{0xF2, 0x7F, 0x7F}));
  EXPECT_EQ(B(SongPositionMessage(-3)), (Bytes{0xF2, 0, 0}));
}

}  // namespace
}  // namespace vordel
