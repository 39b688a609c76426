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
  }
  if (!text_) {
    return;
  }
  if (auto command = CommandFromText(*text_, true, "clipboard")) {
    queue.Post(std::move(*command));
  }
}

}  // namespace vordel
