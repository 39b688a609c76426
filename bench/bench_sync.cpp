// How closely vordel keeps to an Ableton Link session, and how steady its MIDI clock is, at a
// real JACK peer. The benchmark runs in a network namespace of its own with nothing but loopback
// (it makes one as it starts: Link finds peers by multicast on every interface); without one the
// Link part is skipped and the line says so.
//
// Link: a peer of the benchmark's own at 120 beats a minute, a headless vordel with --link
// (following) given one piece, which plays into the recorder. Seven seconds in, the peer changes
// the tempo to 90. Each note start of the piece falls, on the peer's timeline, where the piece's
// shape puts it (its tick at its first tempo, counted in beats from the bar it began on); the
// difference is the phase error, its median the output's latency: p99 and max of what is left.
// tempo_after: the tempo the note starts after the change keep (their beats over their arrival
// times); followed_in_beats: from the change of tempo to the first note start from which every
// one is within a millisecond of the new timeline (no sooner than the piece has a note there).
//
// MIDI clock: A dummy JACK server (48 kHz, 256
// frames) of the benchmark's own with the project's recorder, one core kept busy, and a headless
// vordel with --midi-clock playing one piece into the recorder, which stamps every arrival in
// JACK's microsecond clock. The ideal clock is the piece's own beat map (composed here again from
// the clock vordel printed): clock k falls where the map puts beat k/24. Each clock's arrival is
// compared with its ideal time; the median of the differences is the latency, what is left after
// removing it the jitter. Also counted: the clocks that arrived against the piece's beats (24 a
// beat, and one on the first). Ends with one line:
//   sync phase_p99_ms=X phase_max_ms=X phase_latency_ms=X notes=N tempo_after=X
//        followed_in_beats=X
//        clock_p99_ms=X clock_max_ms=X clocks=N expected=N beats=X xruns=N
// Usage: vordel-bench-sync build/vordel build/vordel-jack-recorder
#include <lo/lo.h>
#include <sched.h>
#include <ableton/Link.hpp>

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

// A network namespace of the benchmark's own, loopback only, with multicast on it; "" when
// made, else why not.
std::string PrivateNetwork() {
  if (unshare(CLONE_NEWNET) != 0) {
    return "no network namespace of its own (unshare needs root)";
  }
  if (std::system("ip link set lo up && ip link set lo multicast on && "  // NOLINT(cert-env33-c)
                  "ip route add 224.0.0.0/4 dev lo") != 0) {
    return "the namespace's loopback cannot carry multicast";
  }
  return "";
}

// A line of the peer's timeline: its beat at a moment of Link's clock (microseconds).
struct Line {
  double origin_us;
  double origin_beat;
  double bpm;
  double TimeAt(double beat) const { return origin_us + (beat - origin_beat) * 60e6 / bpm; }
  double BeatAt(double us) const { return origin_beat + (us - origin_us) * bpm / 60e6; }
};

Line Capture(ableton::Link& link, double quantum) {
  const auto state = link.captureAppSessionState();
  const auto now = link.clock().micros();
  return {static_cast<double>(now.count()), state.beatAtTime(now, quantum), state.tempo()};
}

// JACK's microsecond clock minus Link's.
double JackMinusLinkUs(ableton::Link& link) {
  jack_status_t status{};
  jack_client_t* c = jack_client_open("bench-link-clock", JackNoStartServer, &status);
  const double a = static_cast<double>(link.clock().micros().count());
  const double j = static_cast<double>(jack_get_time());
  const double b = static_cast<double>(link.clock().micros().count());
  if (c != nullptr) {
    jack_client_close(c);
  }
  return j - (a + b) / 2;
}

constexpr const char* kLinkPiece = "0 50 40 80 3";
constexpr double kQuantum = 4;

// The Link part; its key=value fields, or "" when it failed (said on standard error).
std::string LinkPart(const std::string& vordel, const std::string& recorder,
                     const std::string& dir) {
  using vordel::bench::Finish;
  using vordel::bench::Sleep;
  using vordel::bench::Slurp;
  using vordel::bench::Spawn;
  ableton::Link peer(120);
  peer.enable(true);
  const std::string dump = dir + "/link-dump.txt";
  const std::string log = dir + "/link-vordel.txt";
  const pid_t rec = Spawn({recorder, "--name", "midi-monitor"}, dump, "/dev/null");
  Sleep(500);
  const pid_t play = Spawn({vordel, "--headless", "--output", "jack", "--port", "midi-monitor",
                            "--osc-port", "9770", "--link"},
                           log, log);
  for (int i = 0; i < 100 && Slurp(log).find("Link: 1 peer") == std::string::npos; ++i) {
    Sleep(100);
  }
  const double offset_before = JackMinusLinkUs(peer);
  const Line before = Capture(peer, kQuantum);
  lo_address osc = lo_address_new("127.0.0.1", "9770");
  lo_send(osc, "/vordel/piece", "s", kLinkPiece);
  Sleep(7000);
  auto state = peer.captureAppSessionState();
  const auto change = peer.clock().micros();
  state.setTempo(90, change);
  peer.commitAppSessionState(state);
  const Line after = Capture(peer, kQuantum);
  const double change_beat = after.BeatAt(static_cast<double>(change.count()));
  for (int i = 0; i < 1200 && Slurp(log).find("playback ended") == std::string::npos; ++i) {
    Sleep(100);
  }
  lo_address_free(osc);
  const double offset_after = JackMinusLinkUs(peer);
  Finish(play, SIGTERM);
  Sleep(300);
  Finish(rec, SIGTERM);

  std::smatch clock_match;
  const std::string said = Slurp(log);
  if (!std::regex_search(said, clock_match,
                         std::regex("--clock ([0-9]+) [^\n]*'" + std::string(kLinkPiece) + "'"))) {
    std::fprintf(stderr, "vordel-bench-sync: vordel played nothing on Link:\n%s", said.c_str());
    return "";
  }
  // The piece as vordel made it, after the one it composed at its start.
  std::ostringstream quiet;
  vordel::CarriedState carried;
  carried.rest_planner_started =
      said.find("--rest-planner-started --dump '" + std::string(kLinkPiece)) != std::string::npos;
  const vordel::Piece piece = vordel::ComposePiece(vordel::PieceParameters::Parse(kLinkPiece),
                                                   std::stoll(clock_match[1]), carried, 0, quiet)
                                  ->piece;
  const vordel::Schedule schedule = vordel::BuildSchedule(piece);
  const double own_tempo = schedule.beats.points.front().tempo;
  std::vector<double> ticks;  // of the note starts, in the order they are sent
  for (const vordel::ScheduledMessage& m : schedule.messages) {
    if ((m.message.bytes[0] & 0xF0) == 0x90 && m.message.bytes[2] != 0) {
      ticks.push_back(static_cast<double>(m.tick));
    }
  }
  std::vector<double> onsets;  // Link's clock, microseconds
  for (const Arrival& a : ReadDump(dump)) {
    if (a.bytes.size() == 8 && a.bytes[0] == '9' && a.bytes.substr(6) != "00") {
      onsets.push_back(a.usecs - (offset_before + offset_after) / 2);
    }
  }
  if (onsets.empty() || onsets.size() != ticks.size()) {
    std::fprintf(stderr, "vordel-bench-sync: %zu note starts at the recorder, %zu in the piece\n",
                 onsets.size(), ticks.size());
    return "";
  }
  // The bar the piece began on: the nearest to its first note.
  const double start = std::round(before.BeatAt(onsets.front()) / kQuantum) * kQuantum;
  std::vector<double> deviations;
  std::vector<double> beats;
  for (std::size_t i = 0; i < onsets.size(); ++i) {
    const double beat = start + ticks[i] * own_tempo / 60000.0;
    const Line& line = beat < change_beat ? before : after;
    deviations.push_back(onsets[i] - line.TimeAt(beat));
    beats.push_back(beat);
  }
  const vordel::bench::Result r =
      vordel::bench::Measure(deviations, static_cast<long>(ticks.size()));
  // From the change on, the first note start after which every one is within a millisecond.
  const double latency_us = r.latency_ms * 1000;
  double followed = -1;
  for (std::size_t i = onsets.size(); i-- > 0 && beats[i] >= change_beat;) {
    if (std::fabs(deviations[i] - latency_us) > 1000) {
      break;
    }
    followed = beats[i] - change_beat;
  }
  // The tempo vordel played at after the change: the slope of the notes' beats over their
  // arrival times (least squares).
  double n = 0, st = 0, sb = 0, stt = 0, stb = 0;
  for (std::size_t i = 0; i < onsets.size(); ++i) {
    if (beats[i] >= change_beat) {
      const double t = (onsets[i] - onsets.back()) / 60e6;  // minutes
      n += 1;
      st += t;
      sb += beats[i];
      stt += t * t;
      stb += t * beats[i];
    }
  }
  const double tempo_after = n > 1 ? (n * stb - st * sb) / (n * stt - st * st) : 0;
  char fields[240];
  std::snprintf(fields, sizeof fields,
                "phase_p99_ms=%.4f phase_max_ms=%.4f phase_latency_ms=%.3f notes=%zu "
                "tempo_after=%.3f followed_in_beats=%.2f ",
                r.p99_ms, r.max_ms, r.latency_ms, onsets.size(), tempo_after, followed);
  return fields;
}

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
  const std::string no_network = PrivateNetwork();
  char dir_template[] = "/tmp/vordel-bench-sync-XXXXXX";
  const std::string dir = mkdtemp(dir_template);
  // Each run's instance numbers and journal in folders of its own.
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  setenv("XDG_STATE_HOME", dir.c_str(), 1);   // NOLINT(concurrency-mt-unsafe)
  Server server(256);
  Busy busy;
  std::string link_fields = "link=skipped ";
  if (no_network.empty()) {
    link_fields = LinkPart(vordel, recorder, dir);
    if (link_fields.empty()) {
      return 1;
    }
  } else {
    std::fprintf(stderr, "vordel-bench-sync: Link skipped: %s\n", no_network.c_str());
  }
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
      "sync %sclock_p99_ms=%.4f clock_max_ms=%.4f clocks=%zu expected=%ld beats=%.2f "
      "xruns=%d\n",
      link_fields.c_str(), r.p99_ms, r.max_ms, clocks.size(), expected, map.points.back().beat,
      xruns);
  std::filesystem::remove_all(dir);
  return clocks.size() == static_cast<std::size_t>(expected) ? 0 : 1;
}
