#include "control/command_sources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/osc_peer.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

class FakeSource : public CommandSource {
 public:
  FakeSource(std::string name, bool works, int* stops)
      : name_(std::move(name)), works_(works), stops_(stops) {}
  std::string Name() const override { return name_; }
  bool Start(CommandQueue&, std::string* error) override {
    if (!works_) {
      *error = name_ + " cannot work here";
    }
    return works_;
  }
  void Stop() override { ++*stops_; }

 private:
  std::string name_;
  bool works_;
  int* stops_;
};

TEST(CommandSources, StartInOrderSayWhatCannotWorkAndStopOnce) {
  testing::ManualTimerService timer;
  Session session(std::make_unique<RecordingOutput>(1 << 16), nullptr, timer, nullptr);
  std::vector<std::string> log;
  int stops = 0;
  CommandQueue queue;
  {
    CommandSources sources(session, [&log](const std::string& line) { log.push_back(line); });
    sources.Add(std::make_unique<FakeSource>("clipboard", true, &stops));
    sources.AddRemote({"127.0.0.1", 0, ""});  // no OSC, and no MIDI input in this session
    sources.Add(std::make_unique<FakeSource>("pipe", false, &stops));
    sources.Add(std::make_unique<FakeSource>("stdin", true, &stops));
    EXPECT_EQ(sources.Start(queue), (std::vector<std::string>{"clipboard", "stdin"}));
    EXPECT_EQ(log, std::vector<std::string>{"pipe cannot work here"});
    EXPECT_EQ(sources.OscPort(), 0);
    sources.Stop();
    EXPECT_EQ(stops, 3);
  }
  EXPECT_EQ(stops, 3);  // going out of scope after Stop stops nothing twice
}

TEST(CommandSources, OscHearsOfPlaybacksOnlyWhileItRuns) {
  testing::CoutCapture quiet;
  testing::ManualTimerService timer;
  Session session(std::make_unique<RecordingOutput>(1 << 16), nullptr, timer, nullptr);
  session.SetPiece(testing::ComposeText("0 50 40 1 0", 1));
  CommandQueue queue;
  testing::OscPeer peer;
  {
    CommandSources sources(session, [](const std::string&) {});
    sources.AddRemote({"127.0.0.1", 17970, ""});
    EXPECT_EQ(sources.Start(queue), std::vector<std::string>{"OSC"});
    ASSERT_GE(sources.OscPort(), 17970);
    // Packets are taken in order: once the status is answered, the subscription holds.
    peer.Send(sources.OscPort(), "/vordel/subscribe");
    peer.Send(sources.OscPort(), "/vordel/status");
    ASSERT_TRUE(peer.Await("/vordel/status"));
    ASSERT_TRUE(session.StartPlayback());
    EXPECT_TRUE(peer.Await("/vordel/started"));
  }
  // The sources are gone: the session must not tell them of the next playback.
  EXPECT_TRUE(session.StartPlayback());
  session.Shutdown("quit");
}

}  // namespace
}  // namespace vordel
