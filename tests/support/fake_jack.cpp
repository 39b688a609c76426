#include "support/fake_jack.h"

#include <jack/midiport.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>

namespace vordel::testing::fake_jack {
namespace {

struct Port {
  std::string name;
  unsigned long flags = 0;
  std::vector<Written> out;                   // what a cycle wrote
  std::vector<std::vector<std::uint8_t>> in;  // what arrives in this cycle
};

struct Client {
  std::string name;
  JackProcessCallback process = nullptr;
  void* process_arg = nullptr;
  JackInfoShutdownCallback lost = nullptr;
  void* lost_arg = nullptr;
  JackShutdownCallback gone = nullptr;  // told without a reason
  void* gone_arg = nullptr;
  JackXRunCallback xrun = nullptr;
  void* xrun_arg = nullptr;
  bool active = false;
  std::vector<std::unique_ptr<Port>> ports;
};

struct Server {
  std::recursive_mutex mutex;
  bool up = false;
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<std::pair<std::string, unsigned long>> others;  // other clients' ports
  std::vector<std::string> connections;
  std::vector<Written> written;
  std::vector<std::vector<std::uint8_t>> arriving;
  std::size_t room = static_cast<std::size_t>(-1);
  int port_lists = 0;
  bool refuse_activation = false;
  std::uint64_t cycle_us = 0;
};

Server& S() {
  static Server server;
  return server;
}

Client* AsClient(const jack_client_t* c) {
  return reinterpret_cast<Client*>(const_cast<jack_client_t*>(c));
}

}  // namespace

void Reset(bool up) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().up = up;
  S().clients.clear();
  S().others.clear();
  S().connections.clear();
  S().written.clear();
  S().arriving.clear();
  S().room = static_cast<std::size_t>(-1);
  S().port_lists = 0;
  S().refuse_activation = false;
}

void ShutDown() {
  std::vector<std::function<void()>> told;
  {
    std::lock_guard<std::recursive_mutex> lock(S().mutex);
    S().up = false;
    for (const auto& c : S().clients) {
      if (c->lost != nullptr) {
        told.emplace_back(
            [f = c->lost, a = c->lost_arg] { f(JackServerError, "the server went away", a); });
      }
      if (c->gone != nullptr) {
        told.emplace_back([f = c->gone, a = c->gone_arg] { f(a); });
      }
      c->active = false;
    }
  }
  for (const auto& tell : told) {
    tell();
  }
}

void Start() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().up = true;
}

void Xrun() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  for (const auto& c : S().clients) {
    if (c->xrun != nullptr) {
      c->xrun(c->xrun_arg);
    }
  }
}

void RunCycle(std::uint64_t cycle_us) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().cycle_us = cycle_us;
  for (const auto& c : S().clients) {
    for (const auto& p : c->ports) {
      p->out.clear();
      p->in = (p->flags & JackPortIsInput) != 0 ? S().arriving : decltype(p->in){};
    }
    if (c->active && c->process != nullptr) {
      c->process(kFrames, c->process_arg);
    }
    for (const auto& p : c->ports) {
      S().written.insert(S().written.end(), p->out.begin(), p->out.end());
    }
  }
  S().arriving.clear();
}

std::uint64_t Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000 +
         static_cast<std::uint64_t>(ts.tv_nsec) / 1000 + kClockOffsetUs;
}

std::vector<Written> TakeWritten() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  std::vector<Written> w;
  w.swap(S().written);
  return w;
}

void SetRoom(std::size_t events) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().room = events;
}

void Arrive(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().arriving.push_back(bytes);
}

void RefuseActivation(bool refuse) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().refuse_activation = refuse;
}

void AddPort(const std::string& name, unsigned long flags) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  S().others.emplace_back(name, flags);
}

std::vector<std::string> Connections() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return S().connections;
}

int PortListsOut() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return S().port_lists;
}

int OpenClients() {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return static_cast<int>(S().clients.size());
}

}  // namespace vordel::testing::fake_jack

using vordel::testing::fake_jack::AsClient;
using vordel::testing::fake_jack::Client;
using vordel::testing::fake_jack::Port;
using vordel::testing::fake_jack::S;
using Lock = std::lock_guard<std::recursive_mutex>;

extern "C" {

jack_client_t* jack_client_open(const char* name, jack_options_t options, jack_status_t* status,
                                ...) {
  Lock lock(S().mutex);
  if (!S().up) {
    if (status != nullptr) {
      *status = static_cast<jack_status_t>(JackFailure | JackServerFailed);
    }
    return nullptr;
  }
  auto c = std::make_unique<Client>();
  c->name = name;
  for (int n = 1;; ++n) {
    bool taken = false;
    for (const auto& other : S().clients) {
      taken = taken || other->name == c->name;
    }
    for (const auto& [port, flags] : S().others) {
      taken = taken || port.rfind(c->name + ":", 0) == 0;
    }
    if (!taken) {
      break;
    }
    if ((options & JackUseExactName) != 0) {
      if (status != nullptr) {
        *status = static_cast<jack_status_t>(JackFailure | JackServerError);  // as JACK 2 says it
      }
      return nullptr;
    }
    c->name = std::string(name) + "-0" + std::to_string(n);
  }
  S().clients.push_back(std::move(c));
  return reinterpret_cast<jack_client_t*>(S().clients.back().get());
}

int jack_client_close(jack_client_t* client) {
  Lock lock(S().mutex);
  auto& clients = S().clients;
  for (auto it = clients.begin(); it != clients.end(); ++it) {
    if (it->get() == AsClient(client)) {
      clients.erase(it);
      break;
    }
  }
  return 0;
}

int jack_activate(jack_client_t* client) {
  Lock lock(S().mutex);
  AsClient(client)->active = S().up && !S().refuse_activation;
  return AsClient(client)->active ? 0 : -1;
}

int jack_deactivate(jack_client_t* client) {
  Lock lock(S().mutex);
  AsClient(client)->active = false;
  return 0;
}

char* jack_get_client_name(jack_client_t* client) {
  return AsClient(client)->name.data();
}

void jack_on_info_shutdown(jack_client_t* client, JackInfoShutdownCallback callback, void* arg) {
  Lock lock(S().mutex);
  AsClient(client)->lost = callback;
  AsClient(client)->lost_arg = arg;
}

void jack_on_shutdown(jack_client_t* client, JackShutdownCallback callback, void* arg) {
  Lock lock(S().mutex);
  AsClient(client)->gone = callback;
  AsClient(client)->gone_arg = arg;
}

int jack_set_xrun_callback(jack_client_t* client, JackXRunCallback callback, void* arg) {
  Lock lock(S().mutex);
  AsClient(client)->xrun = callback;
  AsClient(client)->xrun_arg = arg;
  return 0;
}

int jack_set_process_callback(jack_client_t* client, JackProcessCallback callback, void* arg) {
  Lock lock(S().mutex);
  AsClient(client)->process = callback;
  AsClient(client)->process_arg = arg;
  return 0;
}

jack_port_t* jack_port_register(jack_client_t* client, const char* name, const char* /*type*/,
                                unsigned long flags, unsigned long /*buffer_size*/) {
  Lock lock(S().mutex);
  auto p = std::make_unique<Port>();
  p->name = AsClient(client)->name + ":" + name;
  p->flags = flags;
  AsClient(client)->ports.push_back(std::move(p));
  return reinterpret_cast<jack_port_t*>(AsClient(client)->ports.back().get());
}

const char* jack_port_name(const jack_port_t* port) {
  return reinterpret_cast<const Port*>(port)->name.c_str();
}

int jack_connect(jack_client_t* /*client*/, const char* source, const char* destination) {
  Lock lock(S().mutex);
  S().connections.push_back(std::string(source) + ">" + destination);
  return 0;
}

int jack_port_disconnect(jack_client_t* /*client*/, jack_port_t* port) {
  Lock lock(S().mutex);
  const std::string name = reinterpret_cast<Port*>(port)->name;
  auto& c = S().connections;
  std::erase_if(c, [&](const std::string& link) { return link.find(name) != std::string::npos; });
  return 0;
}

jack_nframes_t jack_get_buffer_size(jack_client_t* /*client*/) {
  return vordel::testing::fake_jack::kFrames;
}

jack_nframes_t jack_get_sample_rate(jack_client_t* /*client*/) {
  return 48000;
}

const char** jack_get_ports(jack_client_t* /*client*/, const char* /*name_pattern*/,
                            const char* /*type_pattern*/, unsigned long flags) {
  Lock lock(S().mutex);
  std::vector<std::string> names;
  for (const auto& c : S().clients) {
    for (const auto& p : c->ports) {
      if ((p->flags & flags) == flags) {
        names.push_back(p->name);
      }
    }
  }
  for (const auto& [name, port_flags] : S().others) {
    if ((port_flags & flags) == flags) {
      names.push_back(name);
    }
  }
  if (names.empty()) {
    return nullptr;
  }
  ++S().port_lists;
  auto** list = static_cast<const char**>(std::calloc(names.size() + 1, sizeof(char*)));
  for (std::size_t i = 0; i < names.size(); ++i) {
    list[i] = strdup(names[i].c_str());
  }
  return list;
}

void jack_free(void* ptr) {
  // Only port lists are handed out: their names, then the list.
  if (ptr != nullptr) {
    Lock lock(S().mutex);
    --S().port_lists;
  }
  auto** list = static_cast<char**>(ptr);
  for (char** p = list; p != nullptr && *p != nullptr; ++p) {
    std::free(*p);
  }
  std::free(static_cast<void*>(list));
}

int jack_get_cycle_times(const jack_client_t* /*client*/, jack_nframes_t* frames,
                         jack_time_t* usecs, jack_time_t* next_usecs, float* period_usecs) {
  Lock lock(S().mutex);
  const std::uint64_t us = S().cycle_us;
  *frames = static_cast<jack_nframes_t>(us * 48 / 1000);
  *usecs = us;
  *next_usecs = us + 1000;
  *period_usecs = vordel::testing::fake_jack::kPeriodUs;
  return 0;
}

jack_nframes_t jack_last_frame_time(const jack_client_t* /*client*/) {
  Lock lock(S().mutex);
  return static_cast<jack_nframes_t>(S().cycle_us * 48 / 1000);
}

jack_time_t jack_frames_to_time(const jack_client_t* /*client*/, jack_nframes_t frames) {
  return static_cast<jack_time_t>(frames) * 1000 / 48;
}

jack_time_t jack_get_time() {
  return vordel::testing::fake_jack::Now();
}

void* jack_port_get_buffer(jack_port_t* port, jack_nframes_t /*frames*/) {
  return port;
}

void jack_midi_clear_buffer(void* buffer) {
  static_cast<Port*>(buffer)->out.clear();
}

int jack_midi_event_write(void* buffer, jack_nframes_t time, const jack_midi_data_t* data,
                          size_t size) {
  auto* port = static_cast<Port*>(buffer);
  if (port->out.size() >= S().room) {
    return ENOBUFS;
  }
  port->out.push_back({port->name, time, std::vector<std::uint8_t>(data, data + size)});
  return 0;
}

uint32_t jack_midi_get_event_count(void* buffer) {
  return static_cast<uint32_t>(static_cast<Port*>(buffer)->in.size());
}

int jack_midi_event_get(jack_midi_event_t* event, void* buffer, uint32_t index) {
  auto& in = static_cast<Port*>(buffer)->in;
  if (index >= in.size()) {
    return ENODATA;
  }
  event->time = 0;
  event->size = in[index].size();
  event->buffer = in[index].data();
  return 0;
}

void jack_set_error_function(void (* /*func*/)(const char*)) {}
void jack_set_info_function(void (* /*func*/)(const char*)) {}

}  // extern "C"
