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
#include <algorithm>
#include <iostream>

#include "app/menu_codes.h"
#include "player/schedule.h"
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
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  const QString counters = QString::fromStdString(CountersText());
  QRect used;
  painter.drawText(rect(), flags, counters, &used);
  const QRect area(0, used.bottom() + 8, width(), height() - used.bottom() - 8);
  if (area.height() >= 24 && area.width() >= 24) {
    DrawRoll(painter, area);
  }
  UpdateStatusTexts();
}

namespace {

// One colour per channel.
const QColor kChannelColours[4] = {QColor(200, 60, 40), QColor(40, 120, 200), QColor(60, 160, 60),
                                   QColor(170, 90, 190)};

}  // namespace

void TMyWindow::RenderRoll(const QSize& size) {
  roll_ = QImage(size, QImage::Format_RGB32);
  roll_.fill(QColor(252, 252, 248));
  QPainter p(&roll_);
  const Schedule schedule = PlaybackSchedule(*this);
  const std::vector<NoteSpan> notes = NoteSpans(schedule);
  roll_end_ = std::max<std::int64_t>(schedule.end_tick, 1);
  int low = 127;
  int high = 0;
  for (const NoteSpan& n : notes) {
    low = std::min(low, n.key);
    high = std::max(high, n.key);
  }
  if (notes.empty()) {
    low = 48;
    high = 72;
  }
  low = std::max(0, low - 2);
  high = std::min(127, high + 2);
  const double px_per_tick = static_cast<double>(size.width()) / static_cast<double>(roll_end_);
  const double row = static_cast<double>(size.height()) / (high - low + 1);
  // Octave lines, then object boundaries, then the notes.
  p.setPen(QColor(225, 225, 220));
  for (int key = (low / 12 + 1) * 12; key <= high; key += 12) {
    const int y = static_cast<int>((high - key + 1) * row);
    p.drawLine(0, y, size.width(), y);
  }
  p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
  for (auto& obj : object_list) {
    const int x = static_cast<int>(static_cast<double>(obj->GetMusObjOnsetTime()) * px_per_tick);
    p.drawLine(x, 0, x, size.height());
  }
  p.setPen(Qt::NoPen);
  const int h = std::max(1, static_cast<int>(row));
  for (const NoteSpan& n : notes) {
    p.setBrush(kChannelColours[(n.channel - 1) & 3]);
    const int x = static_cast<int>(static_cast<double>(n.start) * px_per_tick);
    const int w = std::max(1, static_cast<int>(static_cast<double>(n.end - n.start) * px_per_tick));
    const int y = static_cast<int>((high - n.key) * row);
    p.drawRect(x, y, w, h);
  }
  roll_serial_ = PieceSerial();
}

void TMyWindow::DrawRoll(QPainter& painter, const QRect& area) {
  if (roll_serial_ != PieceSerial() || roll_.size() != area.size()) {
    RenderRoll(area.size());
  }
  painter.drawImage(area.topLeft(), roll_);
  painter.setPen(QColor(90, 90, 90));
  painter.drawRect(area.adjusted(0, 0, -1, -1));
  const double fraction =
      std::clamp(static_cast<double>(DisplayedTick()) / static_cast<double>(roll_end_), 0.0, 1.0);
  const int x = area.left() + static_cast<int>(fraction * (area.width() - 1));
  painter.setPen(QPen(QColor(20, 20, 20), 2));
  painter.drawLine(x, area.top(), x, area.bottom());
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
  frame_->resize(900, 420);
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
