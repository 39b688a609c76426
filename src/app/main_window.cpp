#include "app/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "app/emergency.h"
#include "app/menu_codes.h"
#include "app/qt_clipboard_source.h"
#include "vordel_version.h"

namespace vordel {
namespace {

// A line for the user, on the terminal the window was started from.
void Say(const std::string& line) {
  std::cerr << "vordel: " << line << std::endl;
}

}  // namespace

TMyWindow::TMyWindow(Session& session, QWidget* parent) : QWidget(parent), session_(session) {
  setMouseTracking(true);
  setMinimumSize(480, 160);
  WindowFont = std::make_unique<QFont>("Arial");
  WindowFont->setPixelSize(16);
  WindowFont->setWeight(QFont::Normal);
  WindowFont->setItalic(false);
  WindowFont->setUnderline(false);
  WindowFont->setStrikeOut(false);
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

void TMyWindow::PostQuit(int code) {
  QCoreApplication::exit(code);
}

void TMyWindow::EmptyClip() {
  if (QClipboard* clip = QGuiApplication::clipboard()) {
    clip->clear(QClipboard::Clipboard);
  }
}

void TMyWindow::paintEvent(QPaintEvent* /*event*/) {
  if (controller_ == nullptr) {
    return;
  }
  QPainter painter(this);
  if (WindowFont) {
    painter.setFont(*WindowFont);
  }
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  QRect used;
  painter.drawText(rect(), flags, QString::fromStdString(controller_->CountersText()), &used);
  // What happened last, in a smaller font under the counters.
  QFont notice_font = painter.font();
  notice_font.setPixelSize(13);
  painter.setFont(notice_font);
  painter.setPen(session_.Refusal().empty() ? QColor(60, 60, 60) : QColor(170, 30, 20));
  QRect notice;
  painter.drawText(QRect(0, used.bottom() + 4, width(), height()), flags,
                   QString::fromStdString(controller_->NoticeText()), &notice);
  const QRect area(0, notice.bottom() + 6, width(), height() - notice.bottom() - 6);
  if (area.height() >= 48 && area.width() >= 64) {
    roll_.SetPiece(session_.PieceSerial(), session_.piece());
    roll_.Draw(painter, area, controller_->DisplayedTick());
  }
  UpdateStatusTexts();
}

void TMyWindow::UpdateStatusTexts() {
  if (controller_ == nullptr) {
    return;
  }
  for (int g = 0; g < kStatusFields; ++g) {
    QLabel* label = gadgets_[static_cast<std::size_t>(g)];
    if (label != nullptr) {
      const QString t =
          QString::fromStdString(controller_->StatusText(static_cast<StatusField>(g)));
      if (label->text() != t && !(t.isEmpty() && label->text() == " ")) {
        label->setText(t);
      }
    }
  }
  WriteState();
}

void TMyWindow::WriteState() {
  if (state_file_.empty()) {
    return;
  }
  std::string notice = controller_->NoticeText();
  std::replace(notice.begin(), notice.end(), '\n', '|');
  std::string state = "counters=" + controller_->CountersText() + "\n" + "notice=" + notice + "\n";
  static const char* const kKeys[kStatusFields] = {"events", "timer", "timed",
                                                   "min",    "mout",  "beat"};
  for (int g = 0; g < kStatusFields; ++g) {
    const QLabel* label = gadgets_[static_cast<std::size_t>(g)];
    state +=
        std::string(kKeys[g]) + "=" + (label != nullptr ? label->text().toStdString() : "") + "\n";
  }
  state += "view=" + std::to_string(roll_.ViewStart()) + " " + std::to_string(roll_.ViewLength()) +
           "\nplaying=" + std::to_string(session_.player().Running()) + "\n";
  if (state == state_written_) {
    return;
  }
  state_written_ = state;
  const std::string temp = state_file_ + ".tmp";
  if (FILE* f = std::fopen(temp.c_str(), "w")) {
    std::fputs(state.c_str(), f);
    std::fclose(f);
    std::rename(temp.c_str(), state_file_.c_str());
  }
}

void TMyWindow::mousePressEvent(QMouseEvent* event) {
  if (controller_ == nullptr) {
    return;
  }
  if (event->button() == Qt::LeftButton) {
    controller_->EvLButtonDown();
  } else if (event->button() == Qt::RightButton) {
    controller_->EvRButtonDown();
  }
}

void TMyWindow::mouseMoveEvent(QMouseEvent* event) {
  if (controller_ != nullptr) {
    controller_->EvMouseMove(event->position().toPoint().y());
  }
}

void TMyWindow::wheelEvent(QWheelEvent* event) {
  // Zooms the piano roll; the mouse's height alone sets the volume, as before.
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) {
    roll_.Zoom(steps);
    update();
  }
  event->accept();
}

TMainFrame::TMainFrame(TMyWindow* client, Controller* controller) : controller_(controller) {
  setWindowTitle("MainFrame");
  setCentralWidget(client);
}

void TMainFrame::closeEvent(QCloseEvent* event) {
  if (controller_->CanClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

TMyApp::TMyApp(const AppOptions& options, TerminationSignals& stop_signals)
    : options_(options), stop_signals_(stop_signals) {}

TMyApp::~TMyApp() {
  poll_timer_.stop();
  if (runtime_) {
    runtime_->Shutdown(0, this, [](const std::string&) {});  // said already, when Run got there
  }
  frame_.reset();  // the controller's host goes before the controller
  runtime_.reset();
}

bool TMyApp::InitMainWindow() {
  OpenedOutput opened = OpenOutput(options_.output);
  if (!opened.output) {
    std::cerr << "vordel: " << opened.error << std::endl;
    init_error_ = opened.bad_request ? 2 : 1;
    return false;
  }
  if (std::string problem; !CheckOpenedOutput(options_, opened.backend, &problem)) {
    std::cerr << "vordel: " << problem << std::endl;
    init_error_ = 2;
    return false;
  }
  std::cerr << opened.note << std::endl;
  runtime_ = std::make_unique<Runtime>(std::move(opened), options_, timer_, &std::cout);
  session_ = &runtime_->session();
  if (std::string problem; !CheckOpenedInput(options_, session_->input(), &problem)) {
    std::cerr << "vordel: " << problem << std::endl;
    init_error_ = 2;
    return false;
  }
  // The frame owns its central widget, as Qt's parents own their children.
  client_ = new TMyWindow(*session_);  // NOLINT(cppcoreguidelines-owning-memory)
  controller_ = &runtime_->Begin(*client_);
  client_->SetController(controller_);
  client_->SetStateFile(options_.state_file);
  frame_ = std::make_unique<TMainFrame>(client_, controller_);

  StatusBar = new QStatusBar(frame_.get());  // NOLINT(cppcoreguidelines-owning-memory)
  const int char_width = StatusBar->fontMetrics().averageCharWidth();
  // Left to right, with their widths in characters.
  const std::pair<StatusField, int> layout[] = {
      {StatusField::kEvents, 7}, {StatusField::kTick, 7},    {StatusField::kTimer, 7},
      {StatusField::kMidiIn, 5}, {StatusField::kMidiOut, 5}, {StatusField::kBeat, 10}};
  std::array<QLabel*, kStatusFields> gadgets{};
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

  QMenu* file = frame_->menuBar()->addMenu("&File");
  QAction* score = file->addAction("Save &score...");
  score->setStatusTip("Write the piece's score as MusicXML, for notation programs");
  QObject::connect(score, &QAction::triggered, frame_.get(), [this] {
    QString path = QFileDialog::getSaveFileName(frame_.get(), "Save score", "piece.musicxml",
                                                "MusicXML (*.musicxml *.xml)");
    if (path.isEmpty()) {
      return;
    }
    if (!path.endsWith(".musicxml", Qt::CaseInsensitive) &&
        !path.endsWith(".xml", Qt::CaseInsensitive)) {
      path += ".musicxml";
    }
    ApplyFileCommand(Command::Kind::kScore, path.toStdString());
  });
  file->addSeparator();
  QAction* exit = file->addAction("E&xit");
  exit->setData(CM_EXIT);
  exit->setStatusTip("Close vordel");
  QObject::connect(exit, &QAction::triggered, frame_.get(), [this] { frame_->close(); });
  QMenu* play = frame_->menuBar()->addMenu("&Play");
  QAction* endless = play->addAction("&Endless");
  endless->setCheckable(true);
  endless->setStatusTip("When a piece ends, the next one follows after the gap");
  QAction* link = play->addAction("&Link");
  link->setCheckable(true);
  link->setStatusTip(
      "Play in the Ableton Link session on the local network: each piece begins "
      "on its next bar, at its tempo");
  QObject::connect(play, &QMenu::aboutToShow, frame_.get(), [this, endless, link] {
    endless->setChecked(controller_->programme().Endless());
    link->setChecked(controller_->LinkJoined());
  });
  QObject::connect(link, &QAction::triggered, frame_.get(), [this](bool on) {
    Command c;
    c.kind = Command::Kind::kLink;
    c.value = on ? 1 : 0;
    c.origin = "menu";
    controller_->Apply(c);
  });
  QObject::connect(endless, &QAction::triggered, frame_.get(), [this](bool on) {
    Command c;
    c.kind = Command::Kind::kEndless;
    c.value = on ? 1 : 0;
    c.origin = "menu";
    controller_->Apply(c);
  });
  QAction* next = play->addAction("&Next");
  next->setStatusTip("Fade out this piece and go on with the next one after the gap");
  QObject::connect(next, &QAction::triggered, frame_.get(), [this] {
    Command c;
    c.kind = Command::Kind::kNext;
    c.origin = "menu";
    controller_->Apply(c);
  });
  QAction* load = play->addAction("Load &playlist...");
  QObject::connect(load, &QAction::triggered, frame_.get(), [this] {
    const QString path = QFileDialog::getOpenFileName(frame_.get(), "Load playlist");
    if (path.isEmpty()) {
      return;
    }
    ApplyFileCommand(Command::Kind::kPlaylist, path.toStdString());
  });
  devices_ = frame_->menuBar()->addMenu("&Devices");
  QObject::connect(devices_, &QMenu::aboutToShow, frame_.get(), [this] { FillDevicesMenu(); });
  frame_->resize(900, 460);

  controller_->SetupWindow(options_.piece);
  session_->AddListener(this);

  composed_notifier_ =
      std::make_unique<QSocketNotifier>(session_->composer().ReadyFd(), QSocketNotifier::Read);
  QObject::connect(composed_notifier_.get(), &QSocketNotifier::activated, frame_.get(),
                   [this] { controller_->PieceComposed(); });
  queue_notifier_ =
      std::make_unique<QSocketNotifier>(runtime_->queue().fd(), QSocketNotifier::Read);
  QObject::connect(queue_notifier_.get(), &QSocketNotifier::activated, frame_.get(), [this] {
    // A signal acts before whatever else waits (its own notifier ends the program).
    runtime_->TakeCommands([this] { return quitting_ || stop_signals_.Pending(); });
  });
  if (stop_signals_.fd() >= 0) {
    signal_notifier_ = std::make_unique<QSocketNotifier>(stop_signals_.fd(), QSocketNotifier::Read);
    QObject::connect(signal_notifier_.get(), &QSocketNotifier::activated, frame_.get(), [this] {
      if (const int sig = stop_signals_.Take(); sig != 0) {
        Quit(SignalName(sig));
      }
    });
  }

  std::vector<std::unique_ptr<CommandSource>> own;
  own.push_back(std::make_unique<QtClipboardSource>(Say));
  runtime_->StartSources(std::move(own), Say);
  if (runtime_->OscPort() != 0) {
    std::cerr << "vordel: OSC on " << options_.osc.listen << ":" << runtime_->OscPort()
              << std::endl;
  }

  QObject::connect(&poll_timer_, &QTimer::timeout, frame_.get(), [this] {
    // Ticks only raise a flag; the window repaints from its own thread.
    if (session_->transport().player().TakeRepaintRequest()) {
      client_->update();
    }
    controller_->Poll();
    client_->UpdateStatusTexts();
    runtime_->ReportDrops(Say);
    // A piece waiting for the end of its gap starts on time, not at the next poll.
    const int wake = controller_->WakeInMs();
    if (wake < 40) {
      QTimer::singleShot(wake, Qt::PreciseTimer, frame_.get(), [this] { controller_->Poll(); });
    }
  });
  poll_timer_.start(40);
  return true;
}

void TMyApp::Quit(const std::string& why) {
  std::cerr << "vordel: " << why << ": stopping" << std::endl;
  quitting_ = true;
  QCoreApplication::exit(0);
}

void TMyApp::DevicesChanged(const std::string& line) {
  std::cerr << "vordel: " << line << std::endl;
}

void TMyApp::ApplyFileCommand(Command::Kind kind, const std::string& path) {
  Command c;
  c.kind = kind;
  c.text = path;
  c.origin = "menu";
  c.reply = [this](const std::string& error) {
    if (!error.empty()) {
      client_->MessageBox(error, "Error.");
    }
  };
  controller_->Apply(c);
}

void TMyApp::FillDevicesMenu() {
  devices_->clear();
  devices_->addSection("Outputs");
  int code = CM_DEVICE_FIRST;
  for (const OutputOffer& offer : ListOutputOffers(options_.output)) {
    QAction* a = devices_->addAction(QString::fromStdString(offer.label));
    a->setData(code++);
    a->setCheckable(true);
    const bool current =
        offer.request.choice == session_->OutputBackend() &&
        (offer.request.choice == "synth" || offer.request.port == session_->OutputInput());
    a->setChecked(current);
    QObject::connect(a, &QAction::triggered, frame_.get(), [this, request = offer.request] {
      std::string message;
      if (!session_->SwitchOutput(request, &message)) {
        client_->MessageBox("The output could not be opened: " + message, "Error.");
      } else {
        std::cerr << message << std::endl;
      }
      client_->update();
    });
  }
  devices_->addSection("MIDI inputs");
  MidiInput* input = session_->input();
  const std::vector<std::string> sources =
      input != nullptr ? input->Sources() : std::vector<std::string>{};
  if (input == nullptr || sources.empty()) {
    devices_->addAction("(none found)")->setEnabled(false);
    return;
  }
  for (const std::string& source : sources) {
    QAction* a = devices_->addAction(QString::fromStdString(source));
    a->setData(code++);
    a->setCheckable(true);
    a->setChecked(source == input->Connected());
    QObject::connect(a, &QAction::triggered, frame_.get(), [this, source] {
      std::string error;
      if (!session_->input()->Connect(source, &error)) {
        client_->MessageBox("The MIDI input could not be connected: " + error, "Error.");
      }
    });
  }
}

int TMyApp::Run() {
  if (!InitMainWindow()) {
    return init_error_;
  }
  int code = 0;
  {
    EmergencySilence guard(*session_);
    frame_->showMinimized();
    code = QApplication::exec();
    poll_timer_.stop();
    code = runtime_->Shutdown(code, this, Say);
  }
  return code;
}

int OwlMain(int argc, char** argv, const AppOptions& options, TerminationSignals& stop_signals) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName("vordel");
  QApplication::setApplicationVersion(VORDEL_VERSION);
  TMyApp app(options, stop_signals);
  return app.Run();
}

}  // namespace vordel
