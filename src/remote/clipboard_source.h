// The clipboard as a source of commands, apart from the window framework that reads it. Every
// 50 ms poll yields the command of the text on the clipboard, so that a text that stays acts by
// the clipboard's rules; the text itself is read again only after the clipboard has changed, so
// a large text left there costs nothing. The clipboard is shared with every program on the
// desktop: a text of two or more characters is a parameter string only when every word of it
// begins like a number (a digit, or a minus sign and a digit); any other text (a URL, a word, a
// sentence) is no command at all, said once in the log. A text that was on the clipboard before
// the program started (a "q" left by an earlier run) is no command either: it is logged as
// ignored, and commands begin with the clipboard's first change. Control thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "control/command_queue.h"

namespace vordel {

class ClipboardPoller {
 public:
  // Reads the clipboard's plain text; nullopt when it holds none.
  using Reader = std::function<std::optional<std::string>()>;

  using LogFn = std::function<void(const std::string&)>;

  explicit ClipboardPoller(Reader reader, LogFn log = nullptr)
      : reader_(std::move(reader)), log_(std::move(log)) {}

  // The clipboard's content changed.
  void Changed() { changed_ = true; }
  // One poll: posts the command of the text on the clipboard, if it has one.
  void Poll(CommandQueue& queue);
  // How often the clipboard was read.
  std::size_t Reads() const { return reads_; }

 private:
  Reader reader_;
  LogFn log_;
  bool changed_ = true;
  bool first_read_ = true;
  bool before_start_ = false;  // the text was there before the program started
  bool ignored_ = false;       // the text is no command of ours
  std::optional<std::string> text_;
  std::size_t reads_ = 0;
};

}  // namespace vordel
