// A long day in a short time: endless play of a playlist of short pieces through the controller,
// the session, the composer, the player and an output that checks what it is sent. By default
// 1000 pieces back to back with a timer ticked as fast as the machine goes; with --minutes N the
// real timer for N minutes, measuring how far each piece's start is from its set gap. Ends with
// one summary line:
//   soak pieces=N hanging_notes=N lost=N rss_start_kb=N rss_end_kb=N gap_p99_ms=X gap_max_ms=X
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "control/controller.h"
#include "platform/clock.h"
#include "platform/timer.h"

namespace {

constexpr std::int64_t kGapMs = 1000;
constexpr const char* kPlaylist = "0 50 40 1 0\n--clock 77 '4 70 10 1 0'\n3 50 10 1 0\n";

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return 0;
}

// An output that keeps nothing but its checks: the notes sounding on each channel and key, and
// at every piece's opening (a program change on the player's lane) whether any still sounds.
class CheckingOutput : public vordel::MidiOutput {
 public:
  unsigned Status() const override { return 0; }
  unsigned Send(vordel::Lane lane, const vordel::MidiMessage& m, std::int64_t due_ns) override {
    (void)due_ns;
    const int kind = m.bytes[0] & 0xF0;
    const int slot = (m.bytes[0] & 0x0F) * 128 + (m.bytes[1] & 0x7F);
    if (kind == 0x90 && m.bytes[2] != 0) {
      sounding_[static_cast<std::size_t>(slot)].fetch_add(1, std::memory_order_relaxed);
      if (lane == vordel::Lane::kPlayer && awaiting_first_.exchange(false)) {
        first_send_ns_.store(vordel::MonotonicNanos(), std::memory_order_relaxed);
      }
    } else if (kind == 0x80 || kind == 0x90) {
      if (sounding_[static_cast<std::size_t>(slot)].load(std::memory_order_relaxed) > 0) {
        sounding_[static_cast<std::size_t>(slot)].fetch_sub(1, std::memory_order_relaxed);
      }
    } else if (kind == 0xC0 && lane == vordel::Lane::kPlayer) {
      for (auto& n : sounding_) {
        hanging_ += n.exchange(0, std::memory_order_relaxed);
      }
      awaiting_first_.store(true);
    }
    messages_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  void Close() override {}
  std::string Describe() const override { return "checks"; }

  long hanging() const { return hanging_; }
  // The send time of the first note of the piece that opened last (0 before it came).
  std::int64_t TakeFirstSend() { return first_send_ns_.exchange(0); }

 private:
  std::atomic<int> sounding_[16 * 128] = {};
  std::atomic<bool> awaiting_first_{false};
  std::atomic<std::int64_t> first_send_ns_{0};
  std::atomic<long> messages_{0};
  long hanging_ = 0;  // the tick's thread only
};

class QuietHost : public vordel::ControllerHost {
 public:
  void MessageBox(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void Invalidate() override {}
  void PostQuit(int) override {}
};

// Each piece's start: the due time of its first tick and its own end, as the session says.
class Starts : public vordel::SessionListener {
 public:
  explicit Starts(vordel::Session& s) : session_(s) {}
  void PlaybackStarted() override {
    ++count;
    const vordel::Piece& p = session_.piece();
    first_tick_ns = session_.player().FirstTickDueNanos();
    own_end_ms = std::max(p.total_ms(), p.end_tick() + 1);
    first_note_tick =
        p.sections().empty() || p.sections()[0].events.empty() ? 0 : p.sections()[0].events[0].tick;
  }
  int count = 0;
  std::int64_t first_tick_ns = 0;
  std::int64_t own_end_ms = 0;
  std::int64_t first_note_tick = 0;

 private:
  vordel::Session& session_;
};

// A timer the benchmark ticks itself, as fast as it likes; deadlines 1 ms apart.
class FastTimer : public vordel::TimerService {
 public:
  unsigned FinestPeriodMs() override { return 1; }
  unsigned Start(unsigned, vordel::TimerCallback callback, void* user) override {
    callback_ = callback;
    user_ = user;
    id_ = ++next_;
    ticks_ = 0;
    return id_;
  }
  void Cancel(unsigned id) override {
    if (id == id_) {
      id_ = 0;
    }
  }
  void Wait(unsigned id) override {
    while (Active(id)) {
      Tick();
    }
  }
  bool Active(unsigned id) override { return id != 0 && id == id_; }
  bool Tick() {
    if (id_ == 0) {
      return false;
    }
    callback_(id_, user_, vordel::kNanosPerMilli * 1000 + ticks_++ * vordel::kNanosPerMilli);
    return true;
  }

 private:
  vordel::TimerCallback callback_ = nullptr;
  void* user_ = nullptr;
  unsigned id_ = 0;
  unsigned next_ = 0;
  std::int64_t ticks_ = 0;
};

vordel::ProgrammeSettings Settings() {
  vordel::ProgrammeSettings s;
  s.playlist = vordel::ParsePlaylist(kPlaylist, "soak");
  s.gap_ms = kGapMs;
  return s;
}

void ServeComposer(vordel::Session& session, vordel::Controller& controller, int timeout_ms) {
  pollfd p{session.composer().ReadyFd(), POLLIN, 0};
  if (poll(&p, 1, timeout_ms) == 1) {
    controller.PieceComposed();
  }
}

}  // namespace

int main(int argc, char** argv) {
  int minutes = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
      minutes = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: vordel-bench-soak [--minutes N]\n");
      return 2;
    }
  }
  QuietHost host;
  std::ostringstream log;
  auto output = std::make_unique<CheckingOutput>();
  CheckingOutput* checks = output.get();  // owned by the session below
  std::vector<double> gap_errors_ms;
  long rss_start = 0;
  long rss_end = 0;
  long hanging = 0;
  int pieces = 0;
  std::uint64_t lost = 0;
  if (minutes == 0) {
    FastTimer timer;
    vordel::Session session(std::move(output), nullptr, timer, &log);
    Starts starts(session);
    session.AddListener(&starts);
    vordel::Controller controller(session, host, Settings());
    controller.SetupWindow();
    for (std::int64_t tick = 0; starts.count < 1001; ++tick) {
      // The composer is a real thread: never tick past a piece's end before its follower is
      // there, so that the player can run far faster than real time.
      while (session.composer().Composing(vordel::ComposeFor::kFollowing) ||
             session.composer().Composing(vordel::ComposeFor::kCommand)) {
        ServeComposer(session, controller, 100);
      }
      if (tick % 50 == 0) {
        controller.Poll();
        if (starts.count == 1 && rss_start == 0) {
          rss_start = RssKb();
        }
      }
      if (!timer.Tick()) {
        controller.Poll();
        ServeComposer(session, controller, 10);
      }
      log.str("");
    }
    pieces = starts.count - 1;
    rss_end = RssKb();
    lost = session.LostMessages();
    hanging = checks->hanging();
    session.RemoveListener(&starts);
  } else {
    vordel::ThreadTimerService timer;
    vordel::Session session(std::move(output), nullptr, timer, &log);
    Starts starts(session);
    session.AddListener(&starts);
    vordel::Controller controller(session, host, Settings());
    controller.SetupWindow();
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(minutes);
    int seen = 0;
    std::int64_t expected_ns = 0;
    while (std::chrono::steady_clock::now() < until) {
      ServeComposer(session, controller, controller.programme().WakeInMs());
      controller.Poll();
      if (starts.count > seen) {
        // A piece has started: its first note came (or will come) at its set time.
        seen = starts.count;
        std::int64_t sent = 0;
        for (int i = 0; i < 200 && (sent = checks->TakeFirstSend()) == 0; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (expected_ns != 0 && sent != 0) {
          gap_errors_ms.push_back(static_cast<double>(std::llabs(sent - expected_ns)) / 1e6);
        }
        if (rss_start == 0) {
          rss_start = RssKb();
        }
        // The next one: this one's own end, then the gap, then its first note. (The first
        // piece's first tick is still to come when it is told to have started.)
        expected_ns =
            seen < 2 ? 0
                     : starts.first_tick_ns + (starts.own_end_ms + kGapMs) * vordel::kNanosPerMilli;
      }
    }
    pieces = starts.count;
    rss_end = RssKb();
    lost = session.LostMessages();
    hanging = checks->hanging();
    session.RemoveListener(&starts);
  }
  std::sort(gap_errors_ms.begin(), gap_errors_ms.end());
  const double p99 =
      gap_errors_ms.empty()
          ? 0
          : gap_errors_ms[std::min(gap_errors_ms.size() - 1, gap_errors_ms.size() * 99 / 100)];
  const double max = gap_errors_ms.empty() ? 0 : gap_errors_ms.back();
  std::printf(
      "%d pieces back to back (%s): %ld notes left sounding, %llu messages lost, RSS %ld kB "
      "at the first and %ld kB at the last\n",
      pieces, minutes == 0 ? "as fast as the machine goes" : "in real time", hanging,
      static_cast<unsigned long long>(lost), rss_start, rss_end);
  std::printf(
      "soak pieces=%d hanging_notes=%ld lost=%llu rss_start_kb=%ld rss_end_kb=%ld "
      "gap_p99_ms=%.3f gap_max_ms=%.3f\n",
      pieces, hanging, static_cast<unsigned long long>(lost), rss_start, rss_end, p99, max);
  return 0;
}
