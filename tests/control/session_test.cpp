#include "control/session.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "control/controller.h"
#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"
#include "support/test_support.h"

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
    auto out = std::make_unique<RecordingOutput>(1 << 16);
    rec_ = out.get();
    session_ = std::make_unique<Session>(std::move(out), nullptr, timer_, &log_);
    session_->AddListener(&events_);
  }
  void Compose(const std::string& text, std::int64_t clock_ms = 5) {
    session_->transport().Load(
        session_->composer().ComposeNow(PieceParameters::Parse(text), clock_ms));
  }
  std::ostringstream log_;
  testing::ManualTimerService timer_;
  Events events_;  // outlives the session, which tells it about the last end
  RecordingOutput* rec_;
  std::unique_ptr<Session> session_;
};

TEST(SessionDevices, MessagesLostInsideVordelShowInTheStatus) {
  testing::ManualTimerService timer;
  Events events;
  Session session(std::make_unique<RecordingOutput>(4), nullptr, timer, nullptr);
  session.AddListener(&events);
  EXPECT_EQ(session.GetOUTStatusStr(), "MOUT OK");
  pollfd ready{session.composer().ReadyFd(), POLLIN, 0};
  EXPECT_EQ(poll(&ready, 1, 0), 0);   // nothing composed yet
  session.transport().SetVolume(64);  // four messages: the recording is full
  session.transport().SetVolume(65);
  EXPECT_EQ(session.LostMessages(), 4u);
  EXPECT_EQ(session.GetOUTStatusStr(), "MOUT OK (4 lost)");
  session.Poll();
  EXPECT_EQ(events.seen,
            std::vector<std::string>{"devices MIN none / MOUT OK (4 lost) (recording)"});
  EXPECT_EQ(session.GetINStatusStr(), "MIN none");  // no input here
  const Session unplugged(nullptr, nullptr, timer, nullptr);
  EXPECT_EQ(unplugged.LostMessages(), 0u);
}

TEST_F(SessionTest, AFadedStopLowersTheVolumeThenEndsEveryNote) {
  Compose("0 50 40 1 0");
  session_->transport().SetVolume(90);
  ASSERT_TRUE(session_->transport().Play());
  for (int i = 0; i < 200; ++i) {
    timer_.Tick();
  }
  rec_->Clear();
  session_->transport().Stop("stop", 300);
  EXPECT_TRUE(session_->transport().Fading());
  for (int i = 0; i < 1000 && session_->transport().Fading(); ++i) {
    timer_.Tick();
    session_->Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(session_->transport().Fading());
  std::vector<int> levels;  // controller 7 of channel 1, as sent
  bool notes_after_silence = false;
  for (const auto& b : rec_->Bytes()) {
    if (b[0] == 0xB0 && b[1] == 7) {
      levels.push_back(b[2]);
    } else if (!levels.empty() && levels.back() == 0 && (b[0] & 0xF0) == 0x90 && b[2] != 0) {
      notes_after_silence = true;
    }
  }
  ASSERT_GE(levels.size(), 3u);  // a ramp, not a jump
  EXPECT_TRUE(std::is_sorted(levels.rbegin(), levels.rend()));
  EXPECT_LE(levels.front(), 90);
  EXPECT_EQ(levels.back(), 0);
  EXPECT_FALSE(notes_after_silence);
  timer_.RunUntilStopped(10);
  session_->Poll();
  EXPECT_EQ(events_.seen.back(), "ended stop");
  // The next start is at the volume set before the fade; a second stop during a fade is at once.
  rec_->Clear();
  ASSERT_TRUE(session_->transport().Play());
  EXPECT_EQ(rec_->Bytes().front(), (std::vector<int>{0xB0, 7, 90}));
  // Only that once; a stop with nothing playing is at once too.
  session_->transport().Stop("stop", 0);
  timer_.RunUntilStopped(10);
  session_->transport().Stop("stop", 300);
  EXPECT_FALSE(session_->transport().Fading());
  rec_->Clear();
  ASSERT_TRUE(session_->transport().Play());
  EXPECT_EQ(rec_->Bytes(), std::vector<std::vector<int>>{});
  session_->transport().Stop("stop", 5000);
  session_->transport().Stop("stop", 5000);
  EXPECT_FALSE(session_->transport().Fading());
  EXPECT_EQ(session_->player().StopRequested(), 1);
  // A piece that reaches its end while it fades out ends for the fade's reason.
  timer_.RunUntilStopped(10);
  session_->Poll();
  ASSERT_TRUE(session_->transport().Play());
  session_->transport().Stop("next", 600000);
  timer_.RunUntilStopped(100000);
  session_->Poll();
  EXPECT_FALSE(session_->transport().Fading());
  EXPECT_EQ(events_.seen.back(), "ended next");
}

// A piece that follows another seamlessly is said as a loaded one is: how to make it again and
// its own warnings, once.
TEST_F(SessionTest, APieceThatFollowsShowsItsWarnings) {
  Compose("0 50 40 100 0");
  ASSERT_TRUE(session_->transport().Play());
  session_->transport().Queue(
      session_->composer().ComposeNow(PieceParameters::Parse("0 50 40 200 0"), 7), 0);
  log_.str("");
  for (int i = 0; i < 100000 && events_.seen.size() < 5; ++i) {
    timer_.Tick();
    session_->Poll();
  }
  const std::string log = log_.str();
  ASSERT_EQ(events_.seen.size(), 5u);
  EXPECT_EQ(events_.seen[2], "ended end");  // the follower was built in its place, and started
  EXPECT_EQ(events_.seen[4], "started");
  EXPECT_NE(log.find("--clock 7"), std::string::npos) << log;
  const auto warning = log.find("[Warning] section 1: tempo 200 is outside 1-100");
  EXPECT_NE(warning, std::string::npos) << log;
  EXPECT_EQ(log.find("[Warning]", warning + 1), std::string::npos) << log;
  EXPECT_EQ(session_->Warnings().size(), 1u);
  // It goes on the same time line: no new position line.
  EXPECT_EQ(log.find("[SetPosition]"), std::string::npos) << log;
}

}  // namespace
}  // namespace vordel
