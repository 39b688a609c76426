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

void CommandSources::AddRemote(const OscSource::Options& osc, bool follow_clock) {
  if (osc.port > 0) {
    auto source = std::make_unique<OscSource>(
        osc, [this] { return session_.GetSnapshot(); }, log_, stray_);
    osc_ = source.get();
    Add(std::move(source));
  }
  if (session_.input() != nullptr && session_.input()->Status() == 0) {
    Add(std::make_unique<MidiInputSource>(*session_.input(), follow_clock));
  }
}

void CommandSources::AddJackTransport(JackTransportMode mode, const std::string& client) {
  if (mode != JackTransportMode::kOff) {
    Add(std::make_unique<JackTransportSource>(session_, mode, client));
  }
}

LinkSource& CommandSources::AddLink(const LinkSource::Options& options) {
  auto link = std::make_unique<LinkSource>(session_, options, log_);
  LinkSource& added = *link;
  Add(std::move(link));
  return added;
}

std::vector<std::string> CommandSources::Start(CommandQueue& queue) {
  std::vector<std::string> running;
  for (auto& source : sources_) {
    std::string error;
    if (source->Start(queue, &error)) {
      if (const std::string name = source->Name(); !name.empty()) {
        running.push_back(name);
      }
      if (auto* listener = dynamic_cast<SessionListener*>(source.get())) {
        session_.AddListener(listener);
        listening_.push_back(listener);
      }
    } else {
      log_(error);
    }
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
  for (SessionListener* listener : listening_) {
    session_.RemoveListener(listener);
  }
  listening_.clear();
  for (auto& source : sources_) {
    source->Stop();
  }
}

}  // namespace vordel
