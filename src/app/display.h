// Where the window can open, decided before the window framework starts (it aborts when it has
// no display): an X server, XWayland under a Wayland session (so that the clipboard can be read
// while the window is minimized; found on its local socket when a service's DISPLAY is not set),
// Wayland itself when the framework supports it here, or nowhere. Main thread, at start-up.
#pragma once

#include <string>

namespace vordel {

struct DisplayEnvironment {
  std::string display;          // DISPLAY
  std::string wayland_display;  // WAYLAND_DISPLAY
  std::string session_type;     // XDG_SESSION_TYPE
  std::string qt_platform;      // QT_QPA_PLATFORM
  bool x_reachable = false;     // an X server answers at DISPLAY
  // An X server of this machine that answers on its local socket (":1"), XWayland first; looked
  // for under a Wayland session when DISPLAY does not lead to one ("" for none).
  std::string local_x;
  // The Wayland compositor's socket is there and the window framework can talk to it.
  bool wayland_usable = false;
};

struct DisplayChoice {
  bool can_open = true;     // false: do not start the window at all (exit code 2)
  std::string qt_platform;  // the platform to set ("" to leave it to Qt)
  std::string display;      // DISPLAY to set ("" to leave it)
  std::string message;      // one line for the user ("" for none)
};

DisplayChoice ChooseDisplay(const DisplayEnvironment& env, int osc_port);

// The environment of this process, with the X server tried at DISPLAY.
DisplayEnvironment ReadDisplayEnvironment();

}  // namespace vordel
