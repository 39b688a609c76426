#include "tools/terminal_play.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "control/session.h"
#include "outputs/table.h"
#include "platform/timer.h"

namespace vordel {

int PlayFromTerminal(const Piece& piece, const OutputRequest& request,
                     TerminationSignals& stop_signals, bool verbose) {
  OpenedOutput opened = OpenOutput(request);
  if (!opened.output) {
    std::cerr << "vordel-compose: " << opened.error << std::endl;
    return opened.bad_request ? 2 : 1;
  }
  std::cerr << opened.note << std::endl;
  if (opened.output->Status() != kMidiOk) {
    // Playing into an output that cannot sound would play nothing and say it finished.
    std::cerr << "vordel-compose: the output cannot sound: " << opened.output->Describe() << "\n"
              << "vordel-compose: " << OutputChoicesHere() << std::endl;
    opened.output->Close();
    return 1;
  }
  ThreadTimerService timer;
  Session session(std::move(opened.output), nullptr, timer, nullptr);
  session.SetOutputIdentity(opened.backend, opened.input);
  session.SetPiece(piece);
  Transport& transport = session.transport();
  CompositionPlayer& player = transport.player();
  transport.PrepareEnsemble();
  if (!transport.Play()) {
    const std::string& status = player.TimerStatusText();
    std::cerr << "vordel-compose: nothing to play" << (status.empty() ? "" : " (" + status + ")")
              << std::endl;
    return piece.empty() ? 0 : 1;
  }

  const bool tty = isatty(STDERR_FILENO) != 0;
  const double total_s = static_cast<double>(piece.total_ms()) / 1000.0;
  const int objects = session.schedule().Objects();
  const auto started = std::chrono::steady_clock::now();
  auto progress = [&](bool final_line) {
    const double pos = static_cast<double>(player.LastTick()) / 1000.0;
    std::fprintf(stderr, "%s%8.1f s / %.1f s  object %d/%d  events %d  %s%s", tty ? "\r" : "", pos,
                 total_s, player.PlayingObjectNumber(), objects, player.PlayedEvents(),
                 session.GetOUTStatusStr().c_str(), final_line || !tty ? "\n" : "   ");
    std::fflush(stderr);
  };
  int stop_signal = 0;
  int polls = 0;
  while (player.Running() != 0) {
    pollfd fds[1] = {{stop_signals.fd(), POLLIN, 0}};
    poll(fds, 1, 100);
    if ((stop_signal = stop_signals.Take()) != 0) {
      break;
    }
    session.Poll();
    if (tty || ++polls % 50 == 0) {
      progress(false);
    }
  }
  if (stop_signal != 0) {
    // Stop through the player's own tick: notes ended, All Notes Off, timer stopped.
    transport.Stop("stop");
  }
  player.WaitForPlayerIdle();
  progress(true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // Closed first: what the output could not deliver by then counts as lost.
  session.Shutdown(stop_signal != 0 ? "stop" : "end");
  std::fprintf(stderr, "%s after %.1f s; %d events sent, %u send errors",
               stop_signal != 0 ? "stopped" : "finished", seconds, player.PlayedEvents(),
               player.SendErrors() + transport.midi().SendErrors());
  if (const std::uint64_t lost = session.LostMessages(); lost > 0) {
    std::fprintf(stderr, ", %llu messages lost", static_cast<unsigned long long>(lost));
  }
  std::fputc('\n', stderr);
  if (verbose) {
    // For lining the sound up with other recordings: tick n was due n ms after this.
    std::fprintf(stderr, "first tick due at %.6f s (monotonic clock)\n",
                 static_cast<double>(player.FirstTickDueNanos()) / 1e9);
  }
  for (const std::string& caution : session.Cautions()) {
    std::cerr << "vordel-compose: " << caution << std::endl;
  }
  for (const std::string& failure : session.Failures()) {
    std::cerr << "vordel-compose: " << failure << std::endl;
  }
  return session.Failures().empty() ? 0 : 1;
}

}  // namespace vordel
