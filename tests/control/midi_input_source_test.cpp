#include "control/midi_input_source.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "support/commands.h"

namespace vordel {
namespace {

MidiMessage M(std::initializer_list<int> bytes) {
  MidiMessage m;
  m.size = static_cast<std::uint8_t>(bytes.size());
  int i = 0;
  for (int b : bytes) {
    m.bytes[i++] = static_cast<std::uint8_t>(b);
  }
  return m;
}

TEST(MidiInputSource, StartContinueStopAndVolume) {
  EXPECT_EQ(CommandFromMidi(M({0xFA}))->kind, Command::Kind::kPlay);
  EXPECT_EQ(CommandFromMidi(M({0xFB}))->kind, Command::Kind::kPlay);
  EXPECT_EQ(CommandFromMidi(M({0xFC}))->kind, Command::Kind::kStop);
  const auto v = CommandFromMidi(M({0xB9, 7, 99}));  // any channel
  ASSERT_TRUE(v);
  EXPECT_EQ(v->kind, Command::Kind::kVolume);
  EXPECT_EQ(v->value, 99);
  EXPECT_FALSE(CommandFromMidi(M({0xB0, 10, 64})));  // pan: not a command
  EXPECT_FALSE(CommandFromMidi(M({0x90, 60, 100})));
  EXPECT_FALSE(CommandFromMidi(M({0xF8})));  // clock ticks pass by
}

class FakeInput : public MidiInput {
 public:
  unsigned Status() const override { return 0; }
  bool Take(MidiMessage* m) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (waiting.empty()) {
      return false;
    }
    *m = waiting.front();
    waiting.pop_front();
    return true;
  }
  std::vector<std::string> Sources() override { return {}; }
  bool Connect(const std::string&, std::string*) override { return false; }
  std::string Connected() const override { return ""; }
  std::string Describe() const override { return "fake"; }
  std::uint64_t Dropped() const override { return 0; }
  std::mutex mutex;
  std::deque<MidiMessage> waiting;
};

TEST(MidiInputSource, PostsWhatArrives) {
  FakeInput input;
  {
    std::lock_guard<std::mutex> lock(input.mutex);
    input.waiting = {M({0xF8}), M({0xFA}), M({0x90, 60, 1}), M({0xB0, 7, 3})};
  }
  CommandQueue queue;
  MidiInputSource source(input);
  std::string error;
  ASSERT_TRUE(source.Start(queue, &error));
  const std::vector<Command> got = testing::WaitForCommands(queue, 2);
  source.Stop();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, Command::Kind::kPlay);
  EXPECT_EQ(got[1].value, 3);
  EXPECT_EQ(got[1].origin, "MIDI input");
}

}  // namespace
}  // namespace vordel
