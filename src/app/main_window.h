// The desktop program: the application object, the frame titled "MainFrame" with its menu and
// status bar, and the client window that is at once the window, the composition and the MIDI
// device layer.
#pragma once

#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

#include "app/app_options.h"
#include "app/window_logic.h"
#include "player/timer_service.h"

class QApplication;

namespace vordel {

class TMyWindow : public QWidget, public WindowHost, public MainWindowLogic {
 public:
  TMyWindow(std::unique_ptr<MidiOutput> output, unsigned input_status, TimerService& timer,
            QWidget* parent = nullptr);
  ~TMyWindow() override;

  // Font, start-up piece and the 50 ms window timer.
  void Setup();
  void SetStatusBar(const std::array<QLabel*, 5>& gadgets) { gadgets_ = gadgets; }

  // WindowHost
  void MessageBox(const std::string& text, const std::string& caption) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void Invalidate() override;
  void SetStatusText(StatusGadget gadget, const std::string& text) override;
  bool ReadClipboardText(std::string* text) override;
  void EmptyClipboard() override;
  void PostQuit(int code) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // The piano roll of the piece, drawn once per piece and size; a repaint only adds the
  // playback position.
  void DrawRoll(QPainter& painter, const QRect& area);
  void RenderRoll(const QSize& size);

  std::unique_ptr<QFont> WindowFont;
  QImage roll_;
  int roll_serial_ = -1;
  std::int64_t roll_end_ = 0;
  QTimer poll_timer_;
  QTimer repaint_timer_;
  std::array<QLabel*, 5> gadgets_{};
  unsigned MidiInputDev = 0;
  unsigned MidiOutputDev = 0;
};

// The frame: asks the client whether it may close.
class TMainFrame : public QMainWindow {
 public:
  explicit TMainFrame(TMyWindow* client);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TMyWindow* client_;
};

class TMyApp {
 public:
  explicit TMyApp(const AppOptions& options);
  ~TMyApp();
  // Builds the window hierarchy; false (with a message on standard error) when the requested
  // MIDI output cannot be opened.
  bool InitMainWindow();
  int Run();

 private:
  AppOptions options_;
  ThreadTimerService timer_;
  std::unique_ptr<MidiInputHandle> input_;
  std::unique_ptr<TMainFrame> frame_;
  TMyWindow* client_ = nullptr;
  QStatusBar* StatusBar = nullptr;
};

// The program entry after the command line has been read.
int OwlMain(int argc, char** argv);

}  // namespace vordel
