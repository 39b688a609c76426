// Pieces heard in the window can be made again with the command the window prints.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "app/window_logic.h"
#include "test_support.h"

namespace vordel {
namespace {

class SilentHost : public WindowHost {
 public:
  void MessageBox(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void Invalidate() override {}
  void SetStatusText(StatusGadget, const std::string&) override {}
  bool ReadClipboardText(std::string* text) override {
    *text = clipboard;
    return true;
  }
  void EmptyClipboard() override {}
  void PostQuit(int) override {}
  std::string clipboard;
};

std::string RunTool(const std::string& command) {
  const std::string prefix = "vordel-compose ";
  EXPECT_EQ(command.rfind(prefix, 0), 0u);
  return testing::PieceLines(
      testing::RunCommand(std::string(VORDEL_COMPOSE_BIN) + " " + command.substr(prefix.size()))
          .out);
}

TEST(Reproduce, CommandsRebuildThePiecesInTheWindowsOrder) {
  // The clock runs freely here, as in the program; rests make the rest planner's state matter.
  ResetRestPlanners();
  STOP_PLAYING.store(0);
  ASSERT_FALSE(PinnedClock().has_value());
  testing::CoutCapture quiet;
  SilentHost host;
  ManualTimerService timer;
  MainWindowLogic win(host, std::make_unique<RecordingOutput>(1 << 16), kMidiOk, timer);
  win.SetupWindow();
  std::vector<std::pair<std::string, std::string>> built;  // command, dump
  built.emplace_back(win.ReproduceCommandLine(), testing::DumpLines(win));
  const char* strings[] = {"3 50 40 50 10", "0 80 40 30 25 3 60 70 40 20",
                           "4 60 70 20 30\t2 40 55 80 12\n0 90 20 95 60", "3 50 40 50 10 x 1"};
  for (const char* s : strings) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // a new clock value
    host.clipboard = s;
    win.EvTimer(1);
    timer.RunUntilStopped(5);
    host.clipboard = "0";
    win.EvTimer(1);
    win.StopPlaybackAndWait();
    built.emplace_back(win.ReproduceCommandLine(), testing::DumpLines(win));
  }
  EXPECT_EQ(built[0].first.find("--rest-planner-started"), std::string::npos);
  EXPECT_NE(built[2].first.find("--rest-planner-started"), std::string::npos);
  EXPECT_NE(built[3].first.find("--dump '4 60 70 20 30 2 40 55 80 12 0 90 20 95 60'"),
            std::string::npos);
  for (const auto& [command, dump] : built) {
    EXPECT_EQ(RunTool(command), dump) << command;
  }
}

TEST(Reproduce, CommandNormalisesTheNumbers) {
  EXPECT_EQ(ReproduceCommand(" +1\t02 -3 abc 99999999999\r\n", 5, false),
            "vordel-compose --clock 5 --dump '1 2 -3 0 2147483647'");
  EXPECT_EQ(ReproduceCommand("1 2 3 4 5", 1234, true),
            "vordel-compose --clock 1234 --rest-planner-started --dump '1 2 3 4 5'");
}

}  // namespace
}  // namespace vordel
