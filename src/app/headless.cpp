#include "app/headless.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <vector>

#include "app/emergency.h"
#include "app/line_log.h"
#include "app/runtime.h"
#include "control/controller.h"
#include "platform/timer.h"
#include "platform/timestamps.h"
#include "remote/command_sources.h"
#include "remote/stdin_source.h"

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
  if (std::string problem; !CheckOpenedOutput(options, opened.backend, &problem)) {
    std::cerr << "vordel: " << problem << std::endl;
    return 2;
  }
  log.Line(opened.note);
  Runtime runtime(std::move(opened), options, timer, &std::cout);
  Session& session = runtime.session();
  if (std::string problem; !CheckOpenedInput(options, session.input(), &problem)) {
    std::cerr << "vordel: " << problem << std::endl;
    return 2;
  }
  EmergencySilence guard(session);
  ConsoleHost host(log);
  session.AddListener(&host);
  Controller& controller = runtime.Begin(host);
  controller.SetupWindow(options.piece);

  LineLog errors(std::cerr);
  const Runtime::Say say = [&log](const std::string& line) { log.Line("vordel: " + line); };
  std::vector<std::unique_ptr<CommandSource>> own;
  own.push_back(std::make_unique<StdinSource>());
  const std::vector<std::string> names = runtime.StartSources(
      std::move(own), say, [&errors](const std::string& line) { errors.Line("vordel: " + line); });
  std::string listening;
  for (const std::string& name : names) {
    listening += (listening.empty() ? "" : ", ") + name;
  }
  if (runtime.OscPort() != 0) {
    listening += " (" + options.osc.listen + ":" + std::to_string(runtime.OscPort()) + ")";
  }
  log.Line("vordel: ready without a window; listening to " + listening + "; " +
           session.GetINStatusStr() + ", " + session.GetOUTStatusStr());

  int code = 0;
  while (!host.quit_) {
    pollfd fds[3] = {{runtime.queue().fd(), POLLIN, 0},
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
    runtime.TakeCommands([&] { return host.quit_ || stop_signals.Pending(); });
    runtime.ReportDrops(say);
    controller.Poll();
    code = host.code_;
  }
  code = runtime.Shutdown(code, &host, say);
  log.Line("vordel: ended");
  return code;
}

}  // namespace vordel
