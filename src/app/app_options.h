// Command line of the desktop program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "midi/devices.h"

namespace vordel {

struct AppOptions {
  OutputRequest output;
  bool help = false;
  bool version = false;
};

struct AppParse {
  std::optional<AppOptions> options;
  std::string error;
};

// Parses the program's own options; Qt's options (-platform, -display ...) are left to Qt.
AppParse ParseAppOptions(const std::vector<std::string>& args);

extern const char* const kAppUsage;

}  // namespace vordel
