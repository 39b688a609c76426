#include "remote/osc_source.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/error_text.h"

namespace vordel {
namespace {

constexpr int kLogLinesPerSecond = 10;
constexpr int kPortsTried = 100;

}  // namespace

// Answers waiting to be sent by the OSC thread, shared with the answer callbacks of commands
// that may outlive the source.
struct OscSource::Mailbox {
  struct Letter {
    bool to_subscribers;
    OscPeer to;
    OscMessageOut message;
  };
  std::mutex mutex;
  std::deque<Letter> letters;
  int wake_fd = -1;
  std::atomic<bool> open{true};

  ~Mailbox() {
    if (wake_fd >= 0) {
      close(wake_fd);
    }
  }

  void Put(Letter letter) {
    if (!open.load(std::memory_order_acquire)) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (letters.size() > 1024) {
        return;  // nobody reads them: do not grow
      }
      letters.push_back(std::move(letter));
    }
    const std::uint64_t one = 1;
    (void)!write(wake_fd, &one, sizeof one);
  }
  std::deque<Letter> Take() {
    std::uint64_t count = 0;
    (void)!read(wake_fd, &count, sizeof count);
    std::lock_guard<std::mutex> lock(mutex);
    std::deque<Letter> out;
    out.swap(letters);
    return out;
  }
};

// The handler's view of the source, on the OSC thread.
class OscSource::Actions : public OscActions {
 public:
  Actions(OscSource& source, CommandQueue& queue) : source_(source), queue_(queue) {}

  void Post(Command command) override { queue_.Post(std::move(command)); }
  void Send(const OscPeer& to, const OscMessageOut& message) override {
    source_.SendNow(to, message);
  }
  std::function<void(const OscPeer&, const OscMessageOut&)> Sender() override {
    return [mailbox = source_.mailbox_](const OscPeer& to, const OscMessageOut& message) {
      mailbox->Put({false, to, message});
    };
  }
  void Subscribe(const OscPeer& peer, const OscPeer& sender) override {
    if (const auto replaced = source_.subscribers_.Subscribe(peer, sender, OscClock::now())) {
      Log("OSC: " + peer.ToString() + " replaces the oldest subscription, " + replaced->ToString() +
          " (at most " + std::to_string(OscSubscribers::kPerSender) + " for one sender and " +
          std::to_string(OscSubscribers::kMax) + " in all)");
    }
  }
  void Unsubscribe(const OscPeer& peer) override { source_.subscribers_.Unsubscribe(peer); }
  OscMessageOut Status() override {
    const Session::Snapshot s = source_.status_();
    OscMessageOut out{"/vordel/status", {}};
    out.args.push_back({'i', s.playing ? 1 : 0, ""});
    out.args.push_back({'i', s.current_object, ""});
    out.args.push_back({'i', static_cast<std::int32_t>(s.playback_ms), ""});
    out.args.push_back({'i', static_cast<std::int32_t>(s.total_ms), ""});
    out.args.push_back({'i', s.events_played, ""});
    out.args.push_back({'s', 0, s.reproduce});
    out.args.push_back({'i', s.mode, ""});
    out.args.push_back({'i', s.playlist_position, ""});
    out.args.push_back({'i', s.playlist_length, ""});
    out.args.push_back({'i', s.seconds_to_next, ""});
    out.args.push_back({'f', 0, "", static_cast<float>(s.beat)});
    out.args.push_back({'f', 0, "", static_cast<float>(s.tempo)});
    return out;
  }
  void Log(const std::string& line) override { source_.LogLimited(line); }

 private:
  OscSource& source_;
  CommandQueue& queue_;
};

OscSource::OscSource(Options options, std::function<Session::Snapshot()> status, LogFn log,
                     LogFn stray)
    : options_(std::move(options)),
      status_(std::move(status)),
      log_(std::move(log)),
      stray_(stray ? std::move(stray) : log_),
      mailbox_(std::make_shared<Mailbox>()) {}

OscSource::~OscSource() {
  Stop();
}

bool OscSource::Start(CommandQueue& queue, std::string* error) {
  if (options_.allow.empty()) {
    allow_ = OscAllowList::Loopback();
  } else if (auto allow = OscAllowList::Parse(options_.allow, error)) {
    allow_ = *allow;
  } else {
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(options_.listen.c_str(), "0", &hints, &found) != 0 || found == nullptr) {
    *error = "OSC: '" + options_.listen + "' is not an address to listen on";
    return false;
  }
  socket_ = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) {
    freeaddrinfo(found);
    *error = std::string("OSC: no socket: ") + ErrorText(errno);
    return false;
  }
  int bound_port = 0;
  for (int port = options_.port; port < options_.port + kPortsTried && port < 65536; ++port) {
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    if (found->ai_family == AF_INET) {
      reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(static_cast<std::uint16_t>(port));
    } else {
      reinterpret_cast<sockaddr_in6*>(&address)->sin6_port =
          htons(static_cast<std::uint16_t>(port));
    }
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), found->ai_addrlen) == 0) {
      bound_port = port;
      break;
    }
    if (errno != EADDRINUSE) {
      break;
    }
  }
  freeaddrinfo(found);
  if (bound_port == 0) {
    *error = "OSC: cannot listen on " + options_.listen + " port " + std::to_string(options_.port) +
             ": " + ErrorText(errno);
    close(socket_);
    socket_ = -1;
    return false;
  }
  if (bound_port != options_.port) {
    log_("OSC: port " + std::to_string(options_.port) + " is taken; listening on port " +
         std::to_string(bound_port) + " instead");
  }
  if (options_.allow.empty() && !OscAllowList::IsLoopback(options_.listen)) {
    log_("OSC: listening on " + options_.listen +
         ", but only this machine is heard until --osc-allow names other senders");
  }
  port_ = bound_port;
  mailbox_->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  thread_ = std::thread([this, &queue] { Run(queue); });
  return true;
}

void OscSource::Stop() {
  if (thread_.joinable()) {
    stopping_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    (void)!write(mailbox_->wake_fd, &one, sizeof one);
    thread_.join();
  }
  mailbox_->open.store(false, std::memory_order_release);
  if (socket_ >= 0) {
    close(socket_);
    socket_ = -1;
  }
}

void OscSource::PlaybackStarted() {
  mailbox_->Put({true, {}, {"/vordel/started", {}}});
}

void OscSource::PlaybackEnded(const std::string& reason) {
  OscMessageOut out{"/vordel/ended", {}};
  out.args.push_back({'s', 0, reason});
  mailbox_->Put({true, {}, out});
}

void OscSource::SendNow(const OscPeer& to, const OscMessageOut& message, bool limited) {
  if (limited && !limit_.Allow(to, OscClock::now())) {
    return;
  }
  const std::vector<std::uint8_t> bytes = SerialiseOscMessage(message);
  sendto(socket_, bytes.data(), bytes.size(), MSG_DONTWAIT,
         reinterpret_cast<const sockaddr*>(&to.address), to.length);
}

void OscSource::LogLimited(const std::string& line) {
  const auto now = std::chrono::steady_clock::now();
  if (now - log_window_ >= std::chrono::seconds(1)) {
    if (log_suppressed_ > 0) {
      stray_("OSC: " + std::to_string(log_suppressed_) + " more lines like these not shown");
    }
    log_window_ = now;
    log_lines_ = 0;
    log_suppressed_ = 0;
  }
  if (log_lines_ < kLogLinesPerSecond) {
    ++log_lines_;
    stray_(line);
  } else {
    ++log_suppressed_;
  }
}

void OscSource::Run(CommandQueue& queue) {
  Actions actions(*this, queue);
  std::vector<std::uint8_t> buffer(65536);
  while (!stopping_.load(std::memory_order_acquire)) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {mailbox_->wake_fd, POLLIN, 0}};
    if (poll(fds, 2, 1000) < 0) {
      continue;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      OscPeer from;
      from.length = sizeof from.address;
      const ssize_t n = recvfrom(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from.address), &from.length);
      if (n > 0 && !allow_.Allows(from)) {
        LogLimited("OSC: a packet from " + from.ToString() +
                   " is not let in (--osc-allow names who is); ignored");
      } else if (n > 0) {
        HandleOscPacket(buffer.data(), static_cast<std::size_t>(n), from, actions);
      }
    }
    for (Mailbox::Letter& letter : mailbox_->Take()) {
      if (letter.to_subscribers) {
        // What subscribers asked to hear is not held back by a flood of answers to others.
        for (const OscPeer& peer : subscribers_.Current(OscClock::now())) {
          SendNow(peer, letter.message, false);
        }
      } else {
        SendNow(letter.to, letter.message);
      }
    }
    const auto now = OscClock::now();
    if (now - held_back_said_ >= std::chrono::seconds(1)) {
      if (const std::uint64_t held = limit_.TakeHeldBack(); held > 0) {
        held_back_said_ = now;
        LogLimited("OSC: " + std::to_string(held) + " answer(s) held back: at most " +
                   std::to_string(OscAnswerLimit::kPerSecond) + " a second go to one host");
      }
    }
  }
}

}  // namespace vordel
