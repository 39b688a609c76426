// What both faces of the program run: the session on the output opened, the controller over it,
// the command queue and the sources that fill it (OSC and MIDI input, and the face's own: the
// window's clipboard, the terminal's standard input). A face builds one, adds its sources, turns
// its own loop (poll, or Qt's notifiers) and says its lines its own way; everything else is here,
// once. Control thread; not real-time safe.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "control/command_queue.h"
#include "control/controller.h"
#include "control/session.h"
#include "outputs/table.h"
#include "remote/command_sources.h"

namespace vordel {

class Runtime {
 public:
  using Say = std::function<void(const std::string&)>;

  // The session on `opened` (which holds an output), its composer lines to `log`.
  Runtime(OpenedOutput opened, const AppOptions& options, TimerService& timer, std::ostream* log);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // The controller, telling `host`; it starts composing the piece the program plays first.
  Controller& Begin(ControllerHost& host);
  // The sources: the face's own, then OSC and MIDI input; `say` and `stray` get their lines.
  // The names of what listens.
  std::vector<std::string> StartSources(std::vector<std::unique_ptr<CommandSource>> own,
                                        const Say& say, const Say& stray = nullptr);
  int OscPort() const { return sources_ ? sources_->OscPort() : 0; }

  // Once the queue is readable: the commands that came, in order, until `stopped` (a quit or a
  // signal acts before whatever else waits).
  void TakeCommands(const std::function<bool()>& stopped);
  // At every turn of the loop: the line about the commands dropped, when there is one (at most
  // one a second).
  void ReportDrops(const Say& say);

  // The end: the playback ends ("quit", told to OSC subscribers while they still listen), the
  // sources stop, the session shuts down, and what went wrong is said. The exit code: `code`,
  // or 1 when it was 0 and something failed.
  int Shutdown(int code, SessionListener* listener, const Say& say);

  Session& session() { return session_; }
  Controller& controller() { return *controller_; }
  CommandQueue& queue() { return queue_; }

 private:
  const AppOptions& options_;
  Session session_;
  std::unique_ptr<Controller> controller_;
  CommandQueue queue_;
  std::unique_ptr<CommandSources> sources_;
};

}  // namespace vordel
