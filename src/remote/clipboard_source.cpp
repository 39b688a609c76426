#include "remote/clipboard_source.h"

#include "composer/parameter_string.h"

namespace vordel {

namespace {

// The text as one log line shows it: its first 60 characters, line breaks and tabs as spaces.
std::string Shown(const std::string& text) {
  std::string shown = text.substr(0, 60);
  for (char& c : shown) {
    c = (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  }
  return "\"" + shown + (text.size() > 60 ? "...\"" : "\"");
}

}  // namespace

void ClipboardPoller::Poll(CommandQueue& queue) {
  if (changed_) {
    changed_ = false;
    ++reads_;
    text_ = reader_();
    // Of a parameter string only the first kMaxParameterText bytes are read; one byte more
    // keeps a longer text distinct from its prefix.
    if (text_ && text_->size() > kMaxParameterText + 1) {
      text_->resize(kMaxParameterText + 1);
    }
    // The clipboard is every program's: a text that is not a command of ours (a URL, a word, a
    // sentence) commands nothing. It is said once.
    ignored_ = text_ && text_->size() > 1 && !LooksLikeParameterString(*text_);
    if (ignored_ && log_) {
      log_("clipboard: " + Shown(*text_) +
           " is not a parameter string (every word of one begins like a number); ignored");
    }
    before_start_ = !ignored_ && first_read_ && text_ && CommandFromText(*text_, true, "clipboard");
    if (before_start_ && log_) {
      log_("clipboard: " + Shown(*text_) +
           " was there before the start and is ignored; copy it again to use it");
    }
    first_read_ = false;
  }
  if (!text_ || before_start_ || ignored_) {
    return;
  }
  if (auto command = CommandFromText(*text_, true, "clipboard")) {
    queue.Post(std::move(*command));
  }
}

}  // namespace vordel
