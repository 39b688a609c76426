// Timing accuracy of the player: plays a piece through the recording output on the real timer
// and compares every send time with its due time; then drives the same piece with a plain
// sleep_for(1 ms) loop for comparison. The second core is kept busy throughout.
// Ends with one summary line:
//   timing seconds=N events=N p50_us=X p99_us=X max_us=X drift_us=X naive_p99_us=X
//   naive_max_us=X naive_drift_us=X
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "composer/piece_builder.h"
#include "outputs/recording.h"
#include "player/player.h"
#include "sequence/schedule.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
  std::size_t events = 0;
  double p50 = 0, p99 = 0, max = 0, drift = 0;
};

Stats Summarise(std::vector<double> late_us) {
  Stats s;
  s.events = late_us.size();
  if (late_us.empty())
    return s;
  s.drift = late_us.back();
  std::sort(late_us.begin(), late_us.end());
  s.p50 = late_us[late_us.size() / 2];
  s.p99 = late_us[std::min(late_us.size() - 1, late_us.size() * 99 / 100)];
  s.max = late_us.back();
  return s;
}

// Event times of the piece in the order the player sends them, up to `seconds`.
std::vector<std::int64_t> DueTimes(const vordel::Piece& piece, std::int64_t limit_ms) {
  std::vector<std::int64_t> times;
  for (const vordel::PieceSection& section : piece.sections()) {
    for (const vordel::ComposedEvent& e : section.events) {
      if (e.tick < limit_ms) {
        times.push_back(e.tick);
      }
    }
  }
  return times;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: vordel-bench-timing [--seconds N]\n");
      return 2;
    }
  }

  std::atomic<bool> busy{true};
  std::thread load([&] {
    volatile std::uint64_t x = 0;
    while (busy.load(std::memory_order_relaxed))
      x = x + 1;
  });

  // The player on the real timer: every message carries the deadline of its tick, and the
  // recording notes when it was really sent.
  vordel::ThreadTimerService timer;
  vordel::RecordingOutput rec(1 << 20);
  vordel::NoteTracker notes;
  vordel::CompositionPlayer player(&rec, notes, timer);
  std::ostringstream diagnostics;
  const vordel::Piece piece =
      vordel::ComposePiece(vordel::PieceParameters::Parse("0 80 40 30 25 1 50 30 23 20"), 0, {}, 0,
                           diagnostics)
          ->piece;
  player.SetSchedule(std::make_shared<const vordel::Schedule>(vordel::BuildSchedule(piece)));
  const std::int64_t limit_ms = static_cast<std::int64_t>(seconds) * 1000;
  const std::vector<std::int64_t> due = DueTimes(piece, limit_ms);
  const auto started = Clock::now();
  player.StartPlayback();
  player.MarkRunning();
  while (player.Running() != 0 &&
         Clock::now() < started + std::chrono::milliseconds(limit_ms + 2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  player.RaiseStop();
  player.WaitForPlayerIdle();
  const bool real_time = timer.RealTime();
  std::vector<double> late;
  for (const auto& r : rec.Records()) {
    if (vordel::IsNoteOn(r.message) || vordel::IsNoteOff(r.message)) {
      late.push_back(static_cast<double>(r.sent_ns - r.due_ns) / 1000.0);
    }
  }
  late.resize(std::min(late.size(), due.size()));
  const Stats timed = Summarise(late);

  // Idle cost between playbacks.
  const double cpu0 = CpuSeconds();
  const auto wall0 = Clock::now();
  busy.store(false);
  load.join();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double idle_pct =
      100.0 * (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - wall0).count();
  busy.store(true);
  std::thread load2([&] {
    volatile std::uint64_t x = 0;
    while (busy.load(std::memory_order_relaxed))
      x = x + 1;
  });

  // The same events driven by a plain sleep loop.
  vordel::RecordingOutput naive_out(1 << 20);
  std::vector<double> naive_late;
  {
    std::size_t next = 0;
    const Clock::time_point start = Clock::now();
    for (std::int64_t tick = 0; next < due.size(); ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      while (next < due.size() && due[next] <= tick) {
        naive_out.Send(vordel::Lane::kPlayer, vordel::NoteMessage(1, 60, 1), 0);
        const auto due_at = start + std::chrono::milliseconds(due[next] + 1);
        naive_late.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - due_at).count());
        ++next;
      }
    }
  }
  busy.store(false);
  load2.join();
  const Stats naive = Summarise(naive_late);

  std::printf("piece: start-up string, first %d s, %zu events; real-time scheduling: %s\n", seconds,
              due.size(), real_time ? "yes" : "no (not permitted)");
  std::printf("timer:      p50 %8.1f us  p99 %8.1f us  max %8.1f us  drift at end %8.1f us\n",
              timed.p50, timed.p99, timed.max, timed.drift);
  std::printf("sleep loop: p50 %8.1f us  p99 %8.1f us  max %8.1f us  drift at end %8.1f us\n",
              naive.p50, naive.p99, naive.max, naive.drift);
  std::printf("idle CPU after the playback: %.2f %%\n", idle_pct);
  std::printf(
      "timing seconds=%d events=%zu p50_us=%.1f p99_us=%.1f max_us=%.1f drift_us=%.1f "
      "naive_p99_us=%.1f naive_max_us=%.1f naive_drift_us=%.1f\n",
      seconds, timed.events, timed.p50, timed.p99, timed.max, timed.drift, naive.p99, naive.max,
      naive.drift);
  return 0;
}
