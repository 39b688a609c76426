#include "control/clipboard_source.h"

#include "composer/parameter_string.h"

namespace vordel {

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
    before_start_ = first_read_ && text_ && CommandFromText(*text_, true, "clipboard");
    if (before_start_ && log_) {
      std::string shown = text_->substr(0, 60);
      for (char& c : shown) {
        c = (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
      }
      log_("clipboard: \"" + shown + (text_->size() > 60 ? "...\"" : "\"") +
           " was there before the start and is ignored; copy it again to use it");
    }
    first_read_ = false;
  }
  if (!text_ || before_start_) {
    return;
  }
  if (auto command = CommandFromText(*text_, true, "clipboard")) {
    queue.Post(std::move(*command));
  }
}

}  // namespace vordel
