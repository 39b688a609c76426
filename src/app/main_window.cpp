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
#include <QProgressDialog>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "app/emergency.h"
#include "app/menu_codes.h"
#include "app/qt_clipboard_source.h"
#include "export/audio_render.h"
#include "export/midi_file.h"
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
  setFocusPolicy(Qt::StrongFocus);  // Esc from the field comes here, where Space plays
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
  const QRect text_area = rect().adjusted(4, 2, -4, 0);
  // The counters in sections and minutes, then as the program has always written them, smaller.
  QRect used;
  painter.drawText(text_area, flags, QString::fromStdString(controller_->ReadableCounters()),
                   &used);
  QFont small_font = painter.font();
  small_font.setPixelSize(12);
  painter.setFont(small_font);
  painter.setPen(QColor(110, 110, 110));
  painter.drawText(text_area.adjusted(0, used.bottom() + 2, 0, 0), flags,
                   QString::fromStdString(controller_->CountersText()), &used);
  // What happened last, under the counters; the string's warnings have their own area.
  QFont notice_font = painter.font();
  notice_font.setPixelSize(13);
  painter.setFont(notice_font);
  painter.setPen(session_.Refusal().empty() ? QColor(60, 60, 60) : QColor(170, 30, 20));
  QRect notice;
  painter.drawText(text_area.adjusted(0, used.bottom() + 4, 0, 0), flags,
                   QString::fromStdString(controller_->NoticeText(false)), &notice);
  const QRect area(0, notice.bottom() + 6, width(), height() - notice.bottom() - 6);
  roll_area_ = QRect();
  if (area.height() >= 48 && area.width() >= 64) {
    roll_.SetPiece(session_.PieceSerial(), session_.piece());
    roll_.Draw(painter, area, controller_->DisplayedTick());
    roll_area_ = area;
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
      // In words; the raw field, for those who drive the program by it, in the tooltip.
      const auto field = static_cast<StatusField>(g);
      const QString t = QString::fromStdString(controller_->StatusWords(field));
      if (label->text() != t && !(t.isEmpty() && label->text() == " ")) {
        label->setText(t);
      }
      const QString raw = QString::fromStdString(controller_->StatusText(field));
      if (label->toolTip() != raw) {
        label->setToolTip(raw);
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
    const auto field = static_cast<StatusField>(g);
    state += std::string(kKeys[g]) + "=" + controller_->StatusText(field) + "\n" + kKeys[g] +
             "_words=" + controller_->StatusWords(field) + "\n";
  }
  state += "view=" + std::to_string(roll_.ViewStart()) + " " + std::to_string(roll_.ViewLength()) +
           "\nplaying=" + std::to_string(session_.player().Running()) + "\n" +
           "readable=" + controller_->ReadableCounters() + "\n" +
           "roll=" + std::to_string(roll_area_.width()) + "x" +
           std::to_string(roll_area_.height()) + "\n" + (more_state_ ? more_state_() : "");
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

void TMyWindow::ZoomRoll(int steps) {
  roll_.Zoom(steps);
  update();
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

TMainFrame::TMainFrame(QWidget* client, Controller* controller) : controller_(controller) {
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
  // Above the client the piece panel, under it the string's warnings, scrolled when many.
  auto* central = new QWidget();            // NOLINT(cppcoreguidelines-owning-memory)
  auto* column = new QVBoxLayout(central);  // NOLINT(cppcoreguidelines-owning-memory)
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  panel_ = new PiecePanel(  // NOLINT(cppcoreguidelines-owning-memory)
      [this](const std::string& text, bool exact) { Send(Command::Kind::kCompose, text, exact); });
  column->addWidget(panel_);
  column->addWidget(client_, 1);
  warnings_ = new QPlainTextEdit();  // NOLINT(cppcoreguidelines-owning-memory)
  warnings_->setObjectName("warnings");
  warnings_->setReadOnly(true);
  warnings_->setFocusPolicy(Qt::ClickFocus);
  warnings_->hide();
  column->addWidget(warnings_);
  client_->SetStateFile(options_.state_file, [this] {
    std::string warnings = panel_->Warnings();
    std::replace(warnings.begin(), warnings.end(), '\n', '|');
    return "field_warnings=" + warnings + "\nhistory=" + std::to_string(panel_->HistoryCount()) +
           "\nfield_focus=" + std::to_string(panel_->FieldHasFocus() ? 1 : 0) +
           "\nplay_enabled=" + std::to_string(play_ != nullptr && play_->isEnabled() ? 1 : 0) +
           "\nstop_enabled=" + std::to_string(stop_ != nullptr && stop_->isEnabled() ? 1 : 0) +
           "\nfade=" + std::to_string(controller_->programme().Fading() ? 1 : 0) + "\n";
  });
  frame_ = std::make_unique<TMainFrame>(central, controller_);
  panel_->AddJournal(ReadJournalTail(options_.programme.journal, 100));

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
  AddExports(file);
  file->addSeparator();
  QAction* exit = file->addAction("E&xit");
  exit->setData(CM_EXIT);
  exit->setStatusTip("Close vordel");
  QObject::connect(exit, &QAction::triggered, frame_.get(), [this] { frame_->close(); });
  QMenu* play = frame_->menuBar()->addMenu("&Play");
  AddTransport();
  play->addAction(play_);
  play->addAction(stop_);
  QAction* toggle = play->addAction("Play or stop");
  toggle->setShortcut(Qt::Key_Space);
  toggle->setStatusTip("Space: plays when nothing plays, stops what plays");
  QObject::connect(toggle, &QAction::triggered, frame_.get(), [this] {
    Send(session_->player().Running() != 0 ? Command::Kind::kStop : Command::Kind::kPlay);
  });
  QAction* type = play->addAction("&Type a piece");
  type->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  type->setStatusTip("Puts the cursor in the piece field; Enter plays it, Esc leaves it");
  QObject::connect(type, &QAction::triggered, frame_.get(), [this] { panel_->FocusField(); });
  QAction* history = play->addAction("&History");
  history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  history->setStatusTip(
      "The examples and the pieces played before: arrows choose one for the field, Enter plays it");
  QObject::connect(history, &QAction::triggered, frame_.get(), [this] { panel_->FocusHistory(); });
  play->addAction(fade_);
  play->addSeparator();
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
  next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  next->setStatusTip("Fade out this piece and go on with the next one after the gap");
  QObject::connect(next, &QAction::triggered, frame_.get(), [this] { Send(Command::Kind::kNext); });
  frame_->findChild<QToolBar*>("transport")->insertAction(fade_, next);
  QAction* load = play->addAction("Load &playlist...");
  QObject::connect(load, &QAction::triggered, frame_.get(), [this] {
    const QString path = QFileDialog::getOpenFileName(frame_.get(), "Load playlist");
    if (path.isEmpty()) {
      return;
    }
    ApplyFileCommand(Command::Kind::kPlaylist, path.toStdString());
  });
  QMenu* view = frame_->menuBar()->addMenu("&View");
  QAction* zoom_in = view->addAction("Zoom &in");
  zoom_in->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  QObject::connect(zoom_in, &QAction::triggered, frame_.get(), [this] { client_->ZoomRoll(1); });
  QAction* zoom_out = view->addAction("Zoom &out");
  zoom_out->setShortcut(QKeySequence::ZoomOut);
  QObject::connect(zoom_out, &QAction::triggered, frame_.get(), [this] { client_->ZoomRoll(-1); });
  devices_ = frame_->menuBar()->addMenu("&Devices");
  QObject::connect(devices_, &QMenu::aboutToShow, frame_.get(), [this] { FillDevicesMenu(); });
  // A size to work in, within the screen (at twice the scale a small screen holds less).
  QSize size(1100, 720);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableSize());
  }
  frame_->resize(size);

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
    // What the commands changed shows now, not at the next poll.
    Follow();
    client_->UpdateStatusTexts();
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
    Follow();
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

void TMyApp::PieceBuilt(const std::string& reproduce) {
  if (panel_ != nullptr) {
    panel_->AddPlayed(reproduce);
  }
}

void TMyApp::Send(Command::Kind kind, const std::string& text, bool exact) {
  Command c;
  c.kind = kind;
  c.text = text;
  c.exact = exact;
  c.origin = "window";
  controller_->Apply(c);
  Follow();
}

void TMyApp::AddTransport() {
  QToolBar* bar = frame_->addToolBar("Transport");
  bar->setObjectName("transport");
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QStyle* style = frame_->style();
  play_ = bar->addAction(style->standardIcon(QStyle::SP_MediaPlay), "&Play");
  play_->setStatusTip("Play the current piece from its start (Space)");
  QObject::connect(play_, &QAction::triggered, frame_.get(),
                   [this] { Send(Command::Kind::kPlay); });
  stop_ = bar->addAction(style->standardIcon(QStyle::SP_MediaStop), "&Stop");
  stop_->setStatusTip("Stop what plays (Space)");
  QObject::connect(stop_, &QAction::triggered, frame_.get(),
                   [this] { Send(Command::Kind::kStop); });
  fade_ = bar->addAction("&Fade");
  fade_->setCheckable(true);
  fade_->setChecked(controller_->programme().Fading());
  fade_->setStatusTip(
      "Stops and nexts fade out (over --fade's seconds, else two) rather than "
      "cutting off");
  QObject::connect(fade_, &QAction::toggled, frame_.get(), [this](bool on) {
    controller_->programme().SetFading(on);
    std::cerr << "vordel: window: fade " << (on ? "on" : "off") << std::endl;
  });
}

void TMyApp::Follow() {
  if (play_ == nullptr) {
    return;
  }
  const bool playing = session_->player().Running() != 0;
  play_->setEnabled(!playing);
  stop_->setEnabled(playing);
  if (fade_->isChecked() != controller_->programme().Fading()) {
    fade_->setChecked(controller_->programme().Fading());
  }
  // A stop, a start or a refusal from any source shows at once, not at the next tick's repaint.
  const std::string shown = controller_->NoticeText() + (playing ? "\nplaying" : "\nstill");
  if (shown != followed_) {
    followed_ = shown;
    client_->update();
  }
  std::string warnings;
  for (const std::string& w : session_->Warnings()) {
    warnings += (warnings.empty() ? "Warning: " : "\nWarning: ") + w;
  }
  if (warnings != warnings_shown_) {
    warnings_shown_ = warnings;
    warnings_->setPlainText(QString::fromStdString(warnings));
    // As high as its lines, up to five; more scroll.
    const int lines = static_cast<int>(std::count(warnings.begin(), warnings.end(), '\n')) + 1;
    warnings_->setFixedHeight(warnings_->fontMetrics().lineSpacing() * std::min(lines, 5) + 12);
    warnings_->setVisible(!warnings.empty());
  }
}

void TMyApp::AddExports(QMenu* file) {
  QAction* midi = file->addAction("Save &MIDI file...");
  midi->setStatusTip("Write the piece as a Standard MIDI File");
  QObject::connect(midi, &QAction::triggered, frame_.get(), [this] { SaveMidi(); });
  QAction* render = file->addAction("&Render audio...");
  render->setStatusTip("Render the piece to a WAV, FLAC or Ogg file with the built-in synthesizer");
  QObject::connect(render, &QAction::triggered, frame_.get(), [this] { RenderAudioFile(); });
}

void TMyApp::SaveMidi() {
  QString path = QFileDialog::getSaveFileName(frame_.get(), "Save MIDI file", "piece.mid",
                                              "Standard MIDI File (*.mid *.midi)");
  if (path.isEmpty()) {
    return;
  }
  if (!path.endsWith(".mid", Qt::CaseInsensitive) && !path.endsWith(".midi", Qt::CaseInsensitive)) {
    path += ".mid";
  }
  std::string error;
  if (!WriteStandardMidiFile(session_->schedule(), path.toStdString(), &error)) {
    client_->MessageBox(error, "Error.");
    return;
  }
  std::cerr << "vordel: window: wrote " << path.toStdString() << std::endl;
}

void TMyApp::RenderAudioFile() {
  QString path = QFileDialog::getSaveFileName(frame_.get(), "Render audio", "piece.wav",
                                              "Audio (*.wav *.flac *.ogg)");
  if (path.isEmpty()) {
    return;
  }
  if (!path.endsWith(".wav", Qt::CaseInsensitive) && !path.endsWith(".flac", Qt::CaseInsensitive) &&
      !path.endsWith(".ogg", Qt::CaseInsensitive)) {
    path += ".wav";
  }
  // The rendering runs beside the window, on a copy of the piece's schedule; the window stays
  // alive and the dialog's Cancel gives it up (nothing is left behind).
  const Schedule schedule = session_->schedule();
  std::atomic<bool> cancel{false};
  std::atomic<std::int64_t> done{0};
  std::atomic<std::int64_t> total{1};
  std::atomic<bool> finished{false};
  RenderResult result;
  RenderOptions render_options;
  render_options.cancel = &cancel;
  std::thread worker([&] {
    result = RenderAudio(schedule, path.toStdString(), render_options,
                         [&](std::int64_t d, std::int64_t t) {
                           done.store(d, std::memory_order_relaxed);
                           total.store(std::max<std::int64_t>(t, 1), std::memory_order_relaxed);
                         });
    finished.store(true, std::memory_order_release);
  });
  QProgressDialog dialog("Rendering " + path + " ...", "&Cancel", 0, 1000, frame_.get());
  dialog.setWindowTitle("Rendering");
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(0);
  while (!finished.load(std::memory_order_acquire)) {
    dialog.setValue(static_cast<int>(done.load(std::memory_order_relaxed) * 1000 /
                                     total.load(std::memory_order_relaxed)));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (dialog.wasCanceled() || quitting_) {
      cancel.store(true, std::memory_order_relaxed);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  worker.join();
  dialog.reset();
  if (!result.ok) {
    if (result.error != kRenderCancelled) {
      client_->MessageBox(result.error, "Error.");
    }
    std::cerr << "vordel: window: " << result.error << std::endl;
    return;
  }
  std::cerr << "vordel: window: wrote " << path.toStdString() << std::endl;
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
    if (options_.show) {
      frame_->showNormal();
    } else {
      frame_->showMinimized();
    }
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
