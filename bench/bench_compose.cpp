// Composing time and peak memory of whole pieces; eight pieces composed on two threads against
// one after the other; how long a session's caller waits while the largest piece is composed
// beside it; the list sort against the exchange sort on the same event lists; and writing the
// score of the start-up piece and of the largest piece (with the peak memory of a process that
// composes it and writes its score). Ends with one summary line:
//   compose default_ms=X p4_100_ms=X largest_ms=X largest_peak_mb=X parallel_x=X
//           window_block_ms=X sort_list_ms=X sort_bubble_ms=X score_ms=X score_largest_ms=X
//           score_largest_peak_mb=X
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <list>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "composer/composition.h"
#include "composer/event_order.h"
#include "composer/piece_builder.h"
#include "control/session.h"
#include "export/score.h"
#include "outputs/recording.h"
#include "platform/timer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Repeat(const std::string& group, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) {
    s += group + " ";
  }
  return s;
}

double Millis(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

vordel::Piece Compose(const std::string& text, std::int64_t clock_ms) {
  std::ostringstream diag;
  return vordel::ComposePiece(vordel::PieceParameters::Parse(text), clock_ms, {}, 0, diag)->piece;
}

// Median composing time of a string over `runs` compositions.
double ComposeMillis(const std::string& text, int runs, std::size_t* events) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto t0 = Clock::now();
    const vordel::Piece piece = Compose(text, 1000);
    times.push_back(Millis(Clock::now() - t0));
    *events = piece.EventCount();
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Peak resident memory of a child process that composes the string once, in MB.
double PeakMegabytes(const std::string& text) {
  const pid_t pid = fork();
  if (pid == 0) {
    Compose(text, 1000);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Median time of writing the piece's score to a file over `runs` writes; its size in MB.
double ScoreMillis(const vordel::Piece& piece, int runs, double* megabytes) {
  const std::string path = "/tmp/vordel-bench-score-" + std::to_string(getpid()) + ".musicxml";
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto t0 = Clock::now();
    std::string error;
    if (!vordel::WriteScore(piece, path, {}, &error)) {
      std::cerr << error << '\n';
      return -1;
    }
    times.push_back(Millis(Clock::now() - t0));
  }
  struct stat st {};
  stat(path.c_str(), &st);
  *megabytes = static_cast<double>(st.st_size) / 1e6;
  unlink(path.c_str());
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Peak resident memory of a child process that composes the string and writes its score, MB.
double ScorePeakMegabytes(const std::string& text) {
  const pid_t pid = fork();
  if (pid == 0) {
    double size = 0;
    ScoreMillis(Compose(text, 1000), 1, &size);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Eight different pieces: one after the other, then four on each of two threads.
double ParallelSpeedUp() {
  std::vector<std::string> texts;
  texts.reserve(8);
  for (int i = 0; i < 8; ++i) {
    texts.push_back(
        Repeat(std::to_string(i % 5) + " 60 50 40 " + std::to_string(150 + 10 * i), 10));
  }
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Compose(texts[i], static_cast<std::int64_t>(i));
  }
  const double serial = Millis(Clock::now() - t0);
  const auto t1 = Clock::now();
  std::thread other([&] {
    for (std::size_t i = 1; i < texts.size(); i += 2) {
      Compose(texts[i], static_cast<std::int64_t>(i));
    }
  });
  for (std::size_t i = 0; i < texts.size(); i += 2) {
    Compose(texts[i], static_cast<std::int64_t>(i));
  }
  other.join();
  return serial / Millis(Clock::now() - t1);
}

// The longest single call of a session's caller (asking, polling as the window does, taking
// and setting the piece) while the largest piece is composed beside it.
double WindowBlockMillis(const std::string& largest) {
  vordel::ThreadTimerService timer;
  std::ostringstream log;
  vordel::Session session(std::make_unique<vordel::RecordingOutput>(1 << 10), nullptr, timer, &log);
  double longest = 0;
  auto timed = [&](auto&& call) {
    const auto t0 = Clock::now();
    call();
    longest = std::max(longest, Millis(Clock::now() - t0));
  };
  for (int round = 0; round < 3; ++round) {
    timed([&] { session.composer().Request(vordel::PieceParameters::Parse(largest)); });
    for (;;) {
      pollfd p{session.composer().ReadyFd(), POLLIN, 0};
      if (poll(&p, 1, 40) == 1) {
        break;
      }
      timed([&] { session.Poll(); });
    }
    std::optional<vordel::Cue> ready;
    timed([&] { ready = session.composer().Take(); });
    timed([&] { session.transport().Load(*ready); });
  }
  return longest;
}

// The unsorted event times of every object of a piece, as the three sections leave them.
std::vector<std::vector<std::int64_t>> UnsortedLists(const std::string& text) {
  std::ostringstream diag;
  vordel::ComposingContext context(1000, diag);
  vordel::Composition piece(context);
  const vordel::PieceParameters parameters = vordel::PieceParameters::Parse(text);
  for (const vordel::SectionParameters& s : parameters.sections()) {
    piece.AddMusicalObject(s.function, s.p1, s.p2, s.p3, s.p4);
  }
  piece.PreGenerate();
  std::vector<std::vector<std::int64_t>> lists;
  std::int64_t start = 0;
  for (auto& obj : piece.object_list) {
    const std::int64_t dev = obj->Introduction(start);
    const std::int64_t rep = obj->Development(dev);
    start = obj->Reprise(rep);
    std::vector<std::int64_t> times;
    for (const vordel::Event& e : obj->event_list) {
      times.push_back(e.GetTIME());
    }
    lists.push_back(std::move(times));
  }
  return lists;
}

template <typename SortFn>
double SortMillis(const std::vector<std::vector<std::int64_t>>& lists, SortFn sort) {
  std::vector<vordel::EventList> copies;
  for (const auto& times : lists) {
    vordel::EventList l;
    for (auto t : times) {
      l.emplace_back(1, 60, 1, t, 0, 2);
    }
    copies.push_back(std::move(l));
  }
  const auto t0 = Clock::now();
  for (auto& l : copies) {
    sort(l);
  }
  const double ms = Millis(Clock::now() - t0);
  for (auto& l : copies) {
    if (!std::is_sorted(l.begin(), l.end(), vordel::AscendingTime{})) {
      std::cerr << "sort failed\n";
      std::_Exit(1);
    }
  }
  return ms;
}

}  // namespace

int main() {
  const std::string startup = "0 80 40 30 25 1 50 30 23 20";
  // Fifty objects of every function at the longest ordinary length.
  std::string p4_100;
  for (int i = 0; i < 50; ++i) {
    p4_100 += std::to_string(i % 5) + " 60 50 40 100 ";
  }
  // The largest piece the event budget allows: fifty Statements of 69 pitch cycles each.
  const std::string largest = Repeat("0 80 40 30 1020", 50);

  std::size_t events_default = 0;
  std::size_t events_p4 = 0;
  std::size_t events_largest = 0;
  const double default_ms = ComposeMillis(startup, 21, &events_default);
  const double p4_ms = ComposeMillis(p4_100, 11, &events_p4);
  const double largest_ms = ComposeMillis(largest, 3, &events_largest);
  const double largest_mb = PeakMegabytes(largest);
  const double parallel_x = ParallelSpeedUp();
  const double window_block_ms = WindowBlockMillis(largest);

  const auto lists = UnsortedLists(p4_100);
  const double list_ms = SortMillis(lists, [](vordel::EventList& l) {
    std::stable_sort(l.begin(), l.end(), vordel::AscendingTime{});
  });
  const double bubble_ms = SortMillis(lists, [](vordel::EventList& l) {
    vordel::bubble_sort(l.begin(), l.end(), vordel::AscendingTime{});
  });

  double score_mb = 0;
  double score_largest_mb = 0;
  const double score_ms = ScoreMillis(Compose(startup, 1000), 21, &score_mb);
  const double score_largest_ms = ScoreMillis(Compose(largest, 1000), 3, &score_largest_mb);
  const double score_peak_mb = ScorePeakMegabytes(largest);

  std::size_t sorted_events = 0;
  for (const auto& l : lists) {
    sorted_events += l.size();
  }
  std::printf("start-up string:        %8.3f ms  (%zu events)\n", default_ms, events_default);
  std::printf("50 objects, p4 = 100:   %8.3f ms  (%zu events)\n", p4_ms, events_p4);
  std::printf("largest allowed piece:  %8.3f ms  (%zu events), peak %.1f MB\n", largest_ms,
              events_largest, largest_mb);
  std::printf("eight pieces on two threads: %.2f times as fast as one after the other\n",
              parallel_x);
  std::printf("longest wait of the session's caller while the largest piece composes: %.3f ms\n",
              window_block_ms);
  std::printf("sorting %zu lists, %zu events: list sort %.3f ms, exchange sort %.3f ms\n",
              lists.size(), sorted_events, list_ms, bubble_ms);
  std::printf("score of the start-up piece: %.3f ms (%.1f MB)\n", score_ms, score_mb);
  std::printf("score of the largest piece: %.3f ms (%.1f MB), peak %.1f MB with its composing\n",
              score_largest_ms, score_largest_mb, score_peak_mb);
  std::printf(
      "compose default_ms=%.3f p4_100_ms=%.3f largest_ms=%.3f largest_peak_mb=%.1f "
      "parallel_x=%.2f window_block_ms=%.3f sort_list_ms=%.3f sort_bubble_ms=%.3f "
      "score_ms=%.3f score_largest_ms=%.1f score_largest_peak_mb=%.1f\n",
      default_ms, p4_ms, largest_ms, largest_mb, parallel_x, window_block_ms, list_ms, bubble_ms,
      score_ms, score_largest_ms, score_peak_mb);
  return 0;
}
