#include "control/command.h"

namespace vordel {

std::optional<Command> CommandFromText(const std::string& text, bool latched,
                                       const std::string& origin) {
  Command c;
  c.latched = latched;
  c.origin = origin;
  if (text.size() == 1) {
    if (text == "0") {
      c.kind = Command::Kind::kStop;
    } else if (text == "1") {
      c.kind = Command::Kind::kPlay;
    } else if (text == "q") {
      c.kind = Command::Kind::kQuit;
    } else {
      return std::nullopt;
    }
    return c;
  }
  if (text.size() > 1) {
    c.kind = Command::Kind::kCompose;
    c.text = text;
    return c;
  }
  return std::nullopt;
}

}  // namespace vordel
