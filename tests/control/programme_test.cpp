// Playing all day through the controller: a playlist in turn with its gap, a "next", a stop that
// pauses, the hours that open and close, and the journal of it all, with the real composer
// thread and a timer ticked by hand.
#include "control/programme.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "control/controller.h"
#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/test_support.h"

namespace vordel {
namespace {

class Host : public ControllerHost {
 public:
  void MessageBox(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void Invalidate() override {}
  void PostQuit(int) override {}
  void Log(const std::string& line) override { log.push_back(line); }
  std::vector<std::string> log;
};

class Starts : public SessionListener {
 public:
  explicit Starts(Session& s) : session_(s) {}
  void PlaybackStarted() override {
    pieces.push_back(session_.piece().Reproduce());
    first_dues.push_back(session_.player().FirstTickDueNanos());
    const Piece& p = session_.piece();
    own_ends.push_back(std::max(p.total_ms(), p.end_tick() + 1));
  }
  void PlaybackEnded(const std::string& why) override { ends.push_back(why); }
  std::vector<std::string> pieces;
  std::vector<std::int64_t> first_dues;  // of each piece's tick 0
  std::vector<std::int64_t> own_ends;    // each piece's end, its last pause included
  std::vector<std::string> ends;

 private:
  Session& session_;
};

class ProgrammeTest : public ::testing::Test {
 protected:
  void Make(ProgrammeSettings settings) {
    settings.journal = journal_;
    settings.wall_clock = [this] { return wall_; };
    auto out = std::make_unique<RecordingOutput>(1 << 16);
    rec_ = out.get();
    session_ = std::make_unique<Session>(std::move(out), nullptr, timer_, &log_);
    starts_ = std::make_unique<Starts>(*session_);
    session_->AddListener(starts_.get());
    controller_ = std::make_unique<Controller>(*session_, host_, std::move(settings));
    controller_->SetupWindow();
  }
  void TearDown() override {
    controller_.reset();
    if (session_) {
      session_->RemoveListener(starts_.get());
    }
    session_.reset();
    std::remove(journal_.c_str());
  }
  // Runs the program's loop with a tick each time round, until `done` or max_ticks. The
  // composer is a real thread: no tick runs while a piece is still being composed, so that
  // what follows is always ready when the hand-ticked timer gets there.
  template <typename Done>
  bool Drive(Done done, int max_ticks = 400000) {
    for (int i = 0; i < max_ticks; ++i) {
      for (int wait = 0; wait < 100 && (session_->composer().Composing(ComposeFor::kFollowing) ||
                                        session_->composer().Composing(ComposeFor::kCommand));
           ++wait) {
        HandOverComposed();
      }
      controller_->Poll();
      if (done()) {
        return true;
      }
      timer_.Tick();
    }
    return false;
  }
  // Gives the controller the piece the composer has finished, if one comes within 100 ms.
  void HandOverComposed() {
    pollfd p{session_->composer().ReadyFd(), POLLIN, 0};
    if (poll(&p, 1, 100) == 1) {
      controller_->PieceComposed();
    }
  }
  static ProgrammeSettings WithPlaylist(const std::string& text) {
    ProgrammeSettings s;
    s.playlist = ParsePlaylist(text, "list");
    s.gap_ms = 250;
    return s;
  }
  std::string JournalText() const { return testing::ReadFile(journal_); }

  std::string journal_ = testing::TempPath("played.log");
  std::time_t wall_ = 1780000000;
  std::ostringstream log_;
  Host host_;
  testing::ManualTimerService timer_;
  RecordingOutput* rec_ = nullptr;
  std::unique_ptr<Session> session_;
  std::unique_ptr<Starts> starts_;
  std::unique_ptr<Controller> controller_;
};

TEST_F(ProgrammeTest, APlaylistPlaysInTurnWithItsGapAndIsJournalled) {
  Make(WithPlaylist("0 50 40 1 0\n1 2 3\n--clock 77 '4 70 10 1 0'\n"));
  ASSERT_TRUE(Drive([&] { return starts_->pieces.size() >= 3; }));
  EXPECT_NE(starts_->pieces[0].find("'0 50 40 1 0'"), std::string::npos);
  EXPECT_EQ(starts_->pieces[1], "vordel-compose --clock 77 --dump '4 70 10 1 0'");
  EXPECT_NE(starts_->pieces[2].find("'0 50 40 1 0'"), std::string::npos);  // from the top
  EXPECT_EQ(host_.log.front(),
            "playlist line skipped: list:2: Parameter string ignored: it "
            "holds 3 number(s), not one complete group of five.");
  const Programme::Status status = controller_->programme().GetStatus();
  EXPECT_EQ(status.mode, 1);
  EXPECT_EQ(status.position, 1);
  EXPECT_EQ(status.length, 2);
  // The second piece's first tick is due the gap after the first piece's own end (its last
  // pause included), counted in the player's ticks from the first piece's first.
  ASSERT_GE(starts_->own_ends.size(), 2u);
  EXPECT_EQ(starts_->first_dues[1] - timer_.first_deadline_ns,
            (starts_->own_ends[0] + 250) * kNanosPerMilli);
  // Two playbacks ended by themselves, in the journal with the commands that make them again.
  std::istringstream lines(JournalText());
  std::string line;
  std::vector<std::string> fields;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_NE(line.find("\tend\tvordel-compose --clock "), std::string::npos) << line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_NE(line.find("\tend\tvordel-compose --clock 77 --dump '4 70 10 1 0'"), std::string::npos);
  // A piece that takes over from the last one says how to make it again, as every piece does.
  EXPECT_NE(log_.str().find("[Reproduce] vordel-compose --clock 77 --dump"), std::string::npos);
}

TEST_F(ProgrammeTest, AStopPausesANextGoesOnTheHoursOpenAndClose) {
  ProgrammeSettings settings;
  settings.endless = true;
  settings.gap_ms = 100;
  settings.hours = OpeningHours({{600, 1080}});  // 10:00-18:00
  setenv("TZ", "UTC", 1);
  tzset();
  wall_ = 1780000000 - 1780000000 % 86400 + 9 * 3600;  // 09:00: closed
  Make(settings);
  ASSERT_TRUE(Drive([] { return false; }, 200) == false);
  EXPECT_TRUE(starts_->pieces.empty());  // nothing plays before the opening
  EXPECT_EQ(controller_->NoticeText(), "Closed until 10:00.");
  EXPECT_EQ(controller_->programme().GetStatus().seconds_to_next, 3600);
  EXPECT_EQ(controller_->programme().GetStatus().length, 0);  // no playlist
  wall_ += 3600;  // the hours open: endless play starts with the start-up piece
  ASSERT_TRUE(Drive([&] { return starts_->pieces.size() == 1; }));
  EXPECT_NE(starts_->pieces[0].find("'0 80 40 30 25 1 50 30 23 20'"), std::string::npos);
  // A stop pauses: nothing follows.
  Command stop;
  stop.kind = Command::Kind::kStop;
  controller_->Apply(stop);
  ASSERT_TRUE(Drive([] { return false; }, 2000) == false);
  EXPECT_EQ(starts_->pieces.size(), 1u);
  EXPECT_EQ(starts_->ends.back(), "stop");
  // A playlist given while paused plays from its top.
  const std::string list = testing::TempPath("list.txt");
  std::ofstream(list) << "3 50 40 50 10\n1 2\n";
  std::string error_text;
  std::optional<Playlist> loaded = LoadPlaylist(list, &error_text);
  ASSERT_TRUE(loaded) << error_text;
  controller_->programme().UsePlaylist(std::move(*loaded));
  std::remove(list.c_str());
  EXPECT_EQ(host_.log.back().rfind("playlist line skipped: " + list + ":2: ", 0), 0u)
      << host_.log.back();
  ASSERT_TRUE(Drive([&] { return starts_->pieces.size() == 2; }));
  EXPECT_NE(starts_->pieces[1].find("'3 50 40 50 10'"), std::string::npos);
  controller_->Apply(stop);
  ASSERT_FALSE(Drive([] { return false; }, 200));
  // A "next" plays a new piece of the same string after the gap.
  Command next;
  next.kind = Command::Kind::kNext;
  controller_->Apply(next);
  ASSERT_TRUE(Drive([&] { return starts_->pieces.size() == 3; }));
  EXPECT_NE(starts_->pieces[2], starts_->pieces[1]);
  EXPECT_NE(starts_->pieces[2].find("'3 50 40 50 10'"), std::string::npos);
  // The hours close: the playback ends, and why.
  wall_ += 8 * 3600;
  ASSERT_TRUE(Drive([&] { return !session_->transport().Playing(); }, 1000));
  EXPECT_EQ(starts_->ends.back(), "hours");
  EXPECT_NE(JournalText().find("\thours\t"), std::string::npos);
  unsetenv("TZ");
  tzset();
}

// A stop that fades out is a stop: the piece composed to follow while it fades waits, and the
// playing piece that reaches its end before the fade does still ends as stopped.
TEST_F(ProgrammeTest, AStopThatFadesOutIsAStopWhateverIsComposedMeanwhile) {
  ProgrammeSettings settings;
  settings.endless = true;
  settings.fade_ms = 600000;
  Make(settings);
  // Until the first piece plays, while the one to follow it is being composed.
  for (int i = 0; i < 100 && starts_->pieces.empty(); ++i) {
    HandOverComposed();
    controller_->Poll();
  }
  ASSERT_TRUE(session_->composer().Composing(ComposeFor::kFollowing));
  Command stop;
  stop.kind = Command::Kind::kStop;
  controller_->Apply(stop);
  EXPECT_TRUE(session_->transport().Fading());
  ASSERT_TRUE(Drive([&] { return !session_->transport().Playing(); }));
  ASSERT_FALSE(Drive([] { return false; }, 2000));
  EXPECT_EQ(starts_->pieces.size(), 1u);
  EXPECT_EQ(starts_->ends, std::vector<std::string>{"stop"});
}

// The window's Fade switch: a stop fades over --fade's time, or two seconds without one, while
// it is on, and cuts off at once while it is off; --fade turns it on from the start.
TEST_F(ProgrammeTest, TheFadeSwitchChoosesTheFadeOfAStop) {
  struct Row {
    std::int64_t given;  // --fade
    bool on_at_start;
    std::int64_t when_on;
  };
  for (const Row& row : {Row{0, false, Programme::kDefaultFadeMs}, Row{5000, true, 5000}}) {
    ProgrammeSettings settings;
    settings.fade_ms = row.given;
    Make(settings);
    Programme& programme = controller_->programme();
    EXPECT_EQ(programme.Fading(), row.on_at_start);
    EXPECT_EQ(programme.fade_ms(), row.on_at_start ? row.when_on : 0);
    for (const bool on : {true, false}) {
      programme.SetFading(on);
      EXPECT_EQ(programme.fade_ms(), on ? row.when_on : 0);
      Command play;
      play.kind = Command::Kind::kPlay;
      controller_->Apply(play);
      ASSERT_TRUE(Drive([&] { return session_->transport().Playing(); }, 100));
      timer_.Tick();
      controller_->Apply(Command{});  // a stop
      EXPECT_EQ(session_->transport().Fading(), on);
      EXPECT_EQ(session_->transport().Playing(), on);  // fading out, or stopped at once
      ASSERT_TRUE(Drive([&] { return !session_->transport().Playing(); }));
    }
    TearDown();
  }
}

// A journal that cannot be written: the loss is said at once with its count but not again within
// the minute, and when the journal works again, how many lines were lost.
TEST_F(ProgrammeTest, AJournalThatFailsIsSaidOnceAMinuteAndWhenItWorksAgain) {
  const std::string blocker = testing::TempPath("blocker");
  std::ofstream(blocker) << "a file where the journal's folder should be";
  journal_ = blocker + "/played.log";
  Make(WithPlaylist("0 50 40 1 0\n"));
  ASSERT_TRUE(Drive([&] { return starts_->ends.size() >= 2; }));
  auto said = [&](const std::string& what) {
    return std::count_if(host_.log.begin(), host_.log.end(),
                         [&](const std::string& l) { return l.find(what) != std::string::npos; });
  };
  EXPECT_EQ(said("cannot write the journal " + journal_), 1);
  EXPECT_EQ(said("(1 line(s) lost)"), 1);
  std::remove(blocker.c_str());
  ASSERT_TRUE(Drive([&] { return starts_->ends.size() >= 3; }));
  EXPECT_EQ(said("the journal " + journal_ + " is written again; 2 line(s) were lost"), 1);
  EXPECT_NE(JournalText().find("\tend\t"), std::string::npos);
  std::remove(journal_.c_str());
  rmdir(blocker.c_str());
}

// A "next" while a piece plays ends it (for "next", in the journal too) and the next piece
// follows after the gap.
TEST_F(ProgrammeTest, ANextWhilePlayingEndsThePieceAndTheNextFollows) {
  ProgrammeSettings settings;
  settings.endless = true;
  settings.gap_ms = 100;
  Make(settings);
  ASSERT_TRUE(
      Drive([&] { return starts_->pieces.size() == 1 && session_->transport().Playing(); }));
  Command next;
  next.kind = Command::Kind::kNext;
  controller_->Apply(next);
  ASSERT_TRUE(Drive([&] { return starts_->pieces.size() == 2; }));
  EXPECT_EQ(starts_->ends, std::vector<std::string>{"next"});
  EXPECT_NE(JournalText().find("\tnext\t"), std::string::npos);
}

// Endless play turned on while nothing plays starts at once; turned on while a piece plays, it
// lets another follow that piece.
TEST_F(ProgrammeTest, EndlessTurnedOnPlaysAtOnceOrAfterThePiece) {
  Make({});
  HandOverComposed();  // the start-up piece
  controller_->programme().SetEndless(true);
  EXPECT_TRUE(session_->transport().Playing());
  controller_->programme().SetEndless(false);
  ASSERT_TRUE(session_->transport().Playing());
  controller_->programme().SetEndless(true);
  ASSERT_TRUE(Drive([&] { return starts_->pieces.size() == 2; }));
  EXPECT_EQ(starts_->ends, std::vector<std::string>{"end"});
}

}  // namespace
}  // namespace vordel
