// Everything the main window does in answer to its messages, without the window framework:
// the 50 ms clipboard poll and its commands ("0" stop, "1" play, "q" quit, longer texts are new
// parameter strings), mouse clicks and movement, the painted counters and status texts, start-up
// and closing. The framework side supplies a WindowHost for dialogs, repaints, status fields,
// the clipboard and quitting.
#pragma once

#include <cstdint>
#include <string>

#include "player/composition_player.h"

namespace vordel {

inline constexpr const char* kDefaultParameterString = "0 80 40 30 25 1 50 30 23 20";

enum StatusGadget {
  STG_Events = 0,
  STG_Timer = 1,
  STG_EventData = 2,
  STG_MidiIN = 3,
  STG_MidiOUT = 4
};

class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // A modal box with an OK button.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  // A modal question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Repaint of the whole client area (window thread).
  virtual void Invalidate() = 0;
  virtual void SetStatusText(StatusGadget gadget, const std::string& text) = 0;
  // The clipboard's plain text; false when it holds none or cannot be opened.
  virtual bool ReadClipboardText(std::string* text) = 0;
  virtual void EmptyClipboard() = 0;
  // Ends the message loop with this exit code.
  virtual void PostQuit(int code) = 0;
};

class MainWindowLogic : public CompositionPlayer {
 public:
  MainWindowLogic(WindowHost& host, std::unique_ptr<MidiOutput> output, unsigned input_status,
                  TimerService& timer);
  ~MainWindowLogic() override;

  // Composes the start-up piece and prepares the shared values (the window timer is the host's).
  void SetupWindow();
  // One clipboard poll.
  void EvTimer(unsigned timerId);
  // Takes a parameter string: sends ensemble 0 and, when nothing plays, rebuilds the piece.
  void ProcessTheMotherFucker(const char* worst);
  void EmptyClip();
  void EvLButtonDown(unsigned keys, int x, int y);
  void EvRButtonDown(unsigned keys, int x, int y);
  void EvMouseMove(unsigned keys, int x, int y);
  // The line of counters that the client area shows, and the status texts.
  std::string CountersText() const;
  void UpdateStatusTexts();
  // Stops the playback properly, then asks "Want to close ?"; true to close.
  bool CanClose();
  void CmExit() {}
  void CmSetMIDIMapIn() {}
  void CmSetMpuIn() {}
  void CmSetMIDIMapOut() {}
  void CmSetOplOut() {}
  void CmSetMpuOut() {}

  int GetFlag() const { return flag; }
  int GetStopFlag() const { return StopFlag; }
  // The text of the last parameter string taken.
  const std::string& LastParameterString() const { return last_string_; }
  // Counts the pieces built, so that views of the piece know when to redraw it.
  int PieceSerial() const { return piece_serial_; }
  // The playback position to show: the tick being played, or the start.
  std::int64_t DisplayedTick() const;
  // The vordel-compose command that builds the current piece again.
  const std::string& ReproduceCommandLine() const { return last_command_; }

 protected:
  void ShowTimerStatus(const char* text) override;
  WindowHost& Host() { return host_; }

 private:
  // Starts a playback; the player counts as playing only when a timer really runs.
  void StartPlayback();
  // Builds a piece from text; with rebuild the current piece is cleared first.
  void Compose(const std::string& text, bool rebuild);

  WindowHost& host_;
  // Clipboard polling state kept from poll to poll.
  int flag = 0;
  int StopFlag = 0;
  std::string last_string_;
  std::string last_command_;
  int piece_serial_ = 0;
};

// "vordel-compose --clock MS [--rest-planner-started] --dump '...'" for a piece built from text.
std::string ReproduceCommand(const std::string& text, std::int64_t clock_ms,
                             bool rest_planner_started);

}  // namespace vordel
