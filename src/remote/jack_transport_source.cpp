#include "remote/jack_transport_source.h"

#include <chrono>

namespace vordel {
namespace {

constexpr int kBeatsPerBar = 4;

// The playback's position, for JACK's process thread.
void PlayerClock(const void* user, double* beat, double* tempo) {
  const MusicalPosition at = static_cast<const CompositionPlayer*>(user)->Position();
  *beat = at.beat;
  *tempo = at.tempo;
}

}  // namespace

std::optional<JackTransportMode> ParseJackTransportMode(const std::string& text) {
  if (text == "follow") {
    return JackTransportMode::kFollow;
  }
  if (text == "lead") {
    return JackTransportMode::kLead;
  }
  return std::nullopt;
}

JackTransportSource::JackTransportSource(const Session& session, JackTransportMode mode,
                                         std::string client)
    : session_(session), mode_(mode), client_(std::move(client)) {}

JackTransportSource::~JackTransportSource() {
  Stop();
}

bool JackTransportSource::Start(CommandQueue& queue, std::string* error) {
  transport_ = std::make_unique<JackTransport>(client_);
  if (!transport_->Up()) {
    transport_.reset();
    *error = "JACK transport: no JACK server answers; vordel neither follows nor leads it";
    return false;
  }
  if (mode_ == JackTransportMode::kFollow) {
    stopping_.store(false);
    thread_ = std::thread([this, &queue] { Follow(queue); });
  }
  return true;
}

void JackTransportSource::Stop() {
  stopping_.store(true);
  if (thread_.joinable()) {
    thread_.join();
  }
  transport_.reset();
}

void JackTransportSource::Follow(CommandQueue& queue) {
  bool rolling = transport_->Rolling();
  while (!stopping_.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool now = transport_->Rolling();
    if (now == rolling) {
      continue;
    }
    rolling = now;
    Command c;
    c.kind = now ? Command::Kind::kPlay : Command::Kind::kStop;
    c.origin = "JACK transport";
    queue.Post(std::move(c));
  }
}

void JackTransportSource::PlaybackStarted() {
  if (mode_ == JackTransportMode::kLead && transport_) {
    transport_->Lead(&PlayerClock, &session_.player(), kBeatsPerBar);
    transport_->Start();
  }
}

void JackTransportSource::PlaybackEnded(const std::string& /*reason*/) {
  if (mode_ == JackTransportMode::kLead && transport_) {
    transport_->Stop();
    transport_->Release();
  }
}

}  // namespace vordel
