// The desktop clipboard as a command source: polled every 50 ms by the window's event loop, its
// text read again only when the window framework reports a change. Window thread only.
#pragma once

#include <QObject>
#include <QTimer>

#include "remote/clipboard_source.h"
#include "remote/command_source.h"

namespace vordel {

class QtClipboardSource : public QObject, public CommandSource {
 public:
  // log: one line when the text found at the start is ignored.
  explicit QtClipboardSource(ClipboardPoller::LogFn log);
  std::string Name() const override { return "clipboard"; }
  bool Start(CommandQueue& queue, std::string* error) override;
  void Stop() override;

 private:
  ClipboardPoller poller_;
  QTimer timer_;
  CommandQueue* queue_ = nullptr;
};

}  // namespace vordel
