#include "app/display.h"

#include <dirent.h>
#include <sys/stat.h>
#include <xcb/xcb.h>
#include <QLibraryInfo>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

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

// The X servers of this machine listen on /tmp/.X11-unix/X<n>: the first that answers, one
// that is XWayland before any other.
std::string FindLocalXServer() {
  std::vector<int> numbers;
  if (DIR* dir = opendir("/tmp/.X11-unix")) {
    while (const dirent* e = readdir(dir)) {
      if (e->d_name[0] == 'X' && e->d_name[1] >= '0' && e->d_name[1] <= '9') {
        numbers.push_back(std::atoi(e->d_name + 1));
      }
    }
    closedir(dir);
  }
  std::sort(numbers.begin(), numbers.end());
  std::string first;
  for (int n : numbers) {
    std::string display = ":" + std::to_string(n);
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (c == nullptr || xcb_connection_has_error(c) != 0) {
      if (c != nullptr) {
        xcb_disconnect(c);
      }
      continue;
    }
    static const char kName[] = "XWAYLAND";
    // xcb's replies are the caller's to free with free().
    const std::unique_ptr<xcb_query_extension_reply_t, void (*)(void*)> reply(
        xcb_query_extension_reply(c, xcb_query_extension(c, sizeof kName - 1, kName), nullptr),
        &std::free);
    const bool xwayland = reply != nullptr && reply->present != 0;
    xcb_disconnect(c);
    if (xwayland) {
      return display;
    }
    if (first.empty()) {
      first = display;
    }
  }
  return first;
}

bool WaylandSocketThere(const std::string& wayland_display) {
  if (wayland_display.empty()) {
    return false;
  }
  const std::string path =
      wayland_display[0] == '/' ? wayland_display : Env("XDG_RUNTIME_DIR") + "/" + wayland_display;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Without its Wayland platform plugin the window framework aborts instead of opening.
bool WaylandPluginInstalled() {
  std::vector<std::string> folders;
  const std::string extra = Env("QT_PLUGIN_PATH");
  for (std::size_t at = 0; at < extra.size();) {
    const std::size_t colon = std::min(extra.find(':', at), extra.size());
    folders.push_back(extra.substr(at, colon - at));
    at = colon + 1;
  }
  folders.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString());
  for (const std::string& folder : folders) {
    if (DIR* dir = opendir((folder + "/platforms").c_str())) {
      bool found = false;
      while (const dirent* e = readdir(dir)) {
        found = found || std::string(e->d_name).rfind("libqwayland", 0) == 0;
      }
      closedir(dir);
      if (found) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

DisplayEnvironment ReadDisplayEnvironment() {
  DisplayEnvironment env;
  env.display = Env("DISPLAY");
  env.wayland_display = Env("WAYLAND_DISPLAY");
  env.session_type = Env("XDG_SESSION_TYPE");
  env.qt_platform = Env("QT_QPA_PLATFORM");
  env.x_reachable = XServerAnswers(env.display);
  const bool wayland = !env.wayland_display.empty() || env.session_type == "wayland";
  if (wayland && !env.x_reachable) {
    env.local_x = FindLocalXServer();
  }
  env.wayland_usable = WaylandSocketThere(env.wayland_display) && WaylandPluginInstalled();
  return env;
}

DisplayChoice ChooseDisplay(const DisplayEnvironment& env, int osc_port) {
  DisplayChoice choice;
  const std::string headless_hint = "run 'vordel --headless' to play without a window";
  if (!env.qt_platform.empty() && env.qt_platform != "xcb" && env.qt_platform != "wayland") {
    return choice;  // offscreen, vnc ...: the user chose
  }
  const bool wayland = !env.wayland_display.empty() || env.session_type == "wayland";
  const bool x_here = env.x_reachable || (wayland && !env.local_x.empty());
  if (env.qt_platform == "wayland" || (wayland && env.qt_platform.empty() && !x_here)) {
    if (env.wayland_display.empty() || !env.wayland_usable) {
      choice.can_open = false;
      choice.message =
          env.wayland_display.empty()
              ? "vordel: no Wayland display to open a window on; " + headless_hint
              : "vordel: no XWayland found, and the window cannot open on Wayland '" +
                    env.wayland_display +
                    "' here (its socket is not there, or Qt's Wayland support, qt6-wayland, is "
                    "not installed); " +
                    headless_hint;
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
  if (x_here) {
    choice.qt_platform = "xcb";
    std::string display = env.display;
    if (!env.x_reachable) {
      choice.display = env.local_x;
      display = env.local_x;
    }
    if (wayland) {
      choice.message = "vordel: Wayland session: the window runs on XWayland (DISPLAY " + display +
                       (env.x_reachable ? "" : ", found on its local socket") +
                       ") so that it can read the clipboard while minimized";
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
