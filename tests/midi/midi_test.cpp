#include "midi/midi.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

// Keeps what both lanes send.
class LaneRecorder : public MidiOutput {
 public:
  struct Sent {
    Lane lane;
    Bytes bytes;
    std::int64_t due;
  };
  unsigned Status() const override { return status; }
  unsigned Send(Lane lane, const MidiMessage& m, std::int64_t due) override {
    std::lock_guard<std::mutex> lock(mutex);
    sent.push_back({lane, Bytes(m.bytes, m.bytes + m.size), due});
    return status;
  }
  void Commit(Lane) override { ++commits; }
  void Close() override {}
  std::string Describe() const override { return "lanes"; }
  std::vector<Bytes> AllBytes() {
    std::vector<Bytes> out;
    for (const Sent& s : sent) {
      out.push_back(s.bytes);
    }
    return out;
  }
  std::mutex mutex;
  std::vector<Sent> sent;
  unsigned status = kMidiOk;
  int commits = 0;
};

TEST(Midi, EachLaneStampsItsMessages) {
  LaneRecorder out;
  NoteTracker notes;
  Midi tick(&out, Lane::kPlayer, notes);
  Midi control(&out, Lane::kControl, notes);
  tick.SetDue(5'000'000'000);
  tick.playNote(1, 64, 100);
  tick.Commit();
  const std::int64_t before = MonotonicNanos();
  control.ControlChange(1, 7, 90);
  EXPECT_EQ(out.commits, 1);
  ASSERT_EQ(out.sent.size(), 2u);
  EXPECT_EQ(out.sent[0].lane, Lane::kPlayer);
  EXPECT_EQ(out.sent[0].due, 5'000'000'000);  // the tick's own due time, however late it runs
  EXPECT_EQ(out.sent[1].lane, Lane::kControl);
  EXPECT_GE(out.sent[1].due, before);  // the control lane stamps the moment it sends
  control.ProgramChange(4, 128);
  control.sendMidiEvent(0xE0, 2, 1, 2);
  EXPECT_EQ(out.sent[2].bytes, (Bytes{0xC3, 127}));
  EXPECT_EQ(out.sent[3].bytes, (Bytes{0xE1, 1, 2}));
}

TEST(Midi, NotesStartedOnEitherLaneAreReleasedOnce) {
  LaneRecorder out;
  NoteTracker notes;
  Midi tick(&out, Lane::kPlayer, notes);
  Midi control(&out, Lane::kControl, notes);
  tick.playNote(1, 60, 90);
  tick.playNote(3, 0, 90);  // sounds as key 60 on channel 3
  control.playNote(2, 70, 90);
  tick.playNote(2, 70, 0);  // ended on the other lane
  EXPECT_EQ(notes.Sounding(), 2);
  out.sent.clear();
  control.ReleaseSoundingNotes();
  EXPECT_EQ(out.AllBytes(), (std::vector<Bytes>{{0x80, 60, 0}, {0x82, 60, 0}}));
  tick.ReleaseSoundingNotes();
  EXPECT_EQ(out.sent.size(), 2u);
  EXPECT_EQ(notes.Sounding(), 0);
  control.AllNotesOff();
  EXPECT_EQ(out.sent.size(), 2u + 16u);
}

TEST(Midi, FailedOrMissingOutputsCountErrors) {
  LaneRecorder out;
  out.status = kMidiErrorGeneric;
  NoteTracker notes;
  Midi midi(&out, Lane::kControl, notes);
  EXPECT_NE(midi.playNote(1, 60, 1), kMidiOk);
  EXPECT_EQ(midi.SendErrors(), 1u);
  Midi none(nullptr, Lane::kControl, notes);
  EXPECT_EQ(none.playNote(1, 60, 1), kMidiErrorBadDevice);
  EXPECT_EQ(none.SendErrors(), 1u);
}

}  // namespace
}  // namespace vordel
