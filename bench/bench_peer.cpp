// How close to its due time each message arrives at a real peer. A JACK dummy server (48 kHz)
// with the project's recording client, one core kept busy, and one fixed piece of 576 note
// messages played by vordel-compose --play into the recorder, which stamps every arrival in
// JACK's microsecond clock. Each arrival is compared with its due time (the first tick's due
// time, printed by vordel-compose, plus the event's tick); the median of the differences is the
// latency, and what is left after removing it the error. At periods of 64 and 256 frames, for
// the native JACK output and for JACK through RtMidi. Then the built-in synthesizer, driven
// through FluidSynth's JACK audio driver into the same kind of server, plays single notes whose
// onsets are found in its recorded audio (at a period of 256 frames): scheduled on its sample
// clock and, for comparison, handed over as they come. The server's own count of cycles that did
// not finish in time (xruns) is reported beside each figure. Ends with one line:
//   peer p64_p99_ms=X p64_max_ms=X p64_lost=N p64_latency_ms=X p256_p99_ms=X p256_max_ms=X
//   p256_lost=N p256_latency_ms=X rtmidi_p64_p99_ms=X rtmidi_p256_p99_ms=X
//   synth_onset_p99_ms=X synth_old_onset_p99_ms=X
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "composer/piece_builder.h"
#include "control/session.h"
#include "jack_bench.h"
#include "outputs/table.h"
#include "platform/clock.h"
#include "platform/timer.h"
#include "sequence/schedule.h"

namespace {

constexpr const char* kPiece = "0 50 40 1 0 3 60 60 1 0";
// Single notes for the synthesizer, a quarter of a second apart.
constexpr int kNotes = 160;

using namespace vordel::bench;  // NOLINT(google-build-using-namespace)

// The note messages of the piece, by tick, as the player sends them.
std::vector<vordel::ScheduledMessage> NoteMessages() {
  std::ostringstream quiet;
  const vordel::Piece piece =
      vordel::ComposePiece(vordel::PieceParameters::Parse(kPiece), 0, {}, 0, quiet)->piece;
  return vordel::BuildSchedule(piece).messages;
}

Result PlayInto(int period, const std::string& output, const std::string& compose,
                const std::string& recorder, const std::string& dir) {
  Server server(period);
  const double jack_minus_mono = Server::JackMinusMonotonicUs();
  const std::string rec_out = dir + "/recorded-" + output + std::to_string(period) + ".txt";
  const pid_t rec = Spawn({recorder, "--name", "midi-recorder"}, rec_out, "/dev/null");
  Sleep(500);
  const std::string play_err = dir + "/play-" + output + std::to_string(period) + ".txt";
  {
    Busy busy;
    const pid_t play = Spawn({compose, "--play", "--verbose", "--output", output, "--port",
                              "midi-recorder", "--clock", "0", kPiece},
                             "/dev/null", play_err);
    Finish(play, 0);
  }
  Sleep(300);
  Finish(rec, SIGTERM);
  // The first tick's due time, from the line vordel-compose --verbose closes with.
  const std::string err = Slurp(play_err);
  const std::size_t at = err.find("first tick due at ");
  const double first_us = at == std::string::npos ? 0 : std::stod(err.substr(at + 18)) * 1e6;
  // Each arriving note message against the next expected one with the same bytes: a message
  // lost on the way is skipped over, not matched with its neighbour.
  const std::vector<vordel::ScheduledMessage> expected = NoteMessages();
  std::vector<double> deviations;
  std::ifstream in(rec_out);
  std::string line;
  std::size_t next = 0;
  while (std::getline(in, line)) {
    unsigned long long us = 0;
    unsigned b[3] = {0, 0, 0};
    if (std::sscanf(line.c_str(), "%llu: %x %x %x", &us, &b[0], &b[1], &b[2]) < 2 ||
        ((b[0] & 0xF0) != 0x80 && (b[0] & 0xF0) != 0x90)) {
      continue;
    }
    for (std::size_t k = next; k < expected.size() && k < next + 16; ++k) {
      const vordel::MidiMessage& m = expected[k].message;
      if (m.bytes[0] == b[0] && m.bytes[1] == b[1] && m.bytes[2] == b[2]) {
        const double due_us =
            first_us + static_cast<double>(expected[k].tick) * 1000.0 + jack_minus_mono;
        deviations.push_back(static_cast<double>(us) - due_us);
        next = k + 1;
        break;
      }
    }
  }
  Result r = Measure(deviations, static_cast<long>(expected.size()));
  r.xruns = server.Xruns();
  return r;
}

// Single notes on the built-in synthesizer through FluidSynth's JACK audio driver; their onsets
// located in the recorded audio.
double SynthOnsets(bool scheduled, const std::string& recorder, const std::string& dir, int* found,
                   int* xruns) {
  Server server(256);
  const double jack_minus_mono = Server::JackMinusMonotonicUs();
  vordel::OutputRequest request;
  request.choice = "synth";
  request.audio_driver = "jack";
  request.name = "vordel-bench";
  request.scheduled_synth = scheduled;
  vordel::OpenedOutput opened = vordel::OpenOutput(request);
  if (!opened.output || opened.output->Status() != vordel::kMidiOk) {
    std::fprintf(stderr, "the synthesizer did not open: %s\n",
                 opened.output ? opened.output->Describe().c_str() : opened.error.c_str());
    return -1;
  }
  const std::string audio = dir + std::string("/synth-") + (scheduled ? "new" : "old") + ".raw";
  const pid_t rec = Spawn({recorder, "--name", "audio-recorder", "--audio", audio, "--left",
                           "vordel-bench-synth:left", "--right", "vordel-bench-synth:right"},
                          "/dev/null", "/dev/null");
  Sleep(800);
  vordel::ThreadTimerService timer;
  std::ostringstream quiet;
  vordel::Session session(std::move(opened.output), nullptr, timer, nullptr);
  // Short percussive notes (woodblock), loud, a quarter of a second apart.
  auto schedule = std::make_shared<vordel::Schedule>();
  schedule->ensemble = {};

  for (int i = 0; i < kNotes; ++i) {
    const std::int64_t t = 300 + i * 250;
    schedule->messages.push_back(
        {t, vordel::NoteMessage(1, static_cast<unsigned char>(60 + i % 12), 120)});
    schedule->messages.push_back(
        {t + 60, vordel::NoteMessage(1, static_cast<unsigned char>(60 + i % 12), 0)});
  }
  schedule->end_tick = 300 + kNotes * 250 + 500;
  schedule->object_end_ticks = {schedule->end_tick};
  vordel::Transport& transport = session.transport();
  transport.midi().Send(vordel::ProgramMessage(1, 116));
  transport.midi().Send(vordel::ControlMessage(1, 7, 127));
  transport.midi().Commit();
  vordel::Cue cue;
  cue.schedule = schedule;
  transport.Load(cue);
  {
    Busy busy;
    transport.Play();
    while (session.player().Running() != 0) {
      Sleep(50);
    }
  }
  const double first_us = static_cast<double>(session.player().FirstTickDueNanos()) / 1000.0;
  Sleep(500);
  Finish(rec, SIGTERM);
  session.Shutdown("end");

  // The recording, cycle by cycle: each frame's time is its cycle's start plus its place in it.
  std::ifstream in(audio, std::ios::binary);
  std::vector<double> onsets_us;
  std::size_t quiet_for = 1 << 30;
  std::uint64_t cycle_usecs = 0;
  std::uint32_t frames = 0;
  float period_usecs = 0;
  const std::size_t quiet_frames = 48000 / 25;  // 40 ms of quiet before an onset
  while (in.read(reinterpret_cast<char*>(&cycle_usecs), sizeof cycle_usecs) &&
         in.read(reinterpret_cast<char*>(&frames), sizeof frames) &&
         in.read(reinterpret_cast<char*>(&period_usecs), sizeof period_usecs)) {
    std::vector<float> f(2 * static_cast<std::size_t>(frames));
    in.read(reinterpret_cast<char*>(f.data()),
            static_cast<std::streamsize>(f.size() * sizeof(float)));
    for (std::uint32_t i = 0; i < frames; ++i) {
      const std::size_t left = std::size_t{2} * i;
      const float a = std::max(std::fabs(f[left]), std::fabs(f[left + 1]));
      if (a > 0.02f) {
        if (quiet_for >= quiet_frames) {
          onsets_us.push_back(static_cast<double>(cycle_usecs) +
                              static_cast<double>(i) * period_usecs / frames);
        }
        quiet_for = 0;
      } else if (a < 0.002f) {
        ++quiet_for;
      }
    }
  }
  *found = static_cast<int>(onsets_us.size());
  *xruns = server.Xruns();
  std::vector<double> deviations;
  for (std::size_t i = 0; i < onsets_us.size() && i < static_cast<std::size_t>(kNotes); ++i) {
    const double due =
        first_us + (300.0 + 250.0 * static_cast<double>(i)) * 1000.0 + jack_minus_mono;
    deviations.push_back(onsets_us[i] - due);
  }
  return Measure(deviations, kNotes).p99_ms;
}

void Quiet(const char*) {}

}  // namespace

int main(int argc, char** argv) {
  jack_set_error_function(&Quiet);
  jack_set_info_function(&Quiet);
  if (argc < 3) {
    std::fprintf(stderr, "usage: vordel-bench-peer VORDEL-COMPOSE RECORDER\n");
    return 2;
  }
  const std::string compose = argv[1];
  const std::string recorder = argv[2];
  char dir_template[] = "/tmp/vordel-bench-peer-XXXXXX";
  const std::string dir = mkdtemp(dir_template);
  std::printf("piece: %s (%zu note messages), one core kept busy\n", kPiece, NoteMessages().size());
  Result r[2][2];  // output (native, RtMidi) x period (64, 256)
  const int periods[2] = {64, 256};
  const char* outputs[2] = {"jack", "port-rtmidi"};
  for (int o = 0; o < 2; ++o) {
    for (int p = 0; p < 2; ++p) {
      r[o][p] = PlayInto(periods[p], outputs[o], compose, recorder, dir);
      std::printf(
          "%-12s period %3d: %4ld arrived, %ld lost, latency %6.3f ms, error p99 %6.3f ms, "
          "max %6.3f ms; the server reported %d xruns\n",
          outputs[o], periods[p], r[o][p].count, r[o][p].lost, r[o][p].latency_ms, r[o][p].p99_ms,
          r[o][p].max_ms, r[o][p].xruns);
      std::fflush(stdout);
    }
  }
  int found[2] = {0, 0};
  int xruns[2] = {0, 0};
  const double synth_new = SynthOnsets(true, recorder, dir, &found[0], &xruns[0]);
  const double synth_old = SynthOnsets(false, recorder, dir, &found[1], &xruns[1]);
  std::printf(
      "synthesizer, period 256: onsets found %d and %d of %d; error p99 %.3f ms scheduled "
      "on its sample clock, %.3f ms handed over as they come; %d and %d xruns\n",
      found[0], found[1], kNotes, synth_new, synth_old, xruns[0], xruns[1]);
  std::printf(
      "peer p64_p99_ms=%.3f p64_max_ms=%.3f p64_lost=%ld p64_latency_ms=%.3f p256_p99_ms=%.3f "
      "p256_max_ms=%.3f p256_lost=%ld p256_latency_ms=%.3f rtmidi_p64_p99_ms=%.3f "
      "rtmidi_p256_p99_ms=%.3f synth_onset_p99_ms=%.3f synth_old_onset_p99_ms=%.3f\n",
      r[0][0].p99_ms, r[0][0].max_ms, r[0][0].lost, r[0][0].latency_ms, r[0][1].p99_ms,
      r[0][1].max_ms, r[0][1].lost, r[0][1].latency_ms, r[1][0].p99_ms, r[1][1].p99_ms, synth_new,
      synth_old);
  return 0;
}
