#include "tools/terminal_player.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "composer/piece_builder.h"
#include "player/composition_player.h"

namespace vordel {
namespace {

std::atomic<int> g_signal{0};

void OnSignal(int sig) {
  g_signal.store(sig);
}

class TerminalPlayer : public CompositionPlayer {
 public:
  TerminalPlayer(std::unique_ptr<MidiOutput> out, unsigned input_status, TimerService& timer)
      : CompositionPlayer("vordel-compose", "", "", std::move(out), input_status, timer) {}
  std::string timer_status;

 protected:
  void ShowTimerStatus(const char* text) override { timer_status = text; }
};

}  // namespace

int PlayFromTerminal(const std::string& text, const OutputRequest& request) {
  OpenedOutput opened = OpenOutput(request);
  if (!opened.output) {
    std::cerr << "vordel-compose: " << opened.error << std::endl;
    return 1;
  }
  std::cerr << opened.note << std::endl;
  ThreadTimerService timer;
  MidiInputHandle input;
  TerminalPlayer player(std::move(opened.output), input.Status(), timer);
  if (BuildPiece(player, text, std::cout) == BuildResult::kTooManyEvents) {
    std::cerr << "vordel-compose: the parameter string asks for too many events (at most "
              << kMaxPieceEvents << ")" << std::endl;
    return 1;
  }
  std::cout.flush();

  struct sigaction sa {};
  sa.sa_handler = &OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  player.PrepareEnsemble();
  STOP_PLAYING.store(0);
  player.ResetIters();
  if (!player.PlayMusicalObject()) {
    std::cerr << "vordel-compose: nothing to play" << (player.timer_status.empty() ? "" : " (")
              << player.timer_status << (player.timer_status.empty() ? "" : ")") << std::endl;
    player.CloseDevices();
    return player.object_list.empty() ? 0 : 1;
  }
  player.SetPlayStatus();

  const bool tty = isatty(STDERR_FILENO) != 0;
  const double total_s = static_cast<double>(player.Composition_TotalTime) / 1000.0;
  const int objects = static_cast<int>(player.object_list.size());
  const auto started = std::chrono::steady_clock::now();
  auto progress = [&](bool final_line) {
    const double pos = static_cast<double>(Global_Data.LastTimeSetEvID.load()) / 1000.0;
    std::fprintf(stderr, "%s%8.1f s / %.1f s  object %d/%d  events %d  %s%s", tty ? "\r" : "", pos,
                 total_s, player.PlayingObjectNumber(), objects, Global_Data.PlayedEvents.load(),
                 player.GetOUTStatusStr(), final_line || !tty ? "\n" : "   ");
    std::fflush(stderr);
  };
  int ticks = 0;
  while (player.GetPlayStatus() != 0 && g_signal.load() == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (tty || ++ticks % 50 == 0) {
      progress(false);
    }
  }
  const bool interrupted = g_signal.load() != 0;
  if (interrupted) {
    // Stop through the player's own tick: notes released, All Notes Off, timer stopped.
    STOP_PLAYING.store(1);
  }
  player.WaitForPlayerIdle();
  progress(true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "%s after %.1f s; %d events sent, %u send errors\n",
               interrupted ? "stopped" : "finished", seconds, Global_Data.PlayedEvents.load(),
               player.SendErrors());
  player.CloseDevices();
  return 0;
}

}  // namespace vordel
