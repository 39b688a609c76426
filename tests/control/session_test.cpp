#include "control/session.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
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

// The piece the session's composer makes for `text` (waiting at most ten seconds).
std::optional<ReadyPiece> Composed(Session& session, const std::string& text) {
  session.RequestPiece(PieceParameters::Parse(text));
  for (int i = 0; i < 100; ++i) {
    pollfd p{session.ComposedFd(), POLLIN, 0};
    if (poll(&p, 1, 100) == 1) {
      return session.TakeComposed();
    }
  }
  return std::nullopt;
}

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    auto out = std::make_unique<RecordingOutput>(1 << 16);
    rec_ = out.get();
    session_ = std::make_unique<Session>(std::move(out), nullptr, timer_, &log_);
    session_->AddListener(&events_);
  }
  void Compose(const std::string& text, std::int64_t clock_ms = 5) {
    session_->SetPiece(session_->ComposeNow(PieceParameters::Parse(text), clock_ms));
  }
  std::ostringstream log_;
  testing::ManualTimerService timer_;
  Events events_;  // outlives the session, which tells it about the last end
  RecordingOutput* rec_;
  std::unique_ptr<Session> session_;
  std::int64_t first_total_ms_ = 0;
  std::int64_t first_end_tick_ = 0;
};

TEST_F(SessionTest, PlaybacksAreReportedWithWhyTheyEnded) {
  Compose("0 50 40 1 0");
  ASSERT_EQ(events_.seen.size(), 1u);
  EXPECT_EQ(events_.seen[0], "built vordel-compose --clock 5 --dump '0 50 40 1 0'");
  // The composer's lines, then the command that makes the piece again.
  EXPECT_EQ(log_.str(),
            "[SetPosition] Playing from object: 1 / TotTime: 9915 / TotObj: 1 / CurObj: 1 / "
            "Offset: 0\n[Reproduce] vordel-compose --clock 5 --dump '0 50 40 1 0'\n");
  ASSERT_TRUE(session_->StartPlayback());
  EXPECT_EQ(events_.seen.back(), "started");
  for (int i = 0; i < 300; ++i) {
    timer_.Tick();
  }
  const Session::Snapshot s = session_->GetSnapshot();  // what other threads read
  EXPECT_TRUE(s.playing);
  EXPECT_EQ(s.playback_ms, 300);
  EXPECT_GT(s.events_played, 0);
  EXPECT_EQ(s.total_ms, session_->piece().total_ms());
  EXPECT_EQ(s.reproduce, session_->ReproduceCommandLine());
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

TEST_F(SessionTest, ShutdownEndsEveryNoteAndLostMessagesShow) {
  Compose("0 50 40 1 0");
  session_->StartPlayback();
  for (int i = 0; i < 50; ++i) {
    timer_.Tick();
  }
  session_->midi().playNote(5, 70, 100);  // a note of the control side, still sounding
  rec_->Clear();
  session_->Shutdown("quit");
  // Every note started gets its end, then All Notes Off on all sixteen channels.
  std::set<int> off;
  for (const auto& b : rec_->Bytes()) {
    EXPECT_NE(b[0] & 0xF0, 0x90);
    if ((b[0] & 0xF0) == 0xB0 && b[1] == 123) {
      off.insert(b[0] & 0x0F);
    }
  }
  EXPECT_EQ(off.size(), 16u);
  const auto sent = rec_->Bytes();
  EXPECT_NE(std::find(sent.begin(), sent.end(), std::vector<int>{0x84, 70, 0}), sent.end());
  EXPECT_TRUE(rec_->Closed());
  EXPECT_EQ(session_->GetOUTStatusStr(), "MOUT OK");
}

// A switch to another output: a clean stop on the old one; the new one hears the ensemble (each
// channel's program, pan and volume) before anything else, and the volume set since.
TEST_F(SessionTest, AnotherOutputReplacesTheCurrentOneAfterACleanStop) {
  Compose("0 50 40 1 0");
  session_->SetVolume(90);
  session_->StartPlayback();
  timer_.Tick();
  OutputRequest request;
  request.choice = "recording";
  request.record_file = testing::TempPath("switch.txt");
  std::string message;
  const MidiOutput* old = session_->output();
  ASSERT_TRUE(session_->SwitchOutput(request, &message));
  EXPECT_NE(session_->output(), old);
  EXPECT_EQ(session_->OutputBackend(), "recording");
  EXPECT_FALSE(session_->Playing());
  session_->StartPlayback();
  timer_.Tick();
  session_->output()->Close();
  std::ifstream in(request.record_file);
  std::vector<std::string> heard;  // the bytes of each message but the notes, in hex
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string time;
    std::string bytes;
    std::getline(words >> time >> std::ws, bytes);
    if (bytes[0] != '8' && bytes[0] != '9') {  // the notes carry the manual timer's own times
      heard.push_back(bytes);
    }
  }
  std::remove(request.record_file.c_str());
  ASSERT_GE(heard.size(), 16u);
  EXPECT_EQ(
      std::vector<std::string>(heard.begin(), heard.begin() + 16),
      (std::vector<std::string>{"c0 3c", "b0 0a 1e", "b0 07 64", "c1 47", "b1 0a 37", "b1 07 64",
                                "c2 44", "b2 0a 46", "b2 07 64", "c3 2d", "b3 0a 5a", "b3 07 64",
                                "b0 07 5a", "b1 07 5a", "b2 07 5a", "b3 07 5a"}));

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
  const Session unplugged(nullptr, nullptr, timer, nullptr);
  EXPECT_EQ(unplugged.LostMessages(), 0u);
}

TEST_F(SessionTest, ComposesBesideTheCallerAndKeepsOnlyTheNewestRequest) {
  const std::string largest = [] {
    std::string t;
    for (int i = 0; i < 20; ++i) {
      t += "0 50 40 50 1000 ";
    }
    return t;
  }();
  // A request returns at once; a newer one makes the older pointless.
  session_->RequestPiece(PieceParameters::Parse(largest));
  EXPECT_TRUE(session_->Composing());
  const auto ready = Composed(*session_, "3 50 40 50 10");
  ASSERT_TRUE(ready);
  EXPECT_FALSE(session_->Composing());
  EXPECT_NE(ready->piece.Reproduce().find("'3 50 40 50 10'"), std::string::npos);
  EXPECT_FALSE(session_->TakeComposed());  // taken once
  EXPECT_TRUE(events_.seen.empty());       // nothing changes until the piece is set
  session_->SetPiece(*ready);
  EXPECT_EQ(session_->PieceSerial(), 1);
  // The next piece carries the state this one left (its Introduction rests started).
  const auto next = Composed(*session_, "3 50 40 50 10");
  ASSERT_TRUE(next);
  EXPECT_NE(next->piece.Reproduce().find("--rest-planner-started"), std::string::npos);
  // A piece composed at once makes one still being composed pointless.
  session_->RequestPiece(PieceParameters::Parse(largest));
  session_->ComposeNow(PieceParameters::Parse("3 50 40 50 10"), 5);
  EXPECT_FALSE(session_->Composing());
  // Given up: nothing comes.
  session_->RequestPiece(PieceParameters::Parse(largest));
  session_->CancelComposing();
  EXPECT_FALSE(session_->Composing());
  pollfd p{session_->ComposedFd(), POLLIN, 0};
  poll(&p, 1, 200);
  EXPECT_FALSE(session_->TakeComposed());
}

TEST_F(SessionTest, APieceThatFollowsIsToldAsOneEndAndOneStart) {
  Compose("0 50 60 1 0");
  first_total_ms_ = session_->piece().total_ms();
  first_end_tick_ = session_->piece().end_tick();
  ASSERT_GT(first_total_ms_, first_end_tick_ + 1);  // it ends with a pause
  const ReadyPiece second = session_->ComposeNow(PieceParameters::Parse("1 50 30 1 0"), 9);
  session_->SetFollowing(second, 0);
  EXPECT_TRUE(session_->HasFollowing());
  ASSERT_TRUE(session_->StartPlayback());
  events_.seen.clear();
  int ticks = 0;
  while (timer_.Tick() && session_->PieceSerial() == 1) {
    if (++ticks % 100 == 0) {
      session_->Poll();
    }
  }
  session_->Poll();
  EXPECT_EQ(session_->PieceSerial(), 2);
  EXPECT_EQ(session_->piece().Reproduce(), second.piece.Reproduce());
  EXPECT_FALSE(session_->HasFollowing());
  // Its playback starts when its first tick has come, after the first piece's own end.
  EXPECT_EQ(events_.seen,
            (std::vector<std::string>{"ended end", "built " + second.piece.Reproduce()}));
  while (session_->player().LastTimeSetEvID() == 0 && timer_.Tick()) {
  }
  session_->Poll();
  EXPECT_EQ(events_.seen.back(), "started");
  timer_.RunUntilStopped(1 << 20);
  session_->Poll();
  EXPECT_EQ(events_.seen.back(), "ended end");
  // The follower's tick 0 comes right after the first piece's own end, its last pause
  // included: its first note is due exactly then.
  EXPECT_EQ(session_->player().GetSchedule(), second.schedule.get());
  const MidiMessage first_note = second.schedule->messages.front().message;
  const std::int64_t starts_at = std::max(first_total_ms_, first_end_tick_ + 1);
  bool found = false;
  for (const auto& r : rec_->Records()) {
    if (r.lane == Lane::kPlayer &&
        r.due_ns >= timer_.first_deadline_ns + starts_at * kNanosPerMilli &&
        std::equal(r.message.bytes, r.message.bytes + 3, first_note.bytes)) {
      EXPECT_EQ(r.due_ns,
                timer_.first_deadline_ns +
                    (starts_at + second.schedule->messages.front().tick) * kNanosPerMilli);
      found = true;
      break;
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(SessionTest, AFadedStopLowersTheVolumeThenEndsEveryNote) {
  Compose("0 50 40 1 0");
  session_->SetVolume(90);
  ASSERT_TRUE(session_->StartPlayback());
  for (int i = 0; i < 200; ++i) {
    timer_.Tick();
  }
  rec_->Clear();
  session_->Stop("stop", 300);
  EXPECT_TRUE(session_->Fading());
  for (int i = 0; i < 1000 && session_->Fading(); ++i) {
    timer_.Tick();
    session_->Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(session_->Fading());
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
  session_->player().ClearStop();
  ASSERT_TRUE(session_->StartPlayback());
  EXPECT_EQ(rec_->Bytes().front(), (std::vector<int>{0xB0, 7, 90}));
  // Only that once; a stop with nothing playing is at once too.
  session_->Stop("stop", 0);
  timer_.RunUntilStopped(10);
  session_->player().ClearStop();
  session_->Stop("stop", 300);
  EXPECT_FALSE(session_->Fading());
  rec_->Clear();
  ASSERT_TRUE(session_->StartPlayback());
  EXPECT_EQ(rec_->Bytes(), std::vector<std::vector<int>>{});
  session_->Stop("stop", 5000);
  session_->Stop("stop", 5000);
  EXPECT_FALSE(session_->Fading());
  EXPECT_EQ(session_->player().GetStopPlaying(), 1);
  // A piece that reaches its end while it fades out ends for the fade's reason.
  timer_.RunUntilStopped(10);
  session_->Poll();
  session_->player().ClearStop();
  ASSERT_TRUE(session_->StartPlayback());
  session_->Stop("next", 600000);
  timer_.RunUntilStopped(100000);
  session_->Poll();
  EXPECT_FALSE(session_->Fading());
  EXPECT_EQ(events_.seen.back(), "ended next");
}

TEST(SessionFailures, AnIncompleteRecordingIsSaidAtTheEnd) {
  testing::ManualTimerService timer;
  std::string error;
  auto out = RecordFileOutput::Open("/dev/full", &error);
  ASSERT_TRUE(out);
  Session session(std::move(out), nullptr, timer, nullptr);
  session.SetVolume(64);
  session.Shutdown("quit");
  ASSERT_EQ(session.Failures().size(), 1u);
  EXPECT_NE(session.Failures()[0].find("No space left on device"), std::string::npos);
}

}  // namespace
}  // namespace vordel
