#include "outputs/jack_client.h"

#include <chrono>

#include "outputs/system_logs.h"
#include "platform/clock.h"

namespace vordel {
namespace {

// The names a client tries on its server: the name, then name-2 ... name-16.
constexpr int kNames = 16;

// The frame the server's last cycle began at: it moves on while the server runs cycles, whether
// or not they wake this client (0 when it cannot be read).
jack_nframes_t ServerFrames(jack_client_t* c) {
  jack_nframes_t frames = 0;
  jack_time_t usecs = 0;
  jack_time_t next_usecs = 0;
  float period_usecs = 0;
  if (c == nullptr || jack_get_cycle_times(c, &frames, &usecs, &next_usecs, &period_usecs) != 0) {
    return 0;
  }
  return frames;
}

}  // namespace

bool JackServerRunning() {
  QuietSystemLibraries();
  jack_status_t status{};
  jack_client_t* client = jack_client_open("vordel-probe", JackNoStartServer, &status);
  if (client == nullptr) {
    return false;
  }
  jack_client_close(client);
  return true;
}

JackClient::JackClient(std::string name, Hooks hooks)
    : wanted_name_(std::move(name)), hooks_(std::move(hooks)) {
  QuietSystemLibraries();
  Open();
  watch_ = std::thread([this] { Watch(); });
}

JackClient::~JackClient() {
  Close();
}

void JackClient::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
      return;
    }
    closing_ = true;
  }
  wake_.notify_all();
  if (watch_.joinable()) {
    watch_.join();
  }
  CloseClient();
}

std::string JackClient::Name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return name_;
}

bool JackClient::Open() {
  jack_client_t* c = nullptr;
  for (int n = 1; n <= kNames && c == nullptr; ++n) {
    const std::string name = n == 1 ? wanted_name_ : wanted_name_ + "-" + std::to_string(n);
    jack_status_t status{};
    c = jack_client_open(
        name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    // JACK 2 answers a name that is taken with a server error rather than JackNameNotUnique:
    // only a server that is not there makes the next name pointless.
    if (c == nullptr && (status & JackServerFailed) != 0) {
      return false;
    }
  }
  if (c == nullptr) {
    return false;
  }
  lost_.store(false, std::memory_order_release);
  server_gone_.store(false, std::memory_order_release);
  const unsigned number = opening_.fetch_add(1, std::memory_order_acq_rel) + 1;
  openings_.push_back(std::make_unique<Opening>(Opening{this, number}));
  jack_on_info_shutdown(c, &JackClient::OnShutdown, openings_.back().get());
  if (hooks_.setup && !hooks_.setup(c)) {
    jack_client_close(c);
    return false;
  }
  client_.store(c, std::memory_order_release);
  if (jack_activate(c) != 0) {
    client_.store(nullptr, std::memory_order_release);
    jack_client_close(c);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = jack_get_client_name(c);
  }
  up_.store(true, std::memory_order_release);
  if (hooks_.connect) {
    hooks_.connect(c);
  }
  return true;
}

void JackClient::CloseClient() {
  up_.store(false, std::memory_order_release);
  jack_client_t* c = client_.exchange(nullptr, std::memory_order_acq_rel);
  // libjack may hang for good closing a client whose server has died (its own thread waits for
  // an answer that never comes, the caller for its lock): such a client is let go unclosed.
  if (c != nullptr && !server_gone_.exchange(false, std::memory_order_acq_rel)) {
    jack_client_close(c);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  name_.clear();
}

void JackClient::OnShutdown(jack_status_t /*code*/, const char* /*reason*/, void* arg) {
  // A JACK thread: only flags, the watch thread does the rest.
  const auto* opening = static_cast<const Opening*>(arg);
  JackClient* self = opening->owner;
  if (opening->number != self->opening_.load(std::memory_order_acquire)) {
    return;  // about a client that is gone already
  }
  self->up_.store(false, std::memory_order_release);
  self->server_gone_.store(true, std::memory_order_release);
  self->lost_.store(true, std::memory_order_release);
  self->wake_.notify_all();
}

std::uint64_t JackClient::Cycles() const {
  return hooks_.cycles ? hooks_.cycles() : 0;
}

void JackClient::Watch() {
  // A client the server has not run for this long, while it is up, is opened again.
  constexpr std::int64_t kStalledNanos = 2000 * kNanosPerMilli;
  std::uint64_t seen_cycles = Cycles();
  std::int64_t progress_ns = MonotonicNanos();
  jack_nframes_t server_frames = ServerFrames(client_.load(std::memory_order_acquire));
  std::unique_lock<std::mutex> lock(mutex_);
  while (!closing_) {
    wake_.wait_for(lock, std::chrono::seconds(1));
    if (closing_) {
      break;
    }
    bool lost = lost_.exchange(false, std::memory_order_acq_rel);
    const bool open = client_.load(std::memory_order_acquire) != nullptr;
    if (open && !lost) {
      const std::uint64_t cycles = Cycles();
      const std::int64_t now = MonotonicNanos();
      if (cycles != seen_cycles) {
        seen_cycles = cycles;
        progress_ns = now;
        server_frames = ServerFrames(client_.load(std::memory_order_acquire));
      } else if (hooks_.cycles && now - progress_ns >= kStalledNanos) {
        // Lost only when the server has run cycles without it. A server that ran none either
        // is only starved (a machine busy on every core): its client waits with it rather than
        // losing what is queued to a reconnection.
        const jack_nframes_t frames = ServerFrames(client_.load(std::memory_order_acquire));
        if (frames != server_frames) {
          lost = true;
        } else {
          progress_ns = now;
        }
      }
    }
    if (open && !lost) {
      continue;
    }
    lock.unlock();
    if (lost) {
      if (hooks_.lost) {
        hooks_.lost();
      }
      CloseClient();
    } else if (Open()) {
      seen_cycles = Cycles();
      progress_ns = MonotonicNanos();
      server_frames = ServerFrames(client_.load(std::memory_order_acquire));
    }
    lock.lock();
  }
}

}  // namespace vordel
