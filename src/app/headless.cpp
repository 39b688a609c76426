#include "app/headless.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <vector>

#include "app/emergency.h"
#include "remote/command_sources.h"
#include "control/controller.h"
#include "app/line_log.h"
#include "remote/stdin_source.h"
#include "platform/timer.h"
#include "platform/timestamps.h"

namespace vordel {
namespace {

// The controller's host without a window: boxes become log lines, closing needs no answer.
class ConsoleHost : public ControllerHost, public SessionListener {
 public:
  explicit ConsoleHost(LineLog& log) : log_(log) {}
  void MessageBox(const std::string& text, const std::string& caption) override {
    log_.Line("vordel: " + caption + " " + text);
  }
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void Invalidate() override {}
  void PostQuit(int code) override {
    quit_ = true;
    code_ = code;
  }
  void Log(const std::string& line) override { log_.Line("vordel: " + line); }

  void PieceRefused(const std::string& reason) override { log_.Line("vordel: " + reason); }
  void PlaybackStarted() override { log_.Line("vordel: playback started"); }
  void PlaybackEnded(const std::string& reason) override {
    log_.Line("vordel: playback ended (" + reason + ")");
  }
  void DevicesChanged(const std::string& line) override { log_.Line("vordel: " + line); }

  bool quit_ = false;
  int code_ = 0;

 private:
  LineLog& log_;
};

}  // namespace

int RunHeadless(const AppOptions& options, TerminationSignals& stop_signals) {
  // Kept in a file or on a terminal, every line says when; the journal says it itself.
  const TimestampLines stamp_out(std::cout, STDOUT_FILENO);
  const TimestampLines stamp_err(std::cerr, STDERR_FILENO);
  LineLog log(std::cout);
  ThreadTimerService timer;
  OpenedOutput opened = OpenOutput(options.output);
  if (!opened.output) {
    std::cerr << "vordel: " << opened.error << std::endl;
    return opened.bad_request ? 2 : 1;
  }
  log.Line(opened.note);
  Session session(std::move(opened.output), OpenMidiInput(options.output.name), timer, &std::cout);
  session.SetOutputIdentity(opened.backend, opened.input);
  EmergencySilence guard(session);
  ConsoleHost host(log);
  session.AddListener(&host);
  Controller controller(session, host, options.programme, options.files_dir);
  controller.SetupWindow(options.piece);

  CommandQueue queue;
  LineLog errors(std::cerr);
  CommandSources sources(
      session, [&log](const std::string& line) { log.Line("vordel: " + line); },
      [&errors](const std::string& line) { errors.Line("vordel: " + line); });
  sources.AddRemote(options.osc);
  sources.Add(std::make_unique<StdinSource>());
  std::string listening;
  for (const std::string& name : sources.Start(queue)) {
    listening += (listening.empty() ? "" : ", ") + name;
  }
  if (sources.OscPort() != 0) {
    listening += " (" + options.osc.listen + ":" + std::to_string(sources.OscPort()) + ")";
  }
  log.Line("vordel: ready without a window; listening to " + listening + "; " +
           session.GetINStatusStr() + ", " + session.GetOUTStatusStr());

  int code = 0;
  while (!host.quit_) {
    pollfd fds[3] = {{queue.fd(), POLLIN, 0},
                     {stop_signals.fd(), POLLIN, 0},
                     {session.composer().ReadyFd(), POLLIN, 0}};
    poll(fds, 3, controller.WakeInMs());
    if (const int sig = stop_signals.Take(); sig != 0) {
      log.Line(std::string("vordel: ") + SignalName(sig) + ": stopping");
      break;
    }
    if ((fds[2].revents & POLLIN) != 0) {
      controller.PieceComposed();
    }
    for (const Command& command : queue.TakeAll()) {
      // A signal or a quit acts before whatever else waits.
      if (host.quit_ || stop_signals.Pending()) {
        break;
      }
      controller.Apply(command);
    }
    if (const std::string drops = queue.DropReport(std::chrono::steady_clock::now());
        !drops.empty()) {
      log.Line("vordel: " + drops);
    }
    controller.Poll();
    code = host.code_;
  }
  session.transport().Shutdown("quit");  // told to OSC subscribers while they still listen
  sources.Stop();
  session.Shutdown("quit");
  session.RemoveListener(&host);
  for (const std::string& caution : session.Cautions()) {
    log.Line("vordel: " + caution);
  }
  for (const std::string& failure : session.Failures()) {
    log.Line("vordel: " + failure);
    code = code == 0 ? 1 : code;
  }
  log.Line("vordel: ended");
  return code;
}

}  // namespace vordel
