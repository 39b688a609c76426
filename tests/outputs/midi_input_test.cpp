// The MIDI input on JACK, against the test's own JACK server (support/fake_jack).
#include "outputs/midi_input.h"

#include <gtest/gtest.h>

#include <jack/jack.h>
#include <fstream>

#include "support/fake_jack.h"

namespace vordel {
namespace {

namespace jack = testing::fake_jack;

class MidiInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    jack::Reset(true);
    input_ = OpenMidiInput("vordel");
  }
  void TearDown() override {
    input_.reset();
    jack::Reset(false);
  }
  std::vector<std::vector<std::uint8_t>> TakeAll() {
    std::vector<std::vector<std::uint8_t>> got;
    MidiMessage m;
    std::int64_t arrived_us = 0;
    while (input_->Take(&m, &arrived_us)) {
      got.emplace_back(m.bytes, m.bytes + m.size);
    }
    return got;
  }
  std::unique_ptr<MidiInput> input_;
};

// What a control source can use is kept, in order: channel messages and real-time bytes;
// system exclusive, running status and longer messages are not.
TEST_F(MidiInputTest, KeepsTheMessagesAControlSourceCanUse) {
  ASSERT_EQ(input_->Status(), 0u);
  EXPECT_EQ(input_->Describe(), "JACK port vordel-in:vordel in");
  const std::vector<std::vector<std::uint8_t>> arriving = {
      {0x90, 60, 100}, {0xF0, 0x7E, 0xF7}, {60, 100}, {0xB0, 7, 100, 5}, {0xFA}, {0xC1, 5}, {}};
  for (const auto& bytes : arriving) {
    jack::Arrive(bytes);
  }
  jack::RunCycle(jack::Now());
  EXPECT_EQ(TakeAll(),
            (std::vector<std::vector<std::uint8_t>>{{0x90, 60, 100}, {0xFA}, {0xC1, 5}}));
  EXPECT_EQ(input_->Dropped(), 0u);
}

// More than the ring holds in one cycle: the rest is counted, never blocks the cycle.
TEST_F(MidiInputTest, AFloodIsCountedNotQueuedWithoutEnd) {
  for (int i = 0; i < 5000; ++i) {
    jack::Arrive({0x90, static_cast<std::uint8_t>(i % 128), 1});
  }
  jack::RunCycle(jack::Now());
  const auto got = TakeAll();
  EXPECT_GE(got.size(), 4000u);
  EXPECT_GT(input_->Dropped(), 0u);
  EXPECT_EQ(got.size() + input_->Dropped(), 5000u);
  EXPECT_EQ(got.front(), (std::vector<std::uint8_t>{0x90, 0, 1}));
}

// Without a MIDI system there is no input: "MIN none", nothing to connect, and a connection
// asked for fails with the reason.
TEST(MidiInputNone, SaysSoAndConnectsNothing) {
  if (std::ifstream("/dev/snd/seq").good()) {
    GTEST_SKIP() << "this machine has an ALSA sequencer";
  }
  jack::Reset(false);  // no JACK server either
  const std::unique_ptr<MidiInput> input = OpenMidiInput("vordel");
  EXPECT_EQ(GetINStatusStr(input->Status()), std::string("MIN none"));
  EXPECT_TRUE(input->Sources().empty());
  std::string error;
  EXPECT_FALSE(input->Connect("keyboard:out", &error));
  EXPECT_EQ(error, "no MIDI system is running");
  EXPECT_EQ(input->Connected(), "");
}

}  // namespace
}  // namespace vordel
