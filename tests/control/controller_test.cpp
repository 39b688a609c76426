#include "control/controller.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"
#include "support/test_support.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

class FakeHost : public ControllerHost {
 public:
  void MessageBox(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
    return answer_yes;
  }
  void Invalidate() override { ++repaints; }
  void PostQuit(int code) override { quit_code = code; }
  void Log(const std::string& line) override { log.push_back(line); }
  std::vector<std::string> boxes;
  std::vector<std::string> log;
  int repaints = 0;
  bool answer_yes = true;
  int quit_code = -1;
};

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() {
    auto out = std::make_unique<RecordingOutput>(1 << 16);
    rec_ = out.get();
    session_ = std::make_unique<Session>(std::move(out), nullptr, timer_, &out_);
    ctl_ = std::make_unique<Controller>(*session_, host_);
    ctl_->SetupWindow();
    Settle();
  }
  ~ControllerTest() override {
    ctl_.reset();
    session_.reset();
  }
  // Hands every piece the composer makes to the controller until none is awaited, as the
  // program's loop does (at most ten seconds).
  void Settle() {
    for (int i = 0; i < 100 && ctl_->Composing(); ++i) {
      pollfd p{session_->ComposedFd(), POLLIN, 0};
      if (poll(&p, 1, 100) == 1) {
        ctl_->PieceComposed();
      }
    }
    ASSERT_FALSE(ctl_->Composing());
  }
  void Poll(const std::string& text) {
    ctl_->ClipboardText(text);
    Settle();
  }
  void Once(Command::Kind kind, const std::string& text = "", int value = 0, bool settle = true) {
    Command c;
    c.kind = kind;
    c.text = text;
    c.value = value;
    c.origin = "test";
    c.reply = [this](const std::string& r) { replies.push_back(r); };
    ctl_->Apply(c);
    if (settle) {
      Settle();
    }
  }
  int CountSent(int status_high, int data1 = -1) const {
    int n = 0;
    for (const auto& b : rec_->Bytes()) {
      n += (b[0] & 0xF0) == status_high && (data1 < 0 || b[1] == data1);
    }
    return n;
  }
  int Playing() { return session_->player().GetPlayStatus(); }
  const Piece& piece() { return session_->piece(); }

  std::ostringstream out_;
  FakeHost host_;
  testing::ManualTimerService timer_;
  RecordingOutput* rec_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<Controller> ctl_;
  std::vector<std::string> replies;
};

// The start-up piece is there and nothing plays; the window's texts say so.
TEST_F(ControllerTest, StartUpComposesTheDefaultPieceAndStaysSilent) {
  EXPECT_EQ(piece().sections().size(), 2u);
  EXPECT_EQ(Playing(), 0);
  EXPECT_TRUE(rec_->Records().empty());
  EXPECT_NE(piece().Reproduce().find("'0 80 40 30 25 1 50 30 23 20'"), std::string::npos);
  EXPECT_EQ(ctl_->CountersText(),
            "Total Object Count: 2. / Current object: 1. / Total time of composition: " +
                std::to_string(piece().total_ms()) + ". / Offset time: 0.");
  const std::vector<std::string> status = {"ev_played 0.", "", "timed: 1.", "MIN Error.",
                                           "MOUT OK"};
  for (int g = 0; g < 5; ++g) {
    EXPECT_EQ(ctl_->StatusText(static_cast<StatusGadget>(g)), status[static_cast<std::size_t>(g)]);
  }
  EXPECT_EQ(ctl_->NoticeText(), "Nothing plays.");
}

// The clipboard's rules for a text that stays: a string is taken once (ensemble 0 first) and
// plays; while taken, others are ignored with a word why; "0" stops once, "1" plays when idle,
// a string during a playback restarts it without a rebuild, "q" quits at once, other single
// characters do nothing.
TEST_F(ControllerTest, TheClipboardsRules) {
  Poll("Q");
  Poll("");
  EXPECT_EQ(Playing(), 0);
  EXPECT_TRUE(rec_->Records().empty());
  Poll("0 50 40 1 0");
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(Playing(), 1);
  EXPECT_EQ(CountSent(0xC0), 4);
  EXPECT_EQ(rec_->Bytes()[0], (Bytes{0xC0, 60}));
  EXPECT_EQ(ctl_->StatusText(STG_Timer), "Timer OK (1)");
  EXPECT_NE(out_.str().find("--dump '0 50 40 1 0'\n[SetPosition] Playing from object: 1"),
            std::string::npos);
  const Piece taken = piece();
  Poll("0 50 40 1 0");  // left there: ignored, silently
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_EQ(ctl_->NoticeText().rfind("Playing object 1 of 1", 0), 0u);
  const int repaints = host_.repaints;
  Poll("0 80 40 30 25 1 50 30 23 20");
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_NE(ctl_->NoticeText().find("ignored"), std::string::npos);
  EXPECT_GT(host_.repaints, repaints);  // and the window shows it
  timer_.Tick();
  Poll("0");
  EXPECT_EQ(Playing(), 0);
  EXPECT_EQ(ctl_->GetStopFlag(), 1);
  EXPECT_EQ(CountSent(0xB0, 123), 16);
  timer_.Tick();
  rec_->Clear();
  Poll("0");  // a stop acts once
  EXPECT_TRUE(rec_->Records().empty());
  Poll("1");
  EXPECT_EQ(Playing(), 1);
  const unsigned first = session_->player().GetTimerID();
  Poll("1");  // still playing: nothing
  EXPECT_EQ(session_->player().GetTimerID(), first);
  timer_.RunUntilStopped(1 << 20);
  Poll("1");  // idle again: plays again
  EXPECT_NE(session_->player().GetTimerID(), first);
  session_->player().StopPlaybackAndWait();
  Poll("01");  // no complete group: the piece is kept and played, and the window says why
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_NE(ctl_->NoticeText().find("not one complete group of five"), std::string::npos);
  EXPECT_EQ(Playing(), 1);
  Poll("0");
  Poll("1");
  timer_.Tick();
  rec_->Clear();
  Poll("3 50 40 50 10");  // during a playback: ensemble 0 and a restart, no rebuild
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_EQ(CountSent(0xC0), 4);
  EXPECT_TRUE(timer_.Active(session_->player().GetTimerID()));
  Poll("q");
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_TRUE(host_.boxes.empty());
  EXPECT_FALSE(timer_.Active(session_->player().GetTimerID()));
  Poll("1");
  EXPECT_EQ(Playing(), 0);
}

TEST_F(ControllerTest, PlayingOnlyWhenATimerRuns) {
  timer_.fail_caps = true;
  Poll("0 50 40 1 0");
  EXPECT_EQ(Playing(), 0);
  EXPECT_EQ(ctl_->StatusText(STG_Timer).rfind("Timer ERROR", 0), 0u);
}

// Clicks show their boxes, a click after a stop ends at the first tick, the mouse's height sets
// the volume, and closing stops first (No leaves it idle, not stuck).
TEST_F(ControllerTest, WindowEvents) {
  ctl_->EvRButtonDown();
  EXPECT_TRUE(host_.boxes.empty());
  ctl_->EvMouseMove(200);
  EXPECT_EQ(rec_->Bytes(),
            (std::vector<Bytes>{{0xB0, 7, 73}, {0xB1, 7, 73}, {0xB2, 7, 73}, {0xB3, 7, 73}}));
  ctl_->EvLButtonDown();
  ctl_->EvLButtonDown();
  ctl_->EvRButtonDown();
  EXPECT_EQ(host_.boxes,
            (std::vector<std::string>{"Player status.|Playing from object: 1.",
                                      "Player status.|Playing from object: 1.",
                                      "Player status.|Composition is still playing...",
                                      "Player status.|Composition is still playing..."}));
  timer_.Tick();
  struct Ends : SessionListener {
    void PlaybackEnded(const std::string& why) override { seen.push_back(why); }
    std::vector<std::string> seen;
  } ends;
  session_->AddListener(&ends);
  host_.answer_yes = false;
  EXPECT_FALSE(ctl_->CanClose());
  EXPECT_EQ(host_.boxes.back(), "Query|Want to close ?");
  EXPECT_EQ(Playing(), 0);
  EXPECT_FALSE(timer_.Active(session_->player().GetTimerID()));
  session_->Poll();
  EXPECT_EQ(ends.seen, std::vector<std::string>{"stop"});  // in the journal and to the peers
  session_->RemoveListener(&ends);
  Poll("0");
  rec_->Clear();
  ctl_->EvLButtonDown();  // after a stop: ends at the first tick, no note
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_EQ(CountSent(0x90), 0);
  session_->player().ResetPlayStatus();
  session_->SetPiece(Piece());
  ctl_->EvLButtonDown();
  ctl_->EvRButtonDown();
  EXPECT_EQ(host_.boxes.back(), "Error.|Compostion's ObjectList is Empty...");
  EXPECT_EQ(host_.boxes[host_.boxes.size() - 2], "Error.|Compostion's ObjectList is Empty...");
  EXPECT_GE(host_.repaints, 5);
  host_.answer_yes = true;
  EXPECT_TRUE(ctl_->CanClose());
}

// Commands that arrive once act each time: a string plays at once after a clean stop, a refused
// one keeps what plays and answers why, stop always stops; the volume at once, an ensemble for
// the next start (sent before its notes).
TEST_F(ControllerTest, CommandsThatArriveOnceActEachTime) {
  Once(Command::Kind::kCompose, "0 50 40 1 0");
  EXPECT_EQ(Playing(), 1);
  timer_.Tick();
  Once(Command::Kind::kCompose, "3 50 40 50 10");
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(Playing(), 1);
  Once(Command::Kind::kCompose, "0 80 40 30 1000000000");
  EXPECT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0] + replies[1], "");
  EXPECT_NE(replies[2].find("more than the limit"), std::string::npos);
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(Playing(), 1);
  for (int i = 0; i < 2; ++i) {
    Once(Command::Kind::kStop);
    EXPECT_EQ(Playing(), 0);
  }
  rec_->Clear();
  Once(Command::Kind::kVolume, "", 90);
  EXPECT_EQ(rec_->Bytes(),
            (std::vector<Bytes>{{0xB0, 7, 90}, {0xB1, 7, 90}, {0xB2, 7, 90}, {0xB3, 7, 90}}));
  Once(Command::Kind::kEnsemble, "", 5);
  EXPECT_NE(host_.log.back().find("no ensemble 5"), std::string::npos);
  Once(Command::Kind::kEnsemble, "", 1);
  rec_->Clear();
  Once(Command::Kind::kPlay);
  EXPECT_EQ(Playing(), 1);
  timer_.Tick();
  const auto sent = rec_->Bytes();
  const auto is = [](int status) {
    return [status](const Bytes& b) { return (b[0] & 0xF0) == status; };
  };
  const auto program = std::find_if(sent.begin(), sent.end(), is(0xC0));
  ASSERT_NE(program, sent.end());
  EXPECT_EQ(*program, (Bytes{0xC0, 40}));  // Violin: the Strings ensemble
  EXPECT_LT(program, std::find_if(sent.begin(), sent.end(), is(0x90)));
  Once(Command::Kind::kStop);
  Poll("0 50 40 1 0");  // a clipboard string sets ensemble 0 again
  EXPECT_EQ(piece().ensemble(), 0);
}

// While a piece is composed the commands after it wait their turn; a newer piece from the same
// kind of source replaces it; a quit acts at once and drops what waits.
TEST_F(ControllerTest, CommandsWaitForThePieceBeforeThemButAQuitNever) {
  Once(Command::Kind::kCompose, "3 50 40 50 10", 0, false);
  Once(Command::Kind::kStop, "", 0, false);
  EXPECT_TRUE(ctl_->Composing());
  EXPECT_EQ(piece().sections().size(), 2u);
  Settle();
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(Playing(), 0);
  Once(Command::Kind::kCompose, "0 50 40 50 1000 0 50 40 50 1000 0 50 40 50 1000", 0, false);
  Once(Command::Kind::kCompose, "4 60 70 20 30");
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(piece().sections().front().function, 4);
  Once(Command::Kind::kCompose, "0 50 40 50 1000 0 50 40 50 1000", 0, false);
  Once(Command::Kind::kStop, "", 0, false);
  Once(Command::Kind::kQuit, "", 0, false);
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_FALSE(ctl_->Composing());
  EXPECT_FALSE(session_->Composing());
}

// Scores are written beside the control thread, one at a time, each answered once when done;
// a name that is not a score's, or a folder that is not there, is answered with why.
TEST_F(ControllerTest, ScoresAreWrittenAndAnswered) {
  const std::string folder = testing::TempPath("scores");
  std::filesystem::create_directories(folder);
  for (const char* name : {"/a.musicxml", "/b.XML", "/c.txt", "/missing/d.musicxml"}) {
    Once(Command::Kind::kScore, folder + name);
  }
  ASSERT_EQ(replies.size(), 1u);  // the wrong name at once
  EXPECT_NE(replies[0].find("c.txt"), std::string::npos);
  for (int i = 0; i < 1000 && replies.size() < 4; ++i) {
    ctl_->Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ(replies[1] + replies[2], "");
  EXPECT_NE(replies[3].find("missing/d.musicxml"), std::string::npos);
  for (const char* name : {"/a.musicxml", "/b.XML"}) {
    EXPECT_NE(testing::ReadFile(folder + name)
                  .find("<work-title>0 80 40 30 25 1 50 30 23 20</work-title>"),
              std::string::npos)
        << name;
  }
  std::filesystem::remove_all(folder);
}

// A string with numbers outside their ranges: the notice line and the log say each, once; a
// refusal is news only until the next playback starts.
TEST_F(ControllerTest, WarningsOfAStringAndRefusalsThatPass) {
  Once(Command::Kind::kCompose, "0 0 40 30 5 7");
  EXPECT_EQ(ctl_->NoticeText().substr(ctl_->NoticeText().find('\n')),
            "\nWarning: section 1: register 0 is outside 1-100; its pitches start from C3, as for "
            "50\nWarning: 1 number(s) after the last complete group of five are not used: 7");
  EXPECT_NE(out_.str().find("[Warning] section 1: register 0 is outside 1-100"), std::string::npos);
  Once(Command::Kind::kCompose, "1 2");
  EXPECT_EQ(ctl_->NoticeText().rfind("Parameter string ignored", 0), 0u);
  Once(Command::Kind::kStop);
  Once(Command::Kind::kPlay);
  EXPECT_EQ(ctl_->NoticeText().find("Parameter string ignored"), std::string::npos);
  EXPECT_NE(ctl_->NoticeText().find("Warning: section 1"), std::string::npos);
  Once(Command::Kind::kCompose, "0 50 40 30 5");
  EXPECT_EQ(ctl_->NoticeText().find("Warning"), std::string::npos);
}

}  // namespace
}  // namespace vordel
