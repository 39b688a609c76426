// The desktop program: the application object, the frame titled "MainFrame" with its menu, its
// transport toolbar and status bar, the piece panel, and the client window that shows the piece
// and reads the mouse. What a command or a click does is the controller's; the window shows
// state, hosts the menus and asks the user. Window thread only.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_options.h"
#include "app/piano_roll.h"
#include "app/piece_panel.h"
#include "app/runtime.h"
#include "control/controller.h"
#include "platform/signals.h"
#include "platform/timer.h"
#include "remote/command_sources.h"

namespace vordel {

class TMyWindow : public QWidget, public ControllerHost {
 public:
  explicit TMyWindow(Session& session, QWidget* parent = nullptr);

  void SetController(Controller* controller) { controller_ = controller; }
  void SetStatusBar(const std::array<QLabel*, kStatusFields>& gadgets) { gadgets_ = gadgets; }
  // Writes what the window shows to this file whenever it changes (for tests), with the lines
  // `more` gives.
  void SetStateFile(const std::string& path, std::function<std::string()> more) {
    state_file_ = path;
    more_state_ = std::move(more);
  }
  // One step of the piano roll's zoom: positive zooms in.
  void ZoomRoll(int steps);
  // The status bar's texts and, for tests, the state file.
  void UpdateStatusTexts();
  void EmptyClip();

  // ControllerHost
  void MessageBox(const std::string& text, const std::string& caption) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void Invalidate() override;
  void PostQuit(int code) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void WriteState();

  Session& session_;
  Controller* controller_ = nullptr;
  std::unique_ptr<QFont> WindowFont;
  PianoRoll roll_;
  std::array<QLabel*, kStatusFields> gadgets_{};
  std::string state_file_;
  std::function<std::string()> more_state_;
  std::string state_written_;
  QRect roll_area_;
};

// The frame: asks the client whether it may close.
class TMainFrame : public QMainWindow {
 public:
  TMainFrame(QWidget* client, Controller* controller);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Controller* controller_;
};

class TMyApp : public SessionListener {
 public:
  TMyApp(const AppOptions& options, TerminationSignals& stop_signals);
  ~TMyApp() override;
  // Builds the window hierarchy and starts the sources; false (with a message on standard
  // error) when the requested MIDI output cannot be opened.
  bool InitMainWindow();
  int Run();

  void DevicesChanged(const std::string& line) override;
  void PieceBuilt(const std::string& reproduce) override;

 private:
  void FillDevicesMenu();
  void AddTransport();
  void AddExports(QMenu* file);
  // A command from the window itself.
  void Send(Command::Kind kind, const std::string& text = "", bool exact = false);
  // The buttons, the warnings and the client follow what the session does, from any source.
  void Follow();
  void SaveMidi();
  void RenderAudioFile();
  // A menu's command about a file (a playlist, a score); a failure is shown in a box.
  void ApplyFileCommand(Command::Kind kind, const std::string& path);
  void Quit(const std::string& why);

  AppOptions options_;
  TerminationSignals& stop_signals_;
  ThreadTimerService timer_;
  std::unique_ptr<Runtime> runtime_;
  Session* session_ = nullptr;        // the runtime's
  Controller* controller_ = nullptr;  // the runtime's
  std::unique_ptr<TMainFrame> frame_;
  TMyWindow* client_ = nullptr;
  QStatusBar* StatusBar = nullptr;
  QMenu* devices_ = nullptr;
  PiecePanel* panel_ = nullptr;
  QPlainTextEdit* warnings_ = nullptr;
  QAction* play_ = nullptr;
  QAction* stop_ = nullptr;
  QAction* fade_ = nullptr;
  std::string followed_;  // what the window showed at the last poll
  std::string warnings_shown_;
  QTimer poll_timer_;
  std::unique_ptr<QSocketNotifier> queue_notifier_;
  std::unique_ptr<QSocketNotifier> composed_notifier_;
  std::unique_ptr<QSocketNotifier> signal_notifier_;
  int init_error_ = 1;
  bool quitting_ = false;
};

// The program entry after the command line has been read.
int OwlMain(int argc, char** argv, const AppOptions& options, TerminationSignals& stop_signals);

}  // namespace vordel
