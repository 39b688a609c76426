// How steady vordel's MIDI clock is at a real JACK peer. A dummy JACK server (48 kHz, 256
// frames) of the benchmark's own with the project's recorder, one core kept busy, and a headless
// vordel with --midi-clock playing one piece into the recorder, which stamps every arrival in
// JACK's microsecond clock. The ideal clock is the piece's own beat map (composed here again from
// the clock vordel printed): clock k falls where the map puts beat k/24. Each clock's arrival is
// compared with its ideal time; the median of the differences is the latency, what is left after
// removing it the jitter. Also counted: the clocks that arrived against the piece's beats (24 a
// beat, and one on the first). Ends with one line:
//   sync clock_p99_ms=X clock_max_ms=X clocks=N expected=N beats=X xruns=N
// Usage: vordel-bench-sync build/vordel build/vordel-jack-recorder
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "composer/piece_builder.h"
#include "jack_bench.h"
#include "sequence/beat_map.h"
#include "sequence/schedule.h"

namespace {

constexpr const char* kPiece = "3 50 40 50 10";

struct Arrival {
  double usecs;
  std::string bytes;
};

std::vector<Arrival> ReadDump(const std::string& path) {
  std::vector<Arrival> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
      continue;
    }
    out.push_back({std::stod(line.substr(0, colon)), line.substr(colon + 2)});
  }
  return out;
}

void Quiet(const char* /*text*/) {}

}  // namespace

int main(int argc, char** argv) {
  jack_set_error_function(&Quiet);
  jack_set_info_function(&Quiet);
  using vordel::bench::Busy;
  using vordel::bench::Finish;
  using vordel::bench::Server;
  using vordel::bench::Sleep;
  using vordel::bench::Slurp;
  using vordel::bench::Spawn;
  if (argc < 3) {
    std::fprintf(stderr, "usage: vordel-bench-sync VORDEL RECORDER\n");
    return 2;
  }
  const std::string vordel = argv[1];
  const std::string recorder = argv[2];
  char dir_template[] = "/tmp/vordel-bench-sync-XXXXXX";
  const std::string dir = mkdtemp(dir_template);
  // Each run's instance numbers and journal in folders of its own.
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  setenv("XDG_STATE_HOME", dir.c_str(), 1);   // NOLINT(concurrency-mt-unsafe)
  Server server(256);
  Busy busy;
  const std::string dump = dir + "/dump.txt";
  const std::string log = dir + "/vordel.txt";
  const pid_t rec = Spawn({recorder, "--name", "midi-monitor"}, dump, "/dev/null");
  Sleep(500);
  const pid_t play = Spawn({vordel, "--headless", "--output", "jack", "--port", "midi-monitor",
                            "--osc-port", "0", "--midi-clock", kPiece},
                           log, log);
  for (int i = 0; i < 600 && Slurp(log).find("playback ended") == std::string::npos; ++i) {
    Sleep(100);
  }
  Finish(play, SIGTERM);
  Sleep(300);
  Finish(rec, SIGTERM);
  const int xruns = server.Xruns();

  std::smatch clock_match;
  const std::string said = Slurp(log);
  if (!std::regex_search(said, clock_match, std::regex("--clock ([0-9]+)"))) {
    std::fprintf(stderr, "vordel-bench-sync: no piece was played:\n%s", said.c_str());
    return 1;
  }
  std::ostringstream quiet;
  const vordel::Piece piece = vordel::ComposePiece(vordel::PieceParameters::Parse(kPiece),
                                                   std::stoll(clock_match[1]), {}, 0, quiet)
                                  ->piece;
  const vordel::BeatMap map = vordel::BuildBeatMap(piece);
  vordel::BeatCursor cursor;
  cursor.Reset(&map);

  std::vector<double> clocks;
  for (const Arrival& a : ReadDump(dump)) {
    if (a.bytes == "f8") {
      clocks.push_back(a.usecs);
    }
  }
  const long expected = static_cast<long>(std::floor(map.points.back().beat * 24)) + 1;
  std::vector<double> deviations;
  for (std::size_t k = 0; k < clocks.size(); ++k) {
    const double ideal_us = cursor.TickOf(static_cast<double>(k) / 24.0) * 1000.0;
    deviations.push_back(clocks[k] - clocks.front() - ideal_us);
  }
  const vordel::bench::Result r = vordel::bench::Measure(deviations, expected);
  std::printf(
      "sync clock_p99_ms=%.4f clock_max_ms=%.4f clocks=%zu expected=%ld beats=%.2f "
      "xruns=%d\n",
      r.p99_ms, r.max_ms, clocks.size(), expected, map.points.back().beat, xruns);
  std::filesystem::remove_all(dir);
  return clocks.size() == static_cast<std::size_t>(expected) ? 0 : 1;
}
