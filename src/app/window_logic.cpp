#include "app/window_logic.h"

#include <cstdio>
#include <iostream>

#include "chances/random_source.h"
#include "composer/piece_builder.h"

namespace vordel {

MainWindowLogic::MainWindowLogic(WindowHost& host, std::unique_ptr<MidiOutput> output,
                                 unsigned input_status, TimerService& timer)
    : CompositionPlayer("Dit is de titel", "/usr/share/vordel/pieces", "een test",
                        std::move(output), input_status, timer),
      host_(host) {}

MainWindowLogic::~MainWindowLogic() {
  StopPlaybackAndWait();
}

void MainWindowLogic::SetupWindow() {
  mm_err = Timer().GetDevCaps(&tc);
  wTimerRes = std::min(std::max(tc.wPeriodMin, 5u), tc.wPeriodMax);
  Global_Data.source_Window = this;
  Global_Data.PlayedEvents.store(0);
  Global_Data.LastTimeSetEvID.store(1);
  Compose(kDefaultParameterString, false);
}

std::string ReproduceCommand(const std::string& text, std::int64_t clock_ms,
                             bool rest_planner_started) {
  // The numbers as they are read: the same piece, in a form a shell takes as one argument.
  std::string numbers;
  for (int n : SplitParameterString(text)) {
    numbers += (numbers.empty() ? "" : " ") + std::to_string(n);
  }
  return "vordel-compose --clock " + std::to_string(clock_ms) +
         (rest_planner_started ? " --rest-planner-started" : "") + " --dump '" + numbers + "'";
}

void MainWindowLogic::Compose(const std::string& text, bool rebuild) {
  // No tick may run while the composition changes.
  StopPlaybackAndWait();
  // The clock holds still while the piece is built, so that one clock value and the rest
  // planner's state make the piece again.
  const std::int64_t now = clock();
  const bool rest_planner_started = IntroRestPlannerStarted();
  BuildResult result;
  {
    ScopedClockPin pin(now);
    result = BuildPiece(*this, text, std::cout, rebuild);
  }
  if (result == BuildResult::kBuilt) {
    ++piece_serial_;
    last_command_ = ReproduceCommand(text, now, rest_planner_started);
    std::cout << "[Reproduce] " << last_command_ << std::endl;
  }
  std::cout.flush();
}

std::int64_t MainWindowLogic::DisplayedTick() const {
  if (GetPlayStatus() != 0) {
    return static_cast<std::int64_t>(Global_Data.LastTimeSetEvID.load());
  }
  return Composition_OffsetTime;
}

void MainWindowLogic::StartPlayback() {
  if (PlayMusicalObject()) {
    SetPlayStatus();
  }
}

void MainWindowLogic::EvTimer(unsigned /*timerId*/) {
  std::string text;
  if (!host_.ReadClipboardText(&text)) {
    return;
  }
  if (text.size() == 1) {
    if (text == "0" && StopFlag == 0) {
      STOP_PLAYING.store(1);
      ResetPlayStatus();
      ReleaseSoundingNotes();
      AllNotesOff();
      flag = 0;
      StopFlag = 1;
    } else if (text == "1" && GetPlayStatus() == 0) {
      // A playback that was asked to stop ends before the composition is rewound.
      StopPlaybackAndWait();
      STOP_PLAYING.store(0);
      AllNotesOff();
      ResetIters();
      StartPlayback();
    } else if (text == "q") {
      STOP_PLAYING.store(1);
      StopPlaybackAndWait();
      AllNotesOff();
      ResetIters();
      host_.PostQuit(0);
    }
    return;
  }
  if (text.size() > 1 && flag == 0) {
    StopFlag = 0;
    flag = 1;
    STOP_PLAYING.store(0);
    ProcessTheMotherFucker(text.c_str());
    // A playback that is still running goes back to the first object and starts again.
    StopPlaybackAndWait();
    SetPosition(1);
    StartPlayback();
  }
}

void MainWindowLogic::ProcessTheMotherFucker(const char* worst) {
  Composition_PresetNumber = 0;
  PrepareEnsemble();
  last_string_ = worst != nullptr ? worst : "";
  if (GetPlayStatus() == 0) {
    Compose(last_string_, true);
    host_.Invalidate();
  }
  host_.Invalidate();
}

void MainWindowLogic::EmptyClip() {
  host_.EmptyClipboard();
}

void MainWindowLogic::EvLButtonDown(unsigned /*keys*/, int /*x*/, int /*y*/) {
  char text[64];
  std::snprintf(text, sizeof text, "Playing from object: %i.", Composition_CurrentObject);
  host_.MessageBox(text, "Player status.");
  if (!object_list.empty()) {
    if (GetPlayStatus() == 0) {
      StartPlayback();
    } else {
      host_.MessageBox("Composition is still playing...", "Player status.");
    }
  } else {
    host_.MessageBox("Compostion's ObjectList is Empty...", "Error.");
  }
  host_.Invalidate();
}

void MainWindowLogic::EvRButtonDown(unsigned /*keys*/, int /*x*/, int /*y*/) {
  if (!object_list.empty() && GetPlayStatus() != 0) {
    host_.MessageBox("Composition is still playing...", "Player status.");
  } else if (object_list.empty()) {
    host_.MessageBox("Compostion's ObjectList is Empty...", "Error.");
  }
  host_.Invalidate();
}

void MainWindowLogic::EvMouseMove(unsigned /*keys*/, int /*x*/, int y) {
  const int v = y % 127;
  for (unsigned char ch = 1; ch <= 4; ++ch) {
    ControlChange(ch, 7, static_cast<unsigned char>(v));
  }
}

std::string MainWindowLogic::CountersText() const {
  char text[256];
  std::snprintf(text, sizeof text,
                "Total Object Count: %i. / Current object: %i. / Total time of composition: %lli. "
                "/ Offset time: %lli.",
                Composition_TotalObjectCount, Composition_CurrentObject,
                static_cast<long long>(Composition_TotalTime),
                static_cast<long long>(Composition_OffsetTime));
  return text;
}

void MainWindowLogic::UpdateStatusTexts() {
  char text[64];
  std::snprintf(text, sizeof text, "ev_played %i.", Global_Data.PlayedEvents.load());
  host_.SetStatusText(STG_Events, text);
  std::snprintf(text, sizeof text, "timed: %u.", Global_Data.LastTimeSetEvID.load());
  host_.SetStatusText(STG_EventData, text);
  host_.SetStatusText(STG_MidiIN, GetINStatusStr());
  host_.SetStatusText(STG_MidiOUT, GetOUTStatusStr());
}

void MainWindowLogic::ShowTimerStatus(const char* text) {
  host_.SetStatusText(STG_Timer, text);
}

bool MainWindowLogic::CanClose() {
  // Stop for real before asking, so that a No leaves nothing sounding and the player idle.
  StopPlaybackAndWait();
  ResetPlayStatus();
  ReleaseSoundingNotes();
  AllNotesOff();
  Timer().EndPeriod(wTimerRes);
  Timer().KillEvent(GetTimerID());
  return host_.AskYesNo("Want to close ?", "Query");
}

}  // namespace vordel
