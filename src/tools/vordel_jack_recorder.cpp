// A JACK client that records what arrives at its ports, for the end-to-end tests and the
// benchmarks: every MIDI message with its time in JACK's microsecond clock (the cycle's start
// plus its offset in the cycle), and optionally the audio of two input ports. Lines go out as
// soon as they are read, "TIME_US: BYTES" in hex, so nothing is left unwritten at the end: on
// SIGTERM or SIGINT the recorder writes what is still waiting and exits.
//   vordel-jack-recorder [--name NAME] [--connect MIDI-SOURCE] [--audio FILE --left SOURCE
//                        --right SOURCE]
// With --audio the two inputs left and right are written to FILE cycle by cycle: the cycle's
// start in JACK microseconds (64-bit), its frame count (32-bit), its length in microseconds
// (32-bit float), then its frames as pairs of 32-bit floats.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <poll.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/signals.h"
#include "platform/spsc_ring.h"

namespace {

struct Arrival {
  std::uint64_t usecs;
  std::uint8_t size;
  std::uint8_t bytes[3];
};

struct Cycle {
  std::uint64_t usecs;
  std::uint32_t frames;
  float period_usecs;
};

struct Recorder {
  jack_client_t* client = nullptr;
  jack_port_t* midi = nullptr;
  jack_port_t* audio[2] = {nullptr, nullptr};
  vordel::SpscRing<Arrival> arrivals{1 << 16};
  vordel::SpscRing<float> frames{1 << 24};
  vordel::SpscRing<Cycle> cycles{1 << 16};
  std::atomic<std::uint64_t> lost{0};
  std::atomic<bool> server_gone{false};
  std::atomic<bool> ports_ready{false};  // the ports above are registered
};

void OnShutdown(void* arg) {
  static_cast<Recorder*>(arg)->server_gone.store(true);
}

int Process(jack_nframes_t nframes, void* arg) {
  auto* r = static_cast<Recorder*>(arg);
  if (!r->ports_ready.load(std::memory_order_acquire)) {
    return 0;
  }
  jack_nframes_t cycle_frames = 0;
  jack_time_t cycle_usecs = 0;
  jack_time_t next_usecs = 0;
  float period_usecs = 0;
  jack_get_cycle_times(r->client, &cycle_frames, &cycle_usecs, &next_usecs, &period_usecs);
  void* buffer = jack_port_get_buffer(r->midi, nframes);
  const jack_nframes_t n = jack_midi_get_event_count(buffer);
  for (jack_nframes_t i = 0; i < n; ++i) {
    jack_midi_event_t e;
    if (jack_midi_event_get(&e, buffer, i) != 0 || e.size == 0 || e.size > 3) {
      continue;
    }
    Arrival a{};
    a.usecs = cycle_usecs +
              static_cast<std::uint64_t>(static_cast<double>(e.time) * period_usecs / nframes);
    a.size = static_cast<std::uint8_t>(e.size);
    std::memcpy(a.bytes, e.buffer, e.size);
    if (!r->arrivals.Push(a)) {
      r->lost.fetch_add(1);
    }
  }
  if (r->audio[0] != nullptr) {
    if (!r->cycles.Push(Cycle{cycle_usecs, nframes, period_usecs})) {
      r->lost.fetch_add(1);
      return 0;
    }
    const auto* left = static_cast<const float*>(jack_port_get_buffer(r->audio[0], nframes));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(r->audio[1], nframes));
    for (jack_nframes_t i = 0; i < nframes; ++i) {
      if (!r->frames.Push(left[i]) || !r->frames.Push(right[i])) {
        r->lost.fetch_add(1);
      }
    }
  }
  return 0;
}

void Drain(Recorder& r, FILE* audio) {
  while (const Arrival* a = r.arrivals.Front()) {
    std::printf("%llu:", static_cast<unsigned long long>(a->usecs));
    for (int b = 0; b < a->size; ++b) {
      std::printf(" %02x", a->bytes[b]);
    }
    std::printf("\n");
    r.arrivals.Pop();
  }
  std::fflush(stdout);
  if (audio != nullptr) {
    while (const Cycle* c = r.cycles.Front()) {
      if (r.frames.Size() < std::size_t{2} * c->frames) {
        break;  // its frames are not all there yet
      }
      std::fwrite(&c->usecs, sizeof c->usecs, 1, audio);
      std::fwrite(&c->frames, sizeof c->frames, 1, audio);
      std::fwrite(&c->period_usecs, sizeof c->period_usecs, 1, audio);
      for (std::uint32_t i = 0; i < 2 * c->frames; ++i) {
        std::fwrite(r.frames.Front(), sizeof(float), 1, audio);
        r.frames.Pop();
      }
      r.cycles.Pop();
    }
  }
}

void Quiet(const char*) {}

}  // namespace

int main(int argc, char** argv) {
  vordel::TerminationSignals stop;
  jack_set_error_function(&Quiet);
  jack_set_info_function(&Quiet);
  std::string name = "midi-recorder";
  std::string audio_path;
  std::string sources[3];  // MIDI, left, right
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--name") {
      name = argv[i + 1];
    } else if (option == "--audio") {
      audio_path = argv[i + 1];
    } else if (option == "--connect") {
      sources[0] = argv[i + 1];
    } else if (option == "--left") {
      sources[1] = argv[i + 1];
    } else if (option == "--right") {
      sources[2] = argv[i + 1];
    }
  }
  Recorder r;
  jack_status_t status{};
  r.client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (r.client == nullptr) {
    std::fprintf(stderr, "vordel-jack-recorder: no JACK server\n");
    return 1;
  }
  jack_set_process_callback(r.client, &Process, &r);
  // A recorder whose server died ends: left running it would signal the semaphores of a new
  // server of the same name.
  jack_on_shutdown(r.client, &OnShutdown, &r);
  // Active before its ports appear: whoever sees a port can be sure that it is recorded from
  // the next cycle on.
  jack_activate(r.client);
  r.midi = jack_port_register(r.client, "input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  FILE* audio = nullptr;
  if (!audio_path.empty()) {
    audio = std::fopen(audio_path.c_str(), "wb");
    r.audio[0] = jack_port_register(r.client, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    r.audio[1] = jack_port_register(r.client, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  }
  r.ports_ready.store(true, std::memory_order_release);
  const char* const own_ports[3] = {"input", "left", "right"};
  for (int i = 0; i < 3; ++i) {
    if (!sources[i].empty()) {
      const std::string own = std::string(jack_get_client_name(r.client)) + ":" + own_ports[i];
      jack_connect(r.client, sources[i].c_str(), own.c_str());
    }
  }
  while (stop.Take() == 0 && !r.server_gone.load()) {
    pollfd p{stop.fd(), POLLIN, 0};
    poll(&p, 1, 5);
    Drain(r, audio);
  }
  // A client whose server died is not closed: libjack can deadlock closing it while its own
  // thread is still taking the news in (seen with the server killed under load), and the
  // process ends here anyway.
  const bool gone = r.server_gone.load();
  if (!gone) {
    jack_deactivate(r.client);
  }
  Drain(r, audio);
  if (!gone) {
    jack_client_close(r.client);
  }
  if (audio != nullptr) {
    std::fclose(audio);
  }
  if (r.lost.load() != 0) {
    std::fprintf(stderr, "vordel-jack-recorder: %llu lost\n",
                 static_cast<unsigned long long>(r.lost.load()));
  }
  return 0;
}
