#include "midi/midi.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "midi/queued_output.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

struct MidiFixture : ::testing::Test {
  MidiFixture() {
    auto out = std::make_unique<RecordingOutput>(4096);
    rec = out.get();
    midi = std::make_unique<Midi>(std::move(out), kMidiOk);
  }
  std::vector<Bytes> Sent() const {
    std::vector<Bytes> v;
    for (const auto& r : rec->Records()) {
      Bytes b(r.message.bytes, r.message.bytes + r.message.size);
      v.push_back(b);
    }
    return v;
  }
  RecordingOutput* rec;
  std::unique_ptr<Midi> midi;
};

TEST_F(MidiFixture, NoteMessages) {
  midi->playNote(1, 64, 100);
  midi->playNote(1, 64, 0);
  midi->playNote(10, 0, 90);
  midi->playNote(2, 200, 200);
  midi->playNote(16, 128, 1);
  EXPECT_EQ(Sent(),
            (std::vector<Bytes>{
                {0x90, 64, 100}, {0x80, 64, 0}, {0x99, 60, 90}, {0x91, 60, 127}, {0x9F, 60, 1}}));
}

TEST_F(MidiFixture, ControllerAndProgramMessages) {
  midi->ControlChange(1, 7, 200);
  midi->ControlChange(16, 130, 5);
  midi->ProgramChange(1, 1);
  midi->ProgramChange(3, 0);
  midi->ProgramChange(4, 128);
  midi->sendMidiEvent(0xE0, 2, 0x7F, 0x7F);
  EXPECT_EQ(
      Sent(),
      (std::vector<Bytes>{
          {0xB0, 7, 0}, {0xBF, 0, 5}, {0xC0, 0}, {0xC2, 0}, {0xC3, 127}, {0xE1, 0x7F, 0x7F}}));
}

TEST_F(MidiFixture, AllNotesOffIsSixteenControllers) {
  midi->AllNotesOff();
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(sent[static_cast<std::size_t>(i)], (Bytes{0xB0 + i, 123, 0}));
  }
}

TEST_F(MidiFixture, SoundingNotesAreReleasedOnce) {
  midi->playNote(1, 60, 90);
  midi->playNote(3, 0, 90);  // sounds as key 60 on channel 3
  midi->playNote(2, 70, 90);
  midi->playNote(2, 70, 0);  // ended
  EXPECT_EQ(midi->SoundingNotes(), 2);
  rec->Clear();
  midi->ReleaseSoundingNotes();
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x80, 60, 0}, {0x82, 60, 0}}));
  midi->ReleaseSoundingNotes();
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(midi->SoundingNotes(), 0);
}

TEST_F(MidiFixture, NamesAndStatus) {
  EXPECT_STREQ(midi->GetGMPatchName(0), "Acoustic grand piano");
  EXPECT_STREQ(midi->GetGMPatchName(60), "French horn");
  EXPECT_STREQ(midi->GetGMPatchName(109), "bagpipe");
  EXPECT_STREQ(midi->GetGMPatchName(127), "Gunshot");
  EXPECT_STREQ(midi->GetGMPatchName(128), "");
  EXPECT_STREQ(midi->GetOUTStatusStr(), "MOUT OK");
  EXPECT_STREQ(midi->GetINStatusStr(), "MIN OK");
}

TEST(Midi, FailedOutputReportsErrors) {
  auto out = std::make_unique<RecordingOutput>(16, kMidiErrorGeneric);
  RecordingOutput* rec = out.get();
  Midi midi(std::move(out), kMidiErrorBadDevice);
  EXPECT_STREQ(midi.GetOUTStatusStr(), "MOUT Error.");
  EXPECT_STREQ(midi.GetINStatusStr(), "MIN Error.");
  EXPECT_NE(midi.playNote(1, 60, 1), kMidiOk);
  EXPECT_EQ(midi.SendErrors(), 1u);
  midi.CloseDevices();
  EXPECT_TRUE(rec->Closed());                   // released even after a failure
  EXPECT_NE(midi.playNote(1, 60, 1), kMidiOk);  // after closing nothing is sent

  Midi none;
  EXPECT_STREQ(none.GetOUTStatusStr(), "MOUT Error.");
  EXPECT_EQ(none.playNote(1, 60, 1), kMidiErrorBadDevice);
}

// A device that keeps what the sender thread delivers.
class FakeDevice : public QueuedOutput {
 public:
  explicit FakeDevice(std::size_t capacity) : QueuedOutput(capacity) { Start(); }
  ~FakeDevice() override { Close(); }
  std::string Describe() const override { return "fake"; }
  std::vector<MidiMessage> delivered;
  bool device_closed = false;
  unsigned fail_with = kMidiOk;

 protected:
  unsigned Deliver(const MidiMessage& m) override {
    delivered.push_back(m);
    return fail_with;
  }
  void CloseDevice() override { device_closed = true; }
};

TEST(QueuedOutput, DeliversEveryMessageOfTwoSendersInOrderBeforeClosing) {
  FakeDevice dev(1 << 16);
  auto sender = [&dev](std::uint8_t channel) {
    for (int i = 0; i < 20000; ++i) {
      dev.Send(MidiMessage{
          {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(i % 128),
           static_cast<std::uint8_t>((i / 128) % 128)},
          3});
    }
  };
  std::thread a(sender, 0);
  std::thread b(sender, 1);
  a.join();
  b.join();
  dev.Close();
  EXPECT_TRUE(dev.device_closed);
  ASSERT_EQ(dev.delivered.size(), 40000u);
  int next[2] = {0, 0};
  for (const MidiMessage& m : dev.delivered) {
    const int ch = m.bytes[0] & 0x0F;
    const int i = next[ch]++;
    ASSERT_EQ(m.bytes[1], i % 128);
    ASSERT_EQ(m.bytes[2], (i / 128) % 128);
  }
}

TEST(QueuedOutput, FullQueueRefusesInsteadOfWaiting) {
  FakeDevice dev(4);
  int refused = 0;
  for (int i = 0; i < 100000 && refused == 0; ++i) {
    refused += dev.Send(MidiMessage{{0x90, 60, 1}, 3}) == kMidiErrorNotReady;
  }
  dev.Close();
  EXPECT_EQ(static_cast<std::size_t>(refused), dev.Dropped());
}

TEST(QueuedOutput, DeviceFailureShowsInTheStatus) {
  FakeDevice dev(16);
  dev.fail_with = kMidiErrorGeneric;
  dev.Send(MidiMessage{{0x90, 60, 1}, 3});
  dev.Close();
  EXPECT_EQ(dev.Status(), kMidiErrorGeneric);
  Midi midi(std::make_unique<RecordingOutput>(4), kMidiOk);
  EXPECT_STREQ(midi.GetOUTStatusStr(), "MOUT OK");
}

}  // namespace
}  // namespace vordel
