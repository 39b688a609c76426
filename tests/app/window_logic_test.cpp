#include "app/window_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_options.h"
#include "test_support.h"

namespace vordel {
namespace {

using Bytes = std::vector<int>;

class FakeHost : public WindowHost {
 public:
  void MessageBox(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + "|" + text);
    return answer_yes;
  }
  void Invalidate() override { ++repaints; }
  void SetStatusText(StatusGadget gadget, const std::string& text) override {
    status[static_cast<std::size_t>(gadget)] = text;
  }
  bool ReadClipboardText(std::string* text) override {
    if (!has_text)
      return false;
    *text = clipboard;
    return true;
  }
  void EmptyClipboard() override {
    has_text = false;
    clipboard.clear();
  }
  void PostQuit(int code) override { quit_code = code; }

  void Copy(const std::string& t) {
    clipboard = t;
    has_text = true;
  }

  std::vector<std::string> boxes;
  int repaints = 0;
  std::string status[5];
  std::string clipboard;
  bool has_text = false;
  bool answer_yes = true;
  int quit_code = -1;
};

class WindowLogic : public ::testing::Test {
 protected:
  WindowLogic() {
    STOP_PLAYING.store(0);
    ResetRestPlanners();
    auto out = std::make_unique<RecordingOutput>(1 << 20);
    rec_ = out.get();
    win_ = std::make_unique<MainWindowLogic>(host_, std::move(out), kMidiOk, timer_);
    win_->SetupWindow();
  }
  ~WindowLogic() override { win_.reset(); }

  void Poll(const std::string& text) {
    host_.Copy(text);
    win_->EvTimer(1);
  }
  std::vector<Bytes> Sent() const {
    std::vector<Bytes> v;
    for (const auto& r : rec_->Records())
      v.emplace_back(r.message.bytes, r.message.bytes + r.message.size);
    return v;
  }
  int CountSent(int status_high, int data1 = -1) const {
    int n = 0;
    for (const auto& b : Sent())
      n += (b[0] & 0xF0) == status_high && (data1 < 0 || b[1] == data1);
    return n;
  }

  testing::CoutCapture out_;
  ScopedClockPin pin_{1000};
  FakeHost host_;
  ManualTimerService timer_;
  RecordingOutput* rec_;
  std::unique_ptr<MainWindowLogic> win_;
};

TEST_F(WindowLogic, StartUpComposesTheDefaultPieceAndStaysSilent) {
  EXPECT_EQ(win_->object_list.size(), 2u);
  EXPECT_GT(win_->Composition_TotalTime, 0);
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  EXPECT_TRUE(rec_->Records().empty());
  EXPECT_EQ(Global_Data.LastTimeSetEvID.load(), 1u);
  EXPECT_EQ(out_.str().find("NO OBJECTS"), std::string::npos);  // nothing to clear at start-up
  char info[256];
  win_->GetCompositionInfo(info, sizeof info);
  EXPECT_NE(std::string(info).find("Filename: Dit is de titel.\n"), std::string::npos);
  EXPECT_NE(std::string(info).find("Info: een test.\n"), std::string::npos);
}

TEST_F(WindowLogic, ParameterStringIsTakenOnceAndPlayed) {
  Poll("0 50 40 1 0");
  EXPECT_EQ(win_->object_list.size(), 1u);
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  EXPECT_EQ(win_->GetFlag(), 1);
  EXPECT_EQ(CountSent(0xC0), 4);  // ensemble 0 on channels 1-4
  EXPECT_EQ(Sent()[0], (Bytes{0xC0, 60}));
  EXPECT_EQ(host_.status[STG_Timer], "Timer OK (1)");
  // Left on the clipboard, the same text is ignored.
  const auto objects = win_->object_list.front().get();
  win_->EvTimer(1);
  EXPECT_EQ(win_->object_list.front().get(), objects);
  EXPECT_EQ(CountSent(0xC0), 4);
  // Another string while flag is set: ignored too.
  Poll("0 80 40 30 25 1 50 30 23 20");
  EXPECT_EQ(win_->object_list.size(), 1u);
}

TEST_F(WindowLogic, StopPlayAndTheStopFlag) {
  Poll("0 50 40 1 0");
  timer_.Tick();
  Poll("0");
  EXPECT_EQ(STOP_PLAYING.load(), 1);
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  EXPECT_EQ(win_->GetFlag(), 0);
  EXPECT_EQ(win_->GetStopFlag(), 1);
  EXPECT_EQ(CountSent(0xB0, 123), 16);
  timer_.Tick();  // the player ends at its next tick
  EXPECT_FALSE(timer_.Active(win_->GetTimerID()));
  // "0" again is ignored while StopFlag is 1.
  rec_->Clear();
  Poll("0");
  EXPECT_TRUE(rec_->Records().empty());
  // "1" plays again from the first object, and "0" after it is still ignored.
  Poll("1");
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  EXPECT_EQ(STOP_PLAYING.load(), 0);
  Poll("0");
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  // A parameter string is taken again after a stop.
  win_->StopPlaybackAndWait();
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  Poll("3 50 40 50 10");
  EXPECT_EQ(win_->object_list.front()->GetFunktion(), 3);
  EXPECT_EQ(win_->GetStopFlag(), 0);
}

TEST_F(WindowLogic, PlayLeftOnTheClipboardRestartsWhenIdle) {
  Poll("1");
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  const unsigned first = win_->GetTimerID();
  win_->EvTimer(1);  // still playing: nothing
  EXPECT_EQ(win_->GetTimerID(), first);
  timer_.RunUntilStopped(1 << 20);  // the piece ends by itself
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  win_->EvTimer(1);
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  EXPECT_NE(win_->GetTimerID(), first);
  EXPECT_EQ(host_.status[STG_Timer], "Timer OK (2)");
}

TEST_F(WindowLogic, QuitAsksNothingAndSilences) {
  Poll("1");
  timer_.Tick();
  Poll("q");
  EXPECT_EQ(host_.quit_code, 0);
  EXPECT_TRUE(host_.boxes.empty());
  EXPECT_EQ(STOP_PLAYING.load(), 1);
  EXPECT_FALSE(timer_.Active(win_->GetTimerID()));
  EXPECT_EQ(win_->SoundingNotes(), 0);
  EXPECT_TRUE(win_->obj_iter == win_->object_list.begin());
}

TEST_F(WindowLogic, OtherSingleCharactersAndEmptyTextsDoNothing) {
  Poll("Q");
  Poll("x");
  Poll("");
  host_.has_text = false;
  win_->EvTimer(1);
  EXPECT_EQ(host_.quit_code, -1);
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  EXPECT_TRUE(rec_->Records().empty());
}

TEST_F(WindowLogic, StringWithoutACompleteGroupKeepsThePiece) {
  Poll("01");
  EXPECT_EQ(win_->object_list.size(), 2u);  // the start-up piece is kept
  EXPECT_NE(out_.str().find("not one complete group of five"), std::string::npos);
  EXPECT_EQ(win_->GetPlayStatus(), 1);  // and played
  // A later string still rebuilds.
  Poll("0");
  timer_.Tick();
  Poll("3 50 40 50 10");
  EXPECT_EQ(win_->object_list.size(), 1u);
}

TEST_F(WindowLogic, PlayingOnlyWhenATimerRuns) {
  Poll("0 50 40 1 -20");  // a piece without notes still has one object
  timer_.RunUntilStopped(10);
  Poll("0");
  win_->ClearMusicalObjectList();
  Poll("1");  // empty list: nothing starts
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  timer_.fail_caps = true;
  Poll("0");
  Poll("0 50 40 1 0");
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  EXPECT_EQ(host_.status[STG_Timer].rfind("Timer ERROR", 0), 0u);
}

TEST_F(WindowLogic, ParameterStringDuringAPlaybackRestartsWithoutRebuilding) {
  win_->EvLButtonDown(0, 1, 1);
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  const MusicalObject* first = win_->object_list.front().get();
  timer_.Tick();
  Poll("3 50 40 50 10");
  EXPECT_EQ(win_->object_list.front().get(), first);  // no rebuild
  EXPECT_EQ(CountSent(0xC0), 4);                      // but ensemble 0 was sent
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  EXPECT_TRUE(timer_.Active(win_->GetTimerID()));
  EXPECT_EQ(host_.status[STG_Timer], "Timer OK (2)");
}

TEST_F(WindowLogic, ClicksShowTheirBoxes) {
  win_->EvRButtonDown(0, 0, 0);
  EXPECT_TRUE(host_.boxes.empty());
  win_->EvLButtonDown(0, 0, 0);
  EXPECT_EQ(host_.boxes, (std::vector<std::string>{"Player status.|Playing from object: 1."}));
  win_->EvLButtonDown(0, 0, 0);
  EXPECT_EQ(host_.boxes.back(), "Player status.|Composition is still playing...");
  win_->EvRButtonDown(0, 0, 0);
  EXPECT_EQ(host_.boxes.back(), "Player status.|Composition is still playing...");
  win_->StopPlaybackAndWait();
  win_->ClearMusicalObjectList();
  win_->EvLButtonDown(0, 0, 0);
  EXPECT_EQ(host_.boxes.back(), "Error.|Compostion's ObjectList is Empty...");
  win_->EvRButtonDown(0, 0, 0);
  EXPECT_EQ(host_.boxes.back(), "Error.|Compostion's ObjectList is Empty...");
  EXPECT_GE(host_.repaints, 5);
}

TEST_F(WindowLogic, ClickAfterAStopEndsAtTheFirstTick) {
  Poll("0");
  EXPECT_EQ(STOP_PLAYING.load(), 1);
  win_->EvLButtonDown(0, 0, 0);
  EXPECT_EQ(timer_.RunUntilStopped(100), 1);
  EXPECT_EQ(CountSent(0x90), 0);
}

TEST_F(WindowLogic, MouseHeightSetsTheVolume) {
  win_->EvMouseMove(0, 5, 200);
  win_->EvMouseMove(0, 5, 127);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0xB0, 7, 73},
                                        {0xB1, 7, 73},
                                        {0xB2, 7, 73},
                                        {0xB3, 7, 73},
                                        {0xB0, 7, 0},
                                        {0xB1, 7, 0},
                                        {0xB2, 7, 0},
                                        {0xB3, 7, 0}}));
}

TEST_F(WindowLogic, PaintedAndStatusTexts) {
  EXPECT_EQ(win_->CountersText(),
            "Total Object Count: 2. / Current object: 1. / Total time of composition: " +
                std::to_string(win_->Composition_TotalTime) + ". / Offset time: 0.");
  win_->UpdateStatusTexts();
  EXPECT_EQ(host_.status[STG_Events], "ev_played 0.");
  EXPECT_EQ(host_.status[STG_EventData], "timed: 1.");
  EXPECT_EQ(host_.status[STG_MidiIN], "MIN OK");
  EXPECT_EQ(host_.status[STG_MidiOUT], "MOUT OK");
  EXPECT_EQ(host_.status[STG_Timer], "");  // set by the first playback
}

TEST_F(WindowLogic, ClosingStopsFirstAndNoLeavesItIdle) {
  Poll("1");
  timer_.Tick();
  host_.answer_yes = false;
  EXPECT_FALSE(win_->CanClose());
  EXPECT_EQ(host_.boxes.back(), "Query|Want to close ?");
  EXPECT_EQ(win_->GetPlayStatus(), 0);
  EXPECT_EQ(win_->SoundingNotes(), 0);
  EXPECT_FALSE(timer_.Active(win_->GetTimerID()));
  // Not stuck: a click plays again.
  win_->EvLButtonDown(0, 0, 0);
  EXPECT_EQ(win_->GetPlayStatus(), 1);
  host_.answer_yes = true;
  EXPECT_TRUE(win_->CanClose());
}

TEST_F(WindowLogic, EmptyClipClearsTheClipboard) {
  host_.Copy("1");
  win_->EmptyClip();
  EXPECT_FALSE(host_.has_text);
}

TEST(AppOptions, ParsesOutputAndPort) {
  auto p = ParseAppOptions({"--output", "synth"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->output.choice, OutputChoice::kSynth);
  p = ParseAppOptions({"--output=port", "--port", "FLUID"});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(p.options->output.choice, OutputChoice::kPort);
  EXPECT_EQ(p.options->output.port, "FLUID");
  EXPECT_FALSE(ParseAppOptions({"--output", "loud"}).options);
  EXPECT_FALSE(ParseAppOptions({"--port"}).options);
  EXPECT_FALSE(ParseAppOptions({"stray"}).options);
  EXPECT_TRUE(ParseAppOptions({}).options);
  EXPECT_EQ(ChooseInput({"Midi Through Port-0", "FLUID Synth (1234):Synth input port"}, ""), 1);
  EXPECT_EQ(ChooseInput({"midi-monitor:input", "vordel:synth"}, ""), -1);
  EXPECT_EQ(ChooseInput({"midi-monitor:input"}, "MONITOR"), 0);
}

}  // namespace
}  // namespace vordel
