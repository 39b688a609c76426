#include "outputs/soundfont.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/error_text.h"

namespace vordel {

std::string FindSoundfont() {
  if (const char* env = std::getenv("VORDEL_SOUNDFONT"); env != nullptr && *env != '\0') {
    return env;
  }
  for (const char* p :
       {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
        "/usr/share/sounds/sf3/MuseScore_General.sf3"}) {
    std::ifstream f(p);
    if (f.good()) {
      return p;
    }
  }
  return "";
}

bool CheckSoundfont(const std::string& path, std::string* error) {
  if (path.empty()) {
    *error =
        "no General MIDI soundfont installed (install timgm6mb-soundfont, or give "
        "--soundfont FILE)";
    return false;
  }
  std::ifstream f(path, std::ios::binary);
  if (!f.good()) {
    *error = "cannot read the soundfont " + path + ": " + ErrorText(errno);
    return false;
  }
  char header[12] = {};
  f.read(header, sizeof header);
  // A soundfont is a RIFF file of form "sfbk".
  if (f.gcount() < 12 || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "sfbk", 4) != 0) {
    *error = path + " is not a soundfont (SF2 or SF3)";
    return false;
  }
  return true;
}

std::string ChooseSoundfont(const std::string& asked) {
  return asked.empty() ? FindSoundfont() : asked;
}

}  // namespace vordel
