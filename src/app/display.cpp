#include "app/display.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace vordel {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

bool XServerAnswers(const std::string& display) {
  if (display.empty()) {
    return false;
  }
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  const bool ok = c != nullptr && xcb_connection_has_error(c) == 0;
  if (c != nullptr) {
    xcb_disconnect(c);
  }
  return ok;
}

}  // namespace

DisplayEnvironment ReadDisplayEnvironment() {
  DisplayEnvironment env;
  env.display = Env("DISPLAY");
  env.wayland_display = Env("WAYLAND_DISPLAY");
  env.session_type = Env("XDG_SESSION_TYPE");
  env.qt_platform = Env("QT_QPA_PLATFORM");
  env.x_reachable = XServerAnswers(env.display);
  return env;
}

DisplayChoice ChooseDisplay(const DisplayEnvironment& env, int osc_port) {
  DisplayChoice choice;
  const std::string headless_hint = "run 'vordel --headless' to play without a window";
  if (!env.qt_platform.empty() && env.qt_platform != "xcb" && env.qt_platform != "wayland") {
    return choice;  // offscreen, vnc ...: the user chose
  }
  const bool wayland = !env.wayland_display.empty() || env.session_type == "wayland";
  if (env.qt_platform == "wayland" || (wayland && env.qt_platform.empty() && !env.x_reachable)) {
    if (env.wayland_display.empty()) {
      choice.can_open = false;
      choice.message = "vordel: no Wayland display to open a window on; " + headless_hint;
      return choice;
    }
    choice.qt_platform = "wayland";
    choice.message =
        "vordel: Wayland without XWayland: a minimized window cannot read the clipboard here; "
        "drive vordel through OSC" +
        (osc_port > 0 ? " (port " + std::to_string(osc_port) + ")" : std::string()) + " or " +
        headless_hint;
    return choice;
  }
  if (env.x_reachable) {
    choice.qt_platform = "xcb";
    if (wayland) {
      choice.message = "vordel: Wayland session: the window runs on XWayland (DISPLAY " +
                       env.display + ") so that it can read the clipboard while minimized";
    }
    return choice;
  }
  choice.can_open = false;
  choice.message =
      env.display.empty()
          ? "vordel: no display to open a window on (DISPLAY is not set); " + headless_hint
          : "vordel: cannot open the display '" + env.display + "'; " + headless_hint;
  return choice;
}

}  // namespace vordel
