#include "app/runtime.h"

#include <chrono>
#include <utility>

namespace vordel {

Runtime::Runtime(OpenedOutput opened, const AppOptions& options, TimerService& timer,
                 std::ostream* log)
    : options_(options),
      session_(std::move(opened.output), OpenMidiInput(options.output.name), timer, log) {
  session_.SetOutputIdentity(opened.backend, opened.input);
  session_.transport().player().SetMidiClock(options.midi_clock);
}

Runtime::~Runtime() {
  if (sources_) {
    sources_->Stop();
  }
}

Controller& Runtime::Begin(ControllerHost& host) {
  controller_ =
      std::make_unique<Controller>(session_, host, options_.programme, options_.files_dir);
  return *controller_;
}

std::vector<std::string> Runtime::StartSources(std::vector<std::unique_ptr<CommandSource>> own,
                                               const Say& say, const Say& stray) {
  sources_ = std::make_unique<CommandSources>(session_, say, stray);
  for (auto& source : own) {
    sources_->Add(std::move(source));
  }
  sources_->AddRemote(options_.osc, options_.sync_midi_clock);
  sources_->AddJackTransport(options_.jack_transport_mode, options_.output.name + "-transport");
  LinkSource& link = sources_->AddLink(options_.link);
  controller_->SetLinkSwitch([&link](bool join) { return link.Switch(join); },
                             [&link] { return link.Joined(); });
  return sources_->Start(queue_);
}

void Runtime::TakeCommands(const std::function<bool()>& stopped) {
  for (const Command& command : queue_.TakeAll()) {
    if (stopped()) {
      break;
    }
    controller_->Apply(command);
  }
}

void Runtime::ReportDrops(const Say& say) {
  if (const std::string drops = queue_.DropReport(std::chrono::steady_clock::now());
      !drops.empty()) {
    say(drops);
  }
}

int Runtime::Shutdown(int code, SessionListener* listener, const Say& say) {
  session_.transport().Shutdown("quit");
  if (sources_) {
    sources_->Stop();
  }
  session_.Shutdown("quit");
  session_.RemoveListener(listener);
  for (const std::string& caution : session_.Cautions()) {
    say(caution);
  }
  for (const std::string& failure : session_.Failures()) {
    say(failure);
    code = code == 0 ? 1 : code;
  }
  return code;
}

}  // namespace vordel
