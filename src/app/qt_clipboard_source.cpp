#include "app/qt_clipboard_source.h"

#include <QClipboard>
#include <QGuiApplication>

namespace vordel {

QtClipboardSource::QtClipboardSource(ClipboardPoller::LogFn log)
    : poller_(
          []() -> std::optional<std::string> {
            const QClipboard* clip = QGuiApplication::clipboard();
            if (clip == nullptr) {
              return std::nullopt;
            }
            const QString t = clip->text(QClipboard::Clipboard);
            if (t.isNull()) {
              return std::nullopt;
            }
            return t.toStdString();
          },
          std::move(log)) {}

bool QtClipboardSource::Start(CommandQueue& queue, std::string* error) {
  QClipboard* clip = QGuiApplication::clipboard();
  if (clip == nullptr) {
    *error = "no clipboard";
    return false;
  }
  queue_ = &queue;
  connect(clip, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
    if (mode == QClipboard::Clipboard) {
      poller_.Changed();
      poller_.Poll(*queue_);  // a new text acts now, not at the next poll
    }
  });
  connect(&timer_, &QTimer::timeout, this, [this] { poller_.Poll(*queue_); });
  timer_.start(50);
  return true;
}

void QtClipboardSource::Stop() {
  timer_.stop();
  if (QClipboard* clip = QGuiApplication::clipboard()) {
    QObject::disconnect(clip, nullptr, this, nullptr);
  }
}

}  // namespace vordel
