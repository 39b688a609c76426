#include "app/display.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

DisplayEnvironment Env(const std::string& display, bool x, const std::string& wayland = "",
                       const std::string& platform = "") {
  DisplayEnvironment e;
  e.display = display;
  e.x_reachable = x;
  e.wayland_display = wayland;
  e.qt_platform = platform;
  return e;
}

TEST(Display, AnXServerIsUsedAndUnderWaylandSaysSo) {
  DisplayChoice c = ChooseDisplay(Env(":0", true), 7770);
  EXPECT_TRUE(c.can_open);
  EXPECT_EQ(c.qt_platform, "xcb");
  EXPECT_EQ(c.message, "");
  c = ChooseDisplay(Env(":0", true, "wayland-0"), 7770);
  EXPECT_EQ(c.qt_platform, "xcb");  // XWayland: the clipboard works while minimized
  EXPECT_NE(c.message.find("XWayland"), std::string::npos);
}

TEST(Display, WaylandAloneWarnsAndPointsElsewhere) {
  const DisplayChoice c = ChooseDisplay(Env("", false, "wayland-0"), 7771);
  EXPECT_TRUE(c.can_open);
  EXPECT_EQ(c.qt_platform, "wayland");
  EXPECT_NE(c.message.find("cannot read the clipboard"), std::string::npos);
  EXPECT_NE(c.message.find("OSC (port 7771)"), std::string::npos);
  EXPECT_NE(c.message.find("--headless"), std::string::npos);
}

TEST(Display, NoDisplayIsOneClearLineNamingHeadless) {
  DisplayChoice c = ChooseDisplay(Env("", false), 7770);
  EXPECT_FALSE(c.can_open);
  EXPECT_NE(c.message.find("DISPLAY is not set"), std::string::npos);
  EXPECT_NE(c.message.find("vordel --headless"), std::string::npos);
  c = ChooseDisplay(Env(":9", false), 7770);
  EXPECT_FALSE(c.can_open);
  EXPECT_NE(c.message.find("cannot open the display ':9'"), std::string::npos);
  c = ChooseDisplay(Env("", false, "", "offscreen"), 7770);  // the user's own platform
  EXPECT_TRUE(c.can_open);
  EXPECT_EQ(c.qt_platform, "");
}

}  // namespace
}  // namespace vordel
