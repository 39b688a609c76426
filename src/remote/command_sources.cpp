#include "remote/command_sources.h"

#include "remote/midi_input_source.h"

namespace vordel {

CommandSources::CommandSources(Session& session, LogFn log, LogFn stray)
    : session_(session), log_(std::move(log)), stray_(std::move(stray)) {}

CommandSources::~CommandSources() {
  Stop();
}

void CommandSources::Add(std::unique_ptr<CommandSource> source) {
  sources_.push_back(std::move(source));
}

void CommandSources::AddRemote(const OscSource::Options& osc) {
  if (osc.port > 0) {
    auto source = std::make_unique<OscSource>(
        osc, [this] { return session_.GetSnapshot(); }, log_, stray_);
    osc_ = source.get();
    Add(std::move(source));
  }
  if (session_.input() != nullptr && session_.input()->Status() == 0) {
    Add(std::make_unique<MidiInputSource>(*session_.input()));
  }
}

std::vector<std::string> CommandSources::Start(CommandQueue& queue) {
  std::vector<std::string> running;
  for (auto& source : sources_) {
    std::string error;
    if (source->Start(queue, &error)) {
      running.push_back(source->Name());
    } else {
      log_(error);
    }
  }
  if (OscPort() != 0) {
    session_.AddListener(osc_);
    listening_ = true;
  }
  return running;
}

int CommandSources::OscPort() const {
  return osc_ != nullptr ? osc_->Port() : 0;
}

void CommandSources::Stop() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  for (auto& source : sources_) {
    source->Stop();
  }
  if (listening_) {
    session_.RemoveListener(osc_);
    listening_ = false;
  }
}

}  // namespace vordel
