#include "outputs/jack_transport.h"

#include <cmath>

#include "outputs/jack_client.h"

namespace vordel {
namespace {

constexpr double kTicksPerBeat = 1920;

}  // namespace

void FillBarBeatTick(double beat, double tempo, int beats_per_bar, jack_position_t* position) {
  const int per_bar = beats_per_bar > 0 ? beats_per_bar : 4;
  const double at = beat > 0 ? beat : 0;
  const double whole = std::floor(at);
  auto tick = static_cast<std::int32_t>(std::floor((at - whole) * kTicksPerBeat));
  if (tick >= static_cast<std::int32_t>(kTicksPerBeat)) {
    tick = static_cast<std::int32_t>(kTicksPerBeat) - 1;
  }
  const auto beats = static_cast<std::int64_t>(whole);
  const std::int64_t bars = beats / per_bar;  // whole bars before this one
  position->valid = static_cast<jack_position_bits_t>(position->valid | JackPositionBBT);
  position->bar = static_cast<std::int32_t>(bars) + 1;
  position->beat = static_cast<std::int32_t>(beats % per_bar) + 1;
  position->tick = tick;
  position->bar_start_tick = static_cast<double>(bars * per_bar) * kTicksPerBeat;
  position->beats_per_bar = static_cast<float>(per_bar);
  position->beat_type = 4;
  position->ticks_per_beat = kTicksPerBeat;
  position->beats_per_minute = tempo > 0 ? tempo : 120.0;
}

JackTransport::JackTransport(const std::string& name) {
  JackClient::Hooks hooks;
  hooks.setup = [](jack_client_t*) { return true; };
  hooks.connect = [this](jack_client_t* c) {
    // A server that came back has forgotten who led it.
    if (leading_.load()) {
      jack_set_timebase_callback(c, 0, &JackTransport::OnTimebase, this);
    }
  };
  client_ = std::make_unique<JackClient>(name, std::move(hooks));
}

JackTransport::~JackTransport() {
  Release();
  client_->Close();
}

bool JackTransport::Up() const {
  return client_->Up();
}

bool JackTransport::Rolling() const {
  jack_client_t* c = client_->Raw();
  if (c == nullptr || !client_->Up()) {
    return false;
  }
  const jack_transport_state_t state = jack_transport_query(c, nullptr);
  return state == JackTransportRolling || state == JackTransportStarting;
}

void JackTransport::Start() {
  if (jack_client_t* c = client_->Raw(); c != nullptr && client_->Up()) {
    jack_transport_locate(c, 0);
    jack_transport_start(c);
  }
}

void JackTransport::Stop() {
  if (jack_client_t* c = client_->Raw(); c != nullptr && client_->Up()) {
    jack_transport_stop(c);
  }
}

bool JackTransport::Lead(MusicalClock clock, const void* user, int beats_per_bar) {
  clock_.store(clock, std::memory_order_release);
  user_.store(user, std::memory_order_release);
  beats_per_bar_.store(beats_per_bar, std::memory_order_release);
  leading_.store(true);
  jack_client_t* c = client_->Raw();
  return c != nullptr && client_->Up() &&
         jack_set_timebase_callback(c, 0, &JackTransport::OnTimebase, this) == 0;
}

void JackTransport::Release() {
  if (!leading_.exchange(false)) {
    return;
  }
  if (jack_client_t* c = client_->Raw(); c != nullptr && client_->Up()) {
    jack_release_timebase(c);
  }
}

void JackTransport::OnTimebase(jack_transport_state_t /*state*/, jack_nframes_t /*frames*/,
                               jack_position_t* position, int /*new_position*/, void* arg) {
  auto* self = static_cast<JackTransport*>(arg);
  double beat = 0;
  double tempo = 0;
  if (const MusicalClock clock = self->clock_.load(std::memory_order_acquire)) {
    clock(self->user_.load(std::memory_order_acquire), &beat, &tempo);
  }
  // Between the end of a playback and the transport's stop, where the playback ended.
  if (tempo > 0) {
    self->last_beat_ = beat;
    self->last_tempo_ = tempo;
  }
  FillBarBeatTick(self->last_beat_, self->last_tempo_,
                  self->beats_per_bar_.load(std::memory_order_acquire), position);
}

}  // namespace vordel
