#include "control/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "control/controller.h"
#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"

namespace vordel {
namespace {

class Events : public SessionListener {
 public:
  void PieceBuilt(const std::string& r) override { seen.push_back("built " + r); }
  void PieceRefused(const std::string&) override { seen.push_back("refused"); }
  void PlaybackStarted() override { seen.push_back("started"); }
  void PlaybackEnded(const std::string& why) override { seen.push_back("ended " + why); }
  void DevicesChanged(const std::string& line) override { seen.push_back("devices " + line); }
  std::vector<std::string> seen;
};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    ResetRestPlanners();
    auto out = std::make_unique<RecordingOutput>(1 << 20);
    rec_ = out.get();
    session_ = std::make_unique<Session>(std::move(out), nullptr, timer_, &log_);
    session_->AddListener(&events_);
  }
  testing::CoutCapture quiet_;
  std::ostringstream log_;
  testing::ManualTimerService timer_;
  Events events_;  // outlives the session, which tells it about the last end
  RecordingOutput* rec_;
  std::unique_ptr<Session> session_;
};

TEST_F(SessionTest, PlaybacksAreReportedWithWhyTheyEnded) {
  ScopedClockPin pin(5);
  session_->Compose("0 50 40 1 0");
  ASSERT_EQ(events_.seen.size(), 1u);
  EXPECT_EQ(events_.seen[0], "built vordel-compose --clock 5 --dump '0 50 40 1 0'");
  EXPECT_NE(log_.str().find("[Reproduce] vordel-compose --clock 5"), std::string::npos);
  ASSERT_TRUE(session_->StartPlayback());
  EXPECT_EQ(events_.seen.back(), "started");
  timer_.RunUntilStopped(1 << 20);
  session_->Poll();
  EXPECT_EQ(events_.seen.back(), "ended end");
  ASSERT_TRUE(session_->StartPlayback());
  session_->ExpectEnd("stop");
  session_->player().RaiseStop();
  timer_.Tick();
  session_->Poll();
  EXPECT_EQ(events_.seen.back(), "ended stop");
  session_->player().ClearStop();
  session_->StartPlayback();
  session_->StartPlayback();  // a start while playing ends the first playback
  EXPECT_EQ(events_.seen[events_.seen.size() - 2], "ended stop");
  session_->Shutdown("quit");
  EXPECT_EQ(events_.seen.back(), "ended quit");
}

TEST_F(SessionTest, SnapshotForOtherThreads) {
  session_->Compose("0 50 40 1 0");
  Session::Snapshot s = session_->GetSnapshot();
  EXPECT_FALSE(s.playing);
  EXPECT_EQ(s.total_ms, session_->composition().Composition_TotalTime);
  EXPECT_EQ(s.reproduce, session_->ReproduceCommandLine());
  session_->StartPlayback();
  for (int i = 0; i < 300; ++i) {
    timer_.Tick();
  }
  s = session_->GetSnapshot();
  EXPECT_TRUE(s.playing);
  EXPECT_EQ(s.playback_ms, 300);
  EXPECT_GT(s.events_played, 0);
}

TEST_F(SessionTest, ShutdownEndsEveryNoteAndLostMessagesShow) {
  session_->Compose("0 50 40 1 0");
  session_->StartPlayback();
  for (int i = 0; i < 50; ++i) {
    timer_.Tick();
  }
  session_->midi().playNote(5, 70, 100);  // a note of the control side, still sounding
  rec_->Clear();
  session_->Shutdown("quit");
  const auto sent = rec_->Bytes();
  // Every note started gets its end, then All Notes Off on all sixteen channels.
  int on = 0;
  for (const auto& b : sent) {
    on += (b[0] & 0xF0) == 0x90;
  }
  EXPECT_EQ(on, 0);
  bool channel_off[16] = {};
  for (const auto& b : sent) {
    if ((b[0] & 0xF0) == 0xB0 && b[1] == 123) {
      channel_off[b[0] & 0x0F] = true;
    }
  }
  for (bool off : channel_off) {
    EXPECT_TRUE(off);
  }
  EXPECT_NE(std::find(sent.begin(), sent.end(), std::vector<int>{0x84, 70, 0}), sent.end());
  EXPECT_TRUE(rec_->Closed());
  EXPECT_EQ(session_->GetOUTStatusStr(), "MOUT OK");
}

TEST_F(SessionTest, AnotherOutputReplacesTheCurrentOneAfterACleanStop) {
  session_->Compose("0 50 40 1 0");
  session_->StartPlayback();
  timer_.Tick();
  OutputRequest request;
  request.choice = "recording";
  std::string message;
  const MidiOutput* old = session_->output();
  ASSERT_TRUE(session_->SwitchOutput(request, &message));
  EXPECT_NE(session_->output(), old);
  EXPECT_EQ(session_->OutputBackend(), "recording");
  EXPECT_FALSE(session_->Playing());
  request.choice = "no-such-output";
  EXPECT_FALSE(session_->SwitchOutput(request, &message));
  EXPECT_NE(message.find("no output named"), std::string::npos);
  EXPECT_EQ(session_->OutputBackend(), "recording");
}

TEST(SessionDevices, MessagesLostInsideVordelShowInTheStatus) {
  testing::ManualTimerService timer;
  auto out = std::make_unique<RecordingOutput>(4);
  Session session(std::move(out), nullptr, timer, nullptr);
  EXPECT_EQ(session.GetOUTStatusStr(), "MOUT OK");
  session.SetVolume(64);  // four messages: the recording is full
  session.SetVolume(65);
  EXPECT_EQ(session.LostMessages(), 4u);
  EXPECT_EQ(session.GetOUTStatusStr(), "MOUT OK (4 lost)");
  EXPECT_EQ(session.GetINStatusStr(), "MIN Error.");  // no input here
}

// Pieces heard in the program can be made again with the command it prints, in its order,
// with the clock running freely as in the program.
TEST(SessionPieces, CommandsRebuildThePiecesInTheProgramsOrder) {
  testing::CoutCapture quiet;
  ResetRestPlanners();
  ASSERT_FALSE(PinnedClock().has_value());
  testing::ManualTimerService timer;
  Session session(std::make_unique<RecordingOutput>(1 << 16), nullptr, timer, nullptr);
  std::vector<std::pair<std::string, std::string>> built;  // command, dump
  const char* strings[] = {"0 80 40 30 25 1 50 30 23 20", "3 50 40 50 10",
                           "0 80 40 30 25 3 60 70 40 20",
                           "4 60 70 20 30\t2 40 55 80 12\n0 90 20 95 60"};
  for (const char* s : strings) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a new clock value
    session.Compose(s);
    built.emplace_back(session.ReproduceCommandLine(), testing::DumpLines(session.composition()));
  }
  EXPECT_EQ(built[0].first.find("--rest-planner-started"), std::string::npos);
  EXPECT_NE(built[2].first.find("--rest-planner-started"), std::string::npos);
  for (const auto& [command, dump] : built) {
    // What the tool does with the command: pin the clock, mark the planner, build fresh.
    std::istringstream words(command);
    std::string w;
    std::int64_t clock_ms = 0;
    bool started = false;
    while (words >> w) {
      if (w == "--clock") {
        words >> clock_ms;
      }
      started = started || w == "--rest-planner-started";
    }
    const std::string text =
        command.substr(command.find('\'') + 1, command.rfind('\'') - command.find('\'') - 1);
    testing::FreshComposer fresh(clock_ms);
    if (started) {
      MarkIntroRestPlannerStarted();
    }
    testing::TestPiece again;
    BuildPiece(again, text);
    EXPECT_EQ(testing::DumpLines(again), dump) << command;
  }
}

}  // namespace
}  // namespace vordel
