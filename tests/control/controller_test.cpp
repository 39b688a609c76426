#include "control/controller.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"

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
  // Waits (at most ten seconds) until no piece is being composed for a command, handing every
  // piece the composer makes to the controller, as the program's loop does.
  void Settle() {
    for (int i = 0; i < 100 && ctl_->Composing(); ++i) {
      pollfd p{session_->ComposedFd(), POLLIN, 0};
      if (poll(&p, 1, 100) == 1) {
        ctl_->PieceComposed();
      }
    }
    ASSERT_FALSE(ctl_->Composing());
  }
  ~ControllerTest() override {
    ctl_.reset();
    session_.reset();
  }
  void Poll(const std::string& text) {
    ctl_->ClipboardText(text);
    Settle();
  }
  void Once(Command::Kind kind, const std::string& text = "", int value = 0) {
    Command c;
    c.kind = kind;
    c.text = text;
    c.value = value;
    c.origin = "test";
    c.reply = [this](const std::string& r) { replies.push_back(r); };
    ctl_->Apply(c);
    Settle();
  }
  std::vector<Bytes> Sent() const { return rec_->Bytes(); }
  int CountSent(int status_high, int data1 = -1) const {
    int n = 0;
    for (const auto& b : Sent()) {
      n += (b[0] & 0xF0) == status_high && (data1 < 0 || b[1] == data1);
    }
    return n;
  }
  CompositionPlayer& player() { return session_->player(); }
  const Piece& piece() { return session_->piece(); }

  std::ostringstream out_;
  FakeHost host_;
  testing::ManualTimerService timer_;
  RecordingOutput* rec_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<Controller> ctl_;
  std::vector<std::string> replies;
};

TEST_F(ControllerTest, StartUpComposesTheDefaultPieceAndStaysSilent) {
  EXPECT_EQ(piece().sections().size(), 2u);
  EXPECT_GT(piece().total_ms(), 0);
  EXPECT_EQ(player().GetPlayStatus(), 0);
  EXPECT_TRUE(rec_->Records().empty());
  EXPECT_EQ(player().LastTimeSetEvID(), 1u);
  EXPECT_NE(piece().Reproduce().find("'0 80 40 30 25 1 50 30 23 20'"), std::string::npos);
  EXPECT_EQ(ctl_->CountersText(),
            "Total Object Count: 2. / Current object: 1. / Total time of composition: " +
                std::to_string(piece().total_ms()) + ". / Offset time: 0.");
  EXPECT_EQ(ctl_->StatusText(STG_Events), "ev_played 0.");
  EXPECT_EQ(ctl_->StatusText(STG_EventData), "timed: 1.");
  EXPECT_EQ(ctl_->StatusText(STG_MidiIN), "MIN Error.");  // no input in these tests
  EXPECT_EQ(ctl_->StatusText(STG_MidiOUT), "MOUT OK");
  EXPECT_EQ(ctl_->StatusText(STG_Timer), "");  // set by the first playback
  EXPECT_EQ(ctl_->NoticeText(), "Nothing plays.");
}

TEST_F(ControllerTest, ParameterStringIsTakenOnceAndPlayed) {
  Poll("0 50 40 1 0");
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(player().GetPlayStatus(), 1);
  EXPECT_EQ(ctl_->GetFlag(), 1);
  EXPECT_EQ(CountSent(0xC0), 4);  // ensemble 0 on channels 1-4
  EXPECT_EQ(Sent()[0], (Bytes{0xC0, 60}));
  EXPECT_EQ(ctl_->StatusText(STG_Timer), "Timer OK (1)");
  EXPECT_NE(out_.str().find("--dump '0 50 40 1 0'\n[SetPosition] Playing from object: 1"),
            std::string::npos);
  // Left on the clipboard, the same text is ignored, silently.
  const Piece taken = piece();
  Poll("0 50 40 1 0");
  EXPECT_TRUE(piece().SameAs(taken));
  EXPECT_EQ(CountSent(0xC0), 4);
  EXPECT_EQ(ctl_->NoticeText().rfind("Playing object 1 of 1", 0), 0u);
  // Another string while flag is set: ignored, and the window says why.
  Poll("0 80 40 30 25 1 50 30 23 20");
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_NE(ctl_->NoticeText().find("ignored"), std::string::npos);
}

TEST_F(ControllerTest, StopPlayAndTheStopFlag) {
  Poll("0 50 40 1 0");
  timer_.Tick();
  Poll("0");
  EXPECT_EQ(player().GetStopPlaying(), 1);
  EXPECT_EQ(player().GetPlayStatus(), 0);
  EXPECT_EQ(ctl_->GetFlag(), 0);
  EXPECT_EQ(ctl_->GetStopFlag(), 1);
  EXPECT_EQ(CountSent(0xB0, 123), 16);
  EXPECT_EQ(ctl_->NoticeText(), "Nothing plays.");
  timer_.Tick();  // the player ends at its next tick
  EXPECT_FALSE(timer_.Active(player().GetTimerID()));
  rec_->Clear();
  Poll("0");  // ignored while StopFlag is 1
  EXPECT_TRUE(rec_->Records().empty());
  Poll("1");  // plays again from the first object; "0" after it is still ignored
  EXPECT_EQ(player().GetPlayStatus(), 1);
  EXPECT_EQ(player().GetStopPlaying(), 0);
  Poll("0");
  EXPECT_EQ(player().GetPlayStatus(), 1);
  player().StopPlaybackAndWait();  // a parameter string is taken again after a stop
  Poll("3 50 40 50 10");
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(ctl_->GetStopFlag(), 0);
}

TEST_F(ControllerTest, PlayLeftOnTheClipboardRestartsWhenIdle) {
  Poll("1");
  EXPECT_EQ(player().GetPlayStatus(), 1);
  const unsigned first = player().GetTimerID();
  Poll("1");  // still playing: nothing
  EXPECT_EQ(player().GetTimerID(), first);
  timer_.RunUntilStopped(1 << 20);  // the piece ends by itself
  EXPECT_EQ(player().GetPlayStatus(), 0);
  Poll("1");
  EXPECT_EQ(player().GetPlayStatus(), 1);
  EXPECT_NE(player().GetTimerID(), first);
  EXPECT_EQ(ctl_->StatusText(STG_Timer), "Timer OK (2)");
}

TEST_F(ControllerTest, QuitAsksNothingSilencesAndIgnoresWhatFollows) {
  Poll("1");
  timer_.Tick();
  Poll("q");
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_TRUE(host_.boxes.empty());
  EXPECT_EQ(player().GetStopPlaying(), 1);
  EXPECT_FALSE(timer_.Active(player().GetTimerID()));
  Poll("1");
  EXPECT_EQ(player().GetPlayStatus(), 0);
}

TEST_F(ControllerTest, OtherSingleCharactersAndEmptyTextsDoNothing) {
  Poll("Q");
  Poll("x");
  Poll("");
  EXPECT_EQ(host_.quit_code, -1);
  EXPECT_EQ(player().GetPlayStatus(), 0);
  EXPECT_TRUE(rec_->Records().empty());
}

TEST_F(ControllerTest, StringWithoutACompleteGroupKeepsThePieceAndSaysWhy) {
  Poll("01");
  EXPECT_EQ(piece().sections().size(), 2u);  // the start-up piece is kept
  EXPECT_NE(out_.str().find("not one complete group of five"), std::string::npos);
  EXPECT_NE(ctl_->NoticeText().find("not one complete group of five"), std::string::npos);
  EXPECT_EQ(player().GetPlayStatus(), 1);  // and played
  Poll("0");
  timer_.Tick();
  Poll("3 50 40 50 10");  // a later string still rebuilds, and the reason goes
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(ctl_->NoticeText().find("not one complete"), std::string::npos);
}

TEST_F(ControllerTest, PlayingOnlyWhenATimerRuns) {
  timer_.fail_caps = true;
  Poll("0 50 40 1 0");
  EXPECT_EQ(player().GetPlayStatus(), 0);
  EXPECT_EQ(ctl_->StatusText(STG_Timer).rfind("Timer ERROR", 0), 0u);
}

TEST_F(ControllerTest, ParameterStringDuringAPlaybackRestartsWithoutRebuilding) {
  ctl_->EvLButtonDown();
  EXPECT_EQ(player().GetPlayStatus(), 1);
  const Piece first = piece();
  timer_.Tick();
  Poll("3 50 40 50 10");
  EXPECT_TRUE(piece().SameAs(first));  // no rebuild
  EXPECT_EQ(CountSent(0xC0), 4);       // but ensemble 0 was sent
  EXPECT_EQ(player().GetPlayStatus(), 1);
  EXPECT_TRUE(timer_.Active(player().GetTimerID()));
  EXPECT_EQ(ctl_->StatusText(STG_Timer), "Timer OK (2)");
}

TEST_F(ControllerTest, ClicksShowTheirBoxes) {
  ctl_->EvRButtonDown();
  EXPECT_TRUE(host_.boxes.empty());
  ctl_->EvLButtonDown();
  EXPECT_EQ(host_.boxes, (std::vector<std::string>{"Player status.|Playing from object: 1."}));
  ctl_->EvLButtonDown();
  EXPECT_EQ(host_.boxes.back(), "Player status.|Composition is still playing...");
  ctl_->EvRButtonDown();
  EXPECT_EQ(host_.boxes.back(), "Player status.|Composition is still playing...");
  player().StopPlaybackAndWait();
  player().ResetPlayStatus();
  session_->SetPiece(Piece());
  ctl_->EvLButtonDown();
  EXPECT_EQ(host_.boxes.back(), "Error.|Compostion's ObjectList is Empty...");
  ctl_->EvRButtonDown();
  EXPECT_EQ(host_.boxes.back(), "Error.|Compostion's ObjectList is Empty...");
  EXPECT_GE(host_.repaints, 5);
}

TEST_F(ControllerTest, ClickAfterAStopEndsAtTheFirstTick) {
  Poll("0");
  EXPECT_EQ(player().GetStopPlaying(), 1);
  ctl_->EvLButtonDown();
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_EQ(CountSent(0x90), 0);
}

TEST_F(ControllerTest, MouseHeightSetsTheVolume) {
  ctl_->EvMouseMove(200);
  ctl_->EvMouseMove(127);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xB0, 7, 73},
                                        {0xB1, 7, 73},
                                        {0xB2, 7, 73},
                                        {0xB3, 7, 73},
                                        {0xB0, 7, 0},
                                        {0xB1, 7, 0},
                                        {0xB2, 7, 0},
                                        {0xB3, 7, 0}}));
}

TEST_F(ControllerTest, ClosingStopsFirstAndNoLeavesItIdle) {
  Poll("1");
  timer_.Tick();
  host_.answer_yes = false;
  EXPECT_FALSE(ctl_->CanClose());
  EXPECT_EQ(host_.boxes.back(), "Query|Want to close ?");
  EXPECT_EQ(player().GetPlayStatus(), 0);
  EXPECT_FALSE(timer_.Active(player().GetTimerID()));
  ctl_->EvLButtonDown();  // not stuck: a click plays again
  EXPECT_EQ(player().GetPlayStatus(), 1);
  host_.answer_yes = true;
  EXPECT_TRUE(ctl_->CanClose());
}

TEST_F(ControllerTest, CommandsThatArriveOnceActEachTime) {
  Once(Command::Kind::kCompose, "0 50 40 1 0");
  EXPECT_EQ(player().GetPlayStatus(), 1);
  EXPECT_EQ(replies, (std::vector<std::string>{""}));
  // A second string plays at once, after a clean stop, unlike the clipboard's.
  timer_.Tick();
  Once(Command::Kind::kCompose, "3 50 40 50 10");
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(player().GetPlayStatus(), 1);
  // A refused string keeps the piece and whatever plays, and answers why.
  Once(Command::Kind::kCompose, "0 80 40 30 1000000000");
  EXPECT_NE(replies.back().find("more than the limit"), std::string::npos);
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(player().GetPlayStatus(), 1);
  // Stop always stops, also twice.
  Once(Command::Kind::kStop);
  EXPECT_EQ(player().GetPlayStatus(), 0);
  timer_.Tick();
  Once(Command::Kind::kPlay);
  EXPECT_EQ(player().GetPlayStatus(), 1);
  Once(Command::Kind::kStop);
  EXPECT_EQ(player().GetPlayStatus(), 0);
  Once(Command::Kind::kStop);
  EXPECT_EQ(player().GetPlayStatus(), 0);
}

TEST_F(ControllerTest, VolumeAndEnsembleForTheNextStart) {
  Once(Command::Kind::kVolume, "", 90);
  EXPECT_EQ(Sent(),
            (std::vector<Bytes>{{0xB0, 7, 90}, {0xB1, 7, 90}, {0xB2, 7, 90}, {0xB3, 7, 90}}));
  Once(Command::Kind::kEnsemble, "", 5);
  EXPECT_NE(host_.log.back().find("no ensemble 5"), std::string::npos);
  Once(Command::Kind::kEnsemble, "", 1);
  rec_->Clear();
  Once(Command::Kind::kPlay);
  timer_.Tick();
  const auto sent = Sent();
  const auto program =
      std::find_if(sent.begin(), sent.end(), [](const Bytes& b) { return (b[0] & 0xF0) == 0xC0; });
  const auto note =
      std::find_if(sent.begin(), sent.end(), [](const Bytes& b) { return (b[0] & 0xF0) == 0x90; });
  ASSERT_NE(program, sent.end());
  EXPECT_EQ(*program, (Bytes{0xC0, 40}));  // Violin: the Strings ensemble, before the notes
  EXPECT_LT(program - sent.begin(), note - sent.begin());
  // A clipboard string sets ensemble 0 again, as always.
  Once(Command::Kind::kStop);
  Poll("0 50 40 1 0");
  EXPECT_EQ(session_->Ensemble(), 0);
  EXPECT_EQ(piece().ensemble(), 0);
}

TEST_F(ControllerTest, CommandsWaitForThePieceBeforeThemButAQuitNever) {
  // While a piece is composed the commands after it wait their turn, so a stop after a new
  // piece stops the new piece.
  Command compose;
  compose.kind = Command::Kind::kCompose;
  compose.text = "3 50 40 50 10";
  compose.origin = "test";
  Command stop;
  stop.kind = Command::Kind::kStop;
  stop.origin = "test";
  ctl_->Apply(compose);
  ctl_->Apply(stop);
  EXPECT_TRUE(ctl_->Composing());
  EXPECT_EQ(piece().sections().size(), 2u);  // the old piece until the new one is there
  Settle();
  EXPECT_EQ(piece().sections().front().function, 3);
  EXPECT_EQ(player().GetStopPlaying(), 1);
  EXPECT_EQ(player().GetPlayStatus(), 0);
  // A newer piece from the same kind of source replaces the one being composed.
  compose.text = "0 50 40 50 1000 0 50 40 50 1000 0 50 40 50 1000";
  ctl_->Apply(compose);
  compose.text = "4 60 70 20 30";
  ctl_->Apply(compose);
  Settle();
  EXPECT_EQ(piece().sections().size(), 1u);
  EXPECT_EQ(piece().sections().front().function, 4);
  // A quit acts at once and drops what waits.
  compose.text = "0 50 40 50 1000 0 50 40 50 1000";
  ctl_->Apply(compose);
  ctl_->Apply(stop);
  Command quit;
  quit.kind = Command::Kind::kQuit;
  ctl_->Apply(quit);
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_FALSE(ctl_->Composing());
  EXPECT_FALSE(session_->Composing());
}

// Scores are written beside the control thread, one at a time, each answered once when done;
// a name that is not a score's, or a folder that is not there, is answered with why.
TEST_F(ControllerTest, ScoresAreWrittenAndAnswered) {
  const std::string folder =
      ::testing::TempDir() + "vordel-controller-scores-" + std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  Once(Command::Kind::kScore, folder + "/a.musicxml");
  Once(Command::Kind::kScore, folder + "/b.XML");
  Once(Command::Kind::kScore, folder + "/c.txt");
  Once(Command::Kind::kScore, folder + "/missing/d.musicxml");
  ASSERT_EQ(replies.size(), 1u) << ::testing::PrintToString(replies);  // the wrong name at once
  EXPECT_NE(replies[0].find("c.txt"), std::string::npos);
  for (int i = 0; i < 1000 && replies.size() < 4; ++i) {
    ctl_->Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ(replies[1], "");
  EXPECT_EQ(replies[2], "");
  EXPECT_NE(replies[3].find("missing/d.musicxml"), std::string::npos);
  for (const char* name : {"/a.musicxml", "/b.XML"}) {
    std::ifstream in(folder + name);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(xml.find("<work-title>0 80 40 30 25 1 50 30 23 20</work-title>"), std::string::npos)
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
  EXPECT_EQ(ctl_->NoticeText().rfind("Parameter string ignored", 0), std::string::npos);
  EXPECT_NE(ctl_->NoticeText().find("Warning: section 1"), std::string::npos);
  Once(Command::Kind::kCompose, "0 50 40 30 5");
  EXPECT_EQ(ctl_->NoticeText().find("Warning"), std::string::npos);
}

}  // namespace
}  // namespace vordel
