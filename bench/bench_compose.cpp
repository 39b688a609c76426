// Generation time and peak memory of whole pieces, and the list sort against the exchange sort
// on the same event lists. Ends with one summary line:
//   compose default_ms=X p4_100_ms=X largest_ms=X largest_peak_mb=X sort_list_ms=X sort_bubble_ms=X
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <list>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "chances/random_source.h"
#include "composer/composition.h"
#include "composer/diagnostics.h"
#include "composer/event_order.h"
#include "composer/piece_builder.h"

namespace {

class BenchPiece : public vordel::Composition {
 public:
  BenchPiece() : Composition("bench", "", "", 0, 5) {}
};

// Swallows the composer's diagnostic lines.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

std::string Repeat(const std::string& group, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) {
    s += group + " ";
  }
  return s;
}

double Millis(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Median build time of a string over `runs` builds.
double BuildMillis(const std::string& text, int runs, std::size_t* events) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    BenchPiece piece;
    std::ostringstream diag;
    vordel::ScopedDiagnosticStream quiet(diag);
    const auto t0 = std::chrono::steady_clock::now();
    vordel::BuildPiece(piece, text);
    times.push_back(Millis(std::chrono::steady_clock::now() - t0));
    std::size_t n = 0;
    for (auto& o : piece.object_list)
      n += o->event_list.size();
    *events = n;
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Peak resident memory of a child process that builds the string once, in MB.
double PeakMegabytes(const std::string& text) {
  const pid_t pid = fork();
  if (pid == 0) {
    BenchPiece piece;
    std::ostringstream diag;
    vordel::ScopedDiagnosticStream quiet(diag);
    vordel::BuildPiece(piece, text);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The unsorted event times of every object of a piece, as the three sections leave them.
std::vector<std::vector<std::int64_t>> UnsortedLists(const std::string& text) {
  BenchPiece piece;
  const std::vector<int> n = vordel::SplitParameterString(text);
  for (std::size_t i = 0; i + 4 < n.size(); i += 5) {
    piece.AddMusicalObject(n[i], n[i + 1], n[i + 2], n[i + 3], n[i + 4]);
  }
  piece.PreGenerate();
  std::vector<std::vector<std::int64_t>> lists;
  std::int64_t start = 0;
  for (auto& obj : piece.object_list) {
    const std::int64_t dev = obj->Introduction(start);
    const std::int64_t rep = obj->Development(dev);
    start = obj->Reprise(rep);
    std::vector<std::int64_t> times;
    for (const auto& e : obj->event_list)
      times.push_back(e->GetTIME());
    lists.push_back(std::move(times));
  }
  return lists;
}

template <typename SortFn>
double SortMillis(const std::vector<std::vector<std::int64_t>>& lists, SortFn sort) {
  std::vector<vordel::EventList> copies;
  for (const auto& times : lists) {
    vordel::EventList l;
    for (auto t : times)
      l.push_back(std::make_unique<vordel::Event>(1, 60, 1, t, 0, 2));
    copies.push_back(std::move(l));
  }
  const auto t0 = std::chrono::steady_clock::now();
  for (auto& l : copies)
    sort(l);
  const double ms = Millis(std::chrono::steady_clock::now() - t0);
  for (auto& l : copies) {
    if (!std::is_sorted(l.begin(), l.end(), vordel::AscendingTime{})) {
      std::cerr << "sort failed\n";
      std::exit(1);
    }
  }
  return ms;
}

}  // namespace

int main() {
  NullBuffer null;
  std::streambuf* real = std::cout.rdbuf(&null);
  vordel::PinClock(1000);

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
  const double default_ms = BuildMillis(startup, 21, &events_default);
  const double p4_ms = BuildMillis(p4_100, 11, &events_p4);
  const double largest_ms = BuildMillis(largest, 3, &events_largest);
  const double largest_mb = PeakMegabytes(largest);

  const auto lists = UnsortedLists(p4_100);
  const double list_ms =
      SortMillis(lists, [](vordel::EventList& l) { l.sort(vordel::AscendingTime{}); });
  const double bubble_ms = SortMillis(lists, [](vordel::EventList& l) {
    vordel::bubble_sort(l.begin(), l.end(), vordel::AscendingTime{});
  });

  std::cout.rdbuf(real);
  std::size_t sorted_events = 0;
  for (const auto& l : lists)
    sorted_events += l.size();
  std::printf("start-up string:        %8.3f ms  (%zu events)\n", default_ms, events_default);
  std::printf("50 objects, p4 = 100:   %8.3f ms  (%zu events)\n", p4_ms, events_p4);
  std::printf("largest allowed piece:  %8.3f ms  (%zu events), peak %.1f MB\n", largest_ms,
              events_largest, largest_mb);
  std::printf("sorting %zu lists, %zu events: list sort %.3f ms, exchange sort %.3f ms\n",
              lists.size(), sorted_events, list_ms, bubble_ms);
  std::printf(
      "compose default_ms=%.3f p4_100_ms=%.3f largest_ms=%.3f largest_peak_mb=%.1f "
      "sort_list_ms=%.3f sort_bubble_ms=%.3f\n",
      default_ms, p4_ms, largest_ms, largest_mb, list_ms, bubble_ms);
  return 0;
}
