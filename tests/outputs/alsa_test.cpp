// The ALSA output (through RtMidi) against the test's own sequencer (support/fake_rtmidi).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "midi/message.h"
#include "outputs/backends.h"
#include "platform/clock.h"
#include "support/fake_rtmidi.h"

namespace vordel {
namespace {

namespace seq = testing::fake_rtmidi;

std::vector<seq::Sent> WaitForSent(std::size_t n) {
  std::vector<seq::Sent> sent;
  for (int i = 0; i < 500 && sent.size() < n; ++i) {
    const auto more = seq::TakeSent();
    sent.insert(sent.end(), more.begin(), more.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return sent;
}

// The two lanes are handed over in the order due, none before its time; a late one at once.
TEST(AlsaOutput, HandsOverAtTheDueTimeInOrder) {
  seq::Reset({});
  OpenResult r = OpenAlsa(OutputRequest{}, "");
  ASSERT_TRUE(r.output);
  const std::int64_t now = MonotonicNanos();
  const std::int64_t due[] = {now + 30 * kNanosPerMilli, now + 10 * kNanosPerMilli,
                              now - 1000 * kNanosPerMilli};
  r.output->Send(Lane::kPlayer, NoteMessage(1, 59, 90), due[2]);
  r.output->Send(Lane::kPlayer, NoteMessage(1, 61, 90), due[0]);
  r.output->Commit(Lane::kPlayer);
  r.output->Send(Lane::kControl, ControlMessage(1, 7, 60), due[1]);
  r.output->Commit(Lane::kControl);
  const auto sent = WaitForSent(3);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].bytes, (std::vector<std::uint8_t>{0x90, 59, 90}));
  EXPECT_EQ(sent[1].bytes, (std::vector<std::uint8_t>{0xB0, 7, 60}));
  EXPECT_EQ(sent[2].bytes, (std::vector<std::uint8_t>{0x90, 61, 90}));
  EXPECT_GE(sent[1].at_ns, due[1]);
  EXPECT_GE(sent[2].at_ns, due[0]);
}

// A sequencer that fails turns the output's status to an error, and nothing more is handed to
// it.
TEST(AlsaOutput, ADriverErrorShowsAndStopsTheSending) {
  seq::Reset({});
  OpenResult r = OpenAlsa(OutputRequest{}, "");
  ASSERT_TRUE(r.output);
  seq::FailSending(true);
  r.output->Send(Lane::kControl, ControlMessage(1, 7, 60), MonotonicNanos());
  r.output->Commit(Lane::kControl);
  for (int i = 0; i < 500 && r.output->Status() == kMidiOk; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_NE(r.output->Status(), kMidiOk);
  seq::FailSending(false);
  r.output->Send(Lane::kControl, ControlMessage(1, 7, 61), MonotonicNanos());
  r.output->Commit(Lane::kControl);
  r.output->Close();
  EXPECT_TRUE(seq::TakeSent().empty());
  // A warning passes, unless it says that the sequencer or the server behind it is gone.
  const std::pair<const char*, bool> kWarnings[] = {{"a passing remark", false},
                                                    {"JACK server not running", true},
                                                    {"error creating ALSA sequencer client", true}};
  for (const auto& [text, fails] : kWarnings) {
    seq::Reset({});
    seq::WarnWhenSending(text);
    OpenResult w = OpenAlsa(OutputRequest{}, "");
    ASSERT_TRUE(w.output);
    w.output->Send(Lane::kControl, ControlMessage(1, 7, 60), MonotonicNanos());
    w.output->Commit(Lane::kControl);
    ASSERT_EQ(WaitForSent(1).size(), 1u);
    w.output->Close();
    EXPECT_EQ(w.output->Status() != kMidiOk, fails) << text;
  }
}

// Through a JACK server, the port fails when the server's socket goes away: RtMidi would wait
// for room in a buffer no server empties.
TEST(AlsaOutput, ThroughJackItFailsWhenTheServerGoes) {
  const std::string server = "vordel-test-" + std::to_string(getpid());
  const std::string socket = "/dev/shm/jack_" + server + "_" + std::to_string(getuid()) + "_0";
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  std::ofstream(socket).put('\n');
  seq::Reset({});
  OpenResult r = OpenRtMidiJack(OutputRequest{}, "");
  ASSERT_TRUE(r.output) << r.error;
  EXPECT_EQ(r.output->Describe(), "JACK (RtMidi) port vordel (not connected)");
  std::remove(socket.c_str());
  for (int i = 0; i < 500 && r.output->Status() == kMidiOk; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(r.output->Status(), kMidiOk);
  r.output->Close();
  unsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace
}  // namespace vordel
