#include "app/display.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

struct DisplayCase {
  const char* name;
  DisplayEnvironment env;
  bool can_open;
  const char* platform;  // QT_QPA_PLATFORM set
  const char* display;   // DISPLAY set
  const char* says;      // in the message ("" for no message)
};

class Display : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(Display, OpensWhereTheClipboardCanBeReadOrSaysWhyNot) {
  const DisplayCase& c = GetParam();
  const DisplayChoice choice = ChooseDisplay(c.env, 7771);
  EXPECT_EQ(choice.can_open, c.can_open);
  EXPECT_EQ(choice.qt_platform, c.platform);
  EXPECT_EQ(choice.display, c.display);
  if (*c.says == '\0') {
    EXPECT_EQ(choice.message, "");
  } else {
    EXPECT_NE(choice.message.find(c.says), std::string::npos) << choice.message;
  }
  if (!choice.can_open) {
    EXPECT_NE(choice.message.find("vordel --headless"), std::string::npos);
  }
}

DisplayEnvironment Env(const char* display, bool x, const char* wayland = "",
                       const char* local_x = "", bool wayland_usable = false,
                       const char* platform = "") {
  DisplayEnvironment e;
  e.display = display;
  e.x_reachable = x;
  e.wayland_display = wayland;
  e.local_x = local_x;
  e.wayland_usable = wayland_usable;
  e.qt_platform = platform;
  return e;
}

INSTANTIATE_TEST_SUITE_P(
    Environments, Display,
    ::testing::Values(
        DisplayCase{"X", Env(":0", true), true, "xcb", "", ""},
        DisplayCase{"XWayland", Env(":0", true, "wayland-0"), true, "xcb", "", "XWayland"},
        // A service's DISPLAY is not set: the XWayland of the session is found on its socket.
        DisplayCase{"XWaylandFound", Env("", false, "wayland-0", ":1"), true, "xcb", ":1",
                    "found on its local socket"},
        DisplayCase{"WaylandAlone", Env("", false, "wayland-0", "", true), true, "wayland", "",
                    "OSC (port 7771)"},
        // No XWayland and no Wayland support in the framework: exit 2, never an abort.
        DisplayCase{"WaylandUnusable", Env("", false, "wayland-0"), false, "", "", "qt6-wayland"},
        DisplayCase{"WaylandAsked", Env(":0", true, "", "", false, "wayland"), false, "", "",
                    "no Wayland display"},
        DisplayCase{"NoDisplay", Env("", false), false, "", "", "DISPLAY is not set"},
        DisplayCase{"DeadDisplay", Env(":9", false), false, "", "", "cannot open the display ':9'"},
        DisplayCase{"UsersOwnPlatform", Env("", false, "", "", false, "offscreen"), true, "", "",
                    ""}),
    [](const ::testing::TestParamInfo<DisplayCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vordel
