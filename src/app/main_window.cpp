#include "app/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <iostream>

#include "app/menu_codes.h"
#include "vordel_version.h"

namespace vordel {

TMyWindow::TMyWindow(std::unique_ptr<MidiOutput> output, unsigned input_status, TimerService& timer,
                     QWidget* parent)
    : QWidget(parent), MainWindowLogic(*this, std::move(output), input_status, timer) {
  setMouseTracking(true);
  setMinimumSize(480, 120);
  connect(&poll_timer_, &QTimer::timeout, this, [this] { EvTimer(1); });
  // Ticks only raise a flag; the window repaints from its own thread.
  connect(&repaint_timer_, &QTimer::timeout, this, [this] {
    if (TakeRepaintRequest()) {
      update();
    }
  });
}

TMyWindow::~TMyWindow() {
  poll_timer_.stop();
  repaint_timer_.stop();
  StopPlaybackAndWait();
}

void TMyWindow::Setup() {
  if (!WindowFont) {
    WindowFont = std::make_unique<QFont>("Arial");
    WindowFont->setPixelSize(16);
    WindowFont->setWeight(QFont::Normal);
    WindowFont->setItalic(false);
    WindowFont->setUnderline(false);
    WindowFont->setStrikeOut(false);
  }
  SetupWindow();
  poll_timer_.start(50);
  repaint_timer_.start(40);
}

void TMyWindow::MessageBox(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, this);
  box.exec();
}

bool TMyWindow::AskYesNo(const std::string& text, const std::string& caption) {
  return QMessageBox::question(this, QString::fromStdString(caption), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMyWindow::Invalidate() {
  update();
}

void TMyWindow::SetStatusText(StatusGadget gadget, const std::string& text) {
  QLabel* label = gadgets_[static_cast<std::size_t>(gadget)];
  if (label != nullptr) {
    const QString t = QString::fromStdString(text);
    if (label->text() != t) {
      label->setText(t);
    }
  }
}

bool TMyWindow::ReadClipboardText(std::string* text) {
  const QClipboard* clip = QGuiApplication::clipboard();
  if (clip == nullptr) {
    return false;
  }
  const QString t = clip->text(QClipboard::Clipboard);
  if (t.isNull()) {
    return false;
  }
  *text = t.toStdString();
  return true;
}

void TMyWindow::EmptyClipboard() {
  if (QClipboard* clip = QGuiApplication::clipboard()) {
    clip->clear(QClipboard::Clipboard);
  }
}

void TMyWindow::PostQuit(int code) {
  QCoreApplication::exit(code);
}

void TMyWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (WindowFont) {
    painter.setFont(*WindowFont);
  }
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   QString::fromStdString(CountersText()));
  UpdateStatusTexts();
}

void TMyWindow::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    EvLButtonDown(0, p.x(), p.y());
  } else if (event->button() == Qt::RightButton) {
    EvRButtonDown(0, p.x(), p.y());
  }
}

void TMyWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  EvMouseMove(0, p.x(), p.y());
}

TMainFrame::TMainFrame(TMyWindow* client) : client_(client) {
  setWindowTitle("MainFrame");
  setCentralWidget(client);
}

void TMainFrame::closeEvent(QCloseEvent* event) {
  if (client_->CanClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

TMyApp::TMyApp(const AppOptions& options) : options_(options) {}

TMyApp::~TMyApp() {
  // The window (and with it the player, the MIDI devices and the composition) goes first; the
  // timer service outlives it.
  frame_.reset();
}

bool TMyApp::InitMainWindow() {
  OpenedOutput opened = OpenOutput(options_.output);
  if (!opened.output) {
    std::cerr << "vordel: " << opened.error << std::endl;
    return false;
  }
  std::cerr << opened.note << std::endl;
  input_ = std::make_unique<MidiInputHandle>();
  client_ = new TMyWindow(std::move(opened.output), input_->Status(), timer_);
  frame_ = std::make_unique<TMainFrame>(client_);

  StatusBar = new QStatusBar(frame_.get());
  const int char_width = StatusBar->fontMetrics().averageCharWidth();
  // Left to right, with their widths in characters.
  const std::pair<StatusGadget, int> layout[] = {
      {STG_Events, 7}, {STG_EventData, 7}, {STG_Timer, 7}, {STG_MidiIN, 5}, {STG_MidiOUT, 5}};
  std::array<QLabel*, 5> gadgets{};
  for (const auto& [gadget, width] : layout) {
    auto* label = new QLabel(" ", StatusBar);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setMinimumWidth(width * char_width * 2);
    StatusBar->addWidget(label);
    label->setEnabled(true);
    gadgets[static_cast<std::size_t>(gadget)] = label;
  }
  frame_->setStatusBar(StatusBar);
  client_->SetStatusBar(gadgets);

  // The menu: exit and the device commands (which have no effect).
  QMenu* file = frame_->menuBar()->addMenu("&File");
  QAction* exit = file->addAction("E&xit");
  exit->setData(CM_EXIT);
  exit->setStatusTip("Close vordel");
  QObject::connect(exit, &QAction::triggered, frame_.get(), [this] { frame_->close(); });
  QMenu* devices = frame_->menuBar()->addMenu("&Devices");
  const std::pair<const char*, int> commands[] = {{"MIDI mapper in", CM_SETMIDIMAPIN},
                                                  {"MPU-401 in", CM_SETMPUIN},
                                                  {"MIDI mapper out", CM_SETMIDIMAPOUT},
                                                  {"OPL out", CM_SETOPLOUT},
                                                  {"MPU-401 out", CM_SETMPUOUT}};
  for (const auto& [name, code] : commands) {
    QAction* a = devices->addAction(name);
    a->setData(code);
    a->setStatusTip(QString("Select ") + name);
    QObject::connect(a, &QAction::triggered, client_, [this, code] {
      switch (code) {
        case CM_SETMIDIMAPIN:
          client_->CmSetMIDIMapIn();
          break;
        case CM_SETMPUIN:
          client_->CmSetMpuIn();
          break;
        case CM_SETMIDIMAPOUT:
          client_->CmSetMIDIMapOut();
          break;
        case CM_SETOPLOUT:
          client_->CmSetOplOut();
          break;
        default:
          client_->CmSetMpuOut();
          break;
      }
    });
  }
  frame_->resize(720, 200);
  client_->Setup();
  return true;
}

int TMyApp::Run() {
  if (!InitMainWindow()) {
    return 1;
  }
  frame_->showMinimized();
  return QApplication::exec();
}

int OwlMain(int argc, char** argv) {
  std::vector<std::string> args;
  // Qt takes its own options (-platform, -display, ...) out of argv first.
  QApplication qapp(argc, argv);
  QApplication::setApplicationName("vordel");
  QApplication::setApplicationVersion(VORDEL_VERSION);
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  const AppParse parsed = ParseAppOptions(args);
  if (!parsed.options) {
    std::cerr << "vordel: " << parsed.error << "\nTry 'vordel --help' for more information."
              << std::endl;
    return 2;
  }
  TMyApp app(*parsed.options);
  return app.Run();
}

}  // namespace vordel
