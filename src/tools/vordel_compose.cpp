// vordel-compose: builds the piece of a parameter string and prints it, exports it, or plays it.
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/options.h"
#include "cli/values.h"
#include "composer/explain.h"
#include "composer/musical_object.h"
#include "composer/parameter_string.h"
#include "composer/piece_builder.h"
#include "export/audio_render.h"
#include "export/midi_file.h"
#include "export/score.h"
#include "platform/clock.h"
#include "platform/instance.h"
#include "platform/out_of_memory.h"
#include "platform/signals.h"
#include "sequence/schedule.h"
#include "tools/terminal_play.h"
#include "vordel_version.h"

namespace {

void Dump(const vordel::Piece& piece) {
  int k = 1;
  for (const vordel::PieceSection& section : piece.sections()) {
    std::cout << "object " << k++ << " onset " << section.onset << " end " << section.end << '\n';
    for (const vordel::ComposedEvent& e : section.events) {
      std::cout << ">EV" << e.channel << ',' << e.key << ',' << e.velocity << ',' << e.time << ','
                << e.length << '\n';
    }
  }
  std::cout << "total " << piece.total_ms() << std::endl;
}

void Summary(const vordel::Piece& piece) {
  std::cout << "objects: " << piece.sections().size() << '\n';
  for (const vordel::PieceSection& section : piece.sections()) {
    const vordel::SectionParameters& p = section.parameters;
    std::cout << "  #" << section.number << ' ' << vordel::FunktionName(section.function) << " ("
              << p.p1 << ' ' << p.p2 << ' ' << p.p3 << ' ' << p.p4 << ") tempo " << section.tempo
              << ", " << section.events.size() << " events, onset " << section.onset << " ms, end "
              << section.end << " ms\n";
  }
  std::cout << "events: " << piece.EventCount() << '\n';
  std::cout << "total time: " << piece.total_ms() << " ms" << std::endl;
}

std::string Db(double v, const char* unit) {
  if (!std::isfinite(v)) {
    return std::string("-inf ") + unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", v, unit);
  return text;
}

std::string FormatDb(double v) {
  char text[16];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

int Render(const vordel::Schedule& schedule, const std::string& path,
           const vordel::RenderOptions& options) {
  const bool tty = isatty(STDERR_FILENO) != 0;
  auto bar = [tty](std::int64_t done, std::int64_t total) {
    if (!tty) {
      return;
    }
    const int width = 40;
    const int filled = total > 0 ? static_cast<int>(done * width / total) : width;
    std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled,
                 "########################################", width - filled, "",
                 total > 0 ? static_cast<int>(done * 100 / total) : 100);
    std::fflush(stderr);
  };
  const vordel::RenderResult r = vordel::RenderAudio(schedule, path, options, bar);
  if (tty) {
    std::fputc('\n', stderr);
  }
  if (!r.ok) {
    std::cerr << "vordel-compose: " << r.error << std::endl;
    return 1;
  }
  std::fprintf(stderr, "wrote %s: %.1f s, peak %s, loudness %s (gain %s)", path.c_str(),
               static_cast<double>(r.frames) / vordel::kRenderSampleRate,
               Db(r.peak_dbfs, "dBFS").c_str(), Db(r.loudness_lufs, "LUFS").c_str(),
               Db(r.gain_db, "dB").c_str());
  if (r.clipped_samples > 0) {
    std::fprintf(stderr, "; %lld samples clipped: lower --gain",
                 static_cast<long long>(r.clipped_samples));
  }
  std::fputc('\n', stderr);
  return 0;
}

int Main(int argc, char** argv) {
  vordel::InstallOutOfMemoryHandler();
  // Before any thread starts: the termination signals become events of the play loop.
  vordel::TerminationSignals stop_signals;
  // A reader that goes away (vordel --headless | head) must not end the program mid-note: the
  // write fails instead. Every thread blocks SIGPIPE, so one that another process sends still
  // waits for the main loop like SIGTERM; this only covers a library thread that unblocks it.
  std::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);

  CLI::App app{
      "Builds the piece of a parameter string and prints a summary of it, says what its numbers "
      "did, prints its events, writes it as a Standard MIDI File, a score or a rendering, or "
      "plays it in real time.",
      "vordel-compose"};
  std::string clock_text;
  bool dump = false;
  bool explain = false;
  bool verbose = false;
  bool play = false;
  bool rest_planner_started = false;
  std::string midi_file;
  std::string score_file;
  std::string time_signature = "4/4";
  std::string grid = "16";
  std::string wav_file;
  std::string render_file;
  std::optional<std::string> gain_text;
  std::string text;
  vordel::OutputRequest request;
  const char* const kComposing = "Composing";
  const char* const kExport = "Export";
  const char* const kPlaying = "Playing";
  app.add_option("-c,--clock", clock_text,
                 "pin the composer's millisecond clock to MS, so the same string and MS always "
                 "give the same piece (default: 0)")
      ->type_name("MS")
      ->group(kComposing);
  app.add_flag("--rest-planner-started", rest_planner_started,
               "build as the program does after an earlier piece has used the rest planner (the "
               "program prints this option when it applies)")
      ->group(kComposing);
  app.add_flag("-e,--explain", explain,
               "say in words what each number of the string was read as and what it made, with a "
               "warning for every number outside its useful range")
      ->group(kComposing);
  app.add_flag("-d,--dump", dump,
               "print every section's onset and end and all its events, then the total")
      ->group(kComposing);
  app.add_flag("-v,--verbose", verbose, "print the composer's own lines on standard error")
      ->group(kComposing);
  app.add_option("-m,--midi", midi_file, "write the piece as a Standard MIDI File")
      ->type_name("FILE")
      ->group(kExport);
  app.add_option("-s,--score", score_file,
                 "write the piece's score as MusicXML 4.0, for notation programs (MuseScore, "
                 "Dorico, Finale, Sibelius, LilyPond through musicxml2ly)")
      ->type_name("FILE")
      ->group(kExport);
  app.add_option("--time-signature", time_signature, "the score's time signature (default: 4/4)")
      ->type_name("N/D")
      ->group(kExport);
  app.add_option("--grid", grid,
                 "the score's grid for what has no written value (a voice on a tempo curve of "
                 "its own): sixteenths (16) or thirty-seconds (32) of a whole note (default: 16)")
      ->type_name("16|32")
      ->group(kExport);
  app.add_option("-r,--render", render_file,
                 "render the piece with the built-in synthesizer; the format follows the "
                 "extension: .wav, .flac or .ogg")
      ->type_name("FILE")
      ->group(kExport);
  app.add_option("--wav", wav_file, "the same as --render")->type_name("FILE")->group(kExport);
  app.add_option("--gain", gain_text,
                 "render with this fixed gain (-60 to 40) instead of normalising the peak to -1 "
                 "dBFS")
      ->type_name("DB")
      ->group(kExport);
  app.add_flag("--play", play, "play the piece in real time (Ctrl-C stops it)")->group(kPlaying);
  vordel::AddOutputOptions(app, request);
  app.add_option("string", text, "the parameter string (in quotes)");
  app.set_help_flag("-h,--help", "show this help and exit")->group("Help");
  app.set_version_flag("-V,--version", std::string("vordel-compose ") + VORDEL_VERSION,
                       "show the version and exit")
      ->group("Help");
  vordel::HelpText help;
  help.usage = "vordel-compose [OPTION]... \"PARAMETER STRING\"";
  help.summary =
      app.get_description() +
      " A parameter string has five numbers for each section: function (0 Statement, 1 "
      "Preparation, 2 Extension, 3 Antecedent, 4 Consequent), register (1-100, low to high), "
      "velocity base (1-47), tempo (1-100, fast to slow) and length (0 and up). Put it in quotes.";
  help.groups = {kComposing, kExport, kPlaying, vordel::kOutputGroup, "Help"};
  help.examples = {"vordel-compose --explain '0 80 40 30 25 1 50 30 23 20'   # what the numbers do",
                   "vordel-compose --play '0 60 40 10 15'                    # hear a short piece",
                   "vordel-compose --score piece.musicxml '0 80 40 30 25'    # its score",
                   "vordel-compose --clock 1843 --render piece.flac '3 50 40 50 10'"};
  help.numbers_hint = "a parameter string is one argument: put it in quotes, as in vordel-compose";

  const std::vector<std::string> args(argv + 1, argv + argc);
  if (const int code = vordel::ParseCommandLine(app, args, help); code >= 0) {
    return code;
  }
  auto usage = [](const std::string& m) { return vordel::UsageError("vordel-compose", m); };
  std::optional<std::uint32_t> clock;
  if (app.count("--clock") != 0) {
    clock = vordel::ParseClockValue(clock_text);
    if (!clock) {
      return usage("--clock takes a whole number of milliseconds, not '" + clock_text + "'");
    }
  }
  if (app.count("string") == 0) {
    return usage("missing the parameter string");
  }
  if (!wav_file.empty() && !render_file.empty()) {
    return usage("--wav and --render name the same file; give one");
  }
  if (!wav_file.empty()) {
    render_file = wav_file;
  }
  if (std::string problem; !vordel::CheckOutputOptions(request, &problem)) {
    return usage(problem);
  }
  if (play && (dump || !midi_file.empty() || !render_file.empty() || !score_file.empty())) {
    return usage("--play goes alone, without --dump, --midi, --render or --score");
  }
  vordel::ScoreOptions score_options;
  const auto meter = vordel::ParseTimeSignature(time_signature);
  if (!meter) {
    return usage(
        "--time-signature takes 1 to 32 beats of a whole, half, quarter, eighth or sixteenth "
        "note, like 3/4, not '" +
        time_signature + "'");
  }
  std::tie(score_options.beats, score_options.beat_type) = *meter;
  const auto grid_value = vordel::ParseWholeNumber(grid, 16, 32);
  if (!grid_value || (*grid_value != 16 && *grid_value != 32)) {
    return usage("--grid takes 16 or 32, not '" + grid + "'");
  }
  score_options.grid = static_cast<int>(*grid_value);
  const bool output_asked =
      request.choice != "auto" || !request.port.empty() || !request.audio_driver.empty();
  if (!play && output_asked) {
    return usage("--output, --port, --record and --audio-driver go with --play");
  }
  // Each export only ever writes a file named for its format, never over another kind of file.
  if (std::string problem;
      (!render_file.empty() && !vordel::CheckAudioFileName(render_file, &problem)) ||
      (!score_file.empty() && !vordel::CheckScoreFileName(score_file, &problem)) ||
      (!midi_file.empty() && !vordel::CheckMidiFileName(midi_file, &problem))) {
    return usage(problem);
  }
  if (gain_text && render_file.empty()) {
    return usage("--gain goes with --render");
  }
  std::optional<double> gain_db;
  if (gain_text) {
    gain_db = vordel::ParseDecimal(*gain_text, vordel::kMinGainDb, vordel::kMaxGainDb);
    if (!gain_db) {
      return usage("--gain takes a number of dB from " + FormatDb(vordel::kMinGainDb) + " to " +
                   FormatDb(vordel::kMaxGainDb) + ", not '" + *gain_text + "'");
    }
  }
  if (explain && (dump || play)) {
    return usage("--explain goes without --dump and --play");
  }
  // The piece's own lines go to standard output; warnings, refusals and (with --verbose) the
  // composer's diagnostics to standard error.
  const vordel::PieceParameters parameters = vordel::PieceParameters::Parse(text);
  if (!parameters.accepted()) {
    if (explain) {
      std::cout << vordel::ExplainParameters(parameters, vordel::Piece()) << std::flush;
    }
    std::cerr << "vordel-compose: " << parameters.refusal() << std::endl;
    return 1;
  }
  if (!explain) {
    for (const std::string& warning : vordel::ParameterWarnings(parameters)) {
      std::cerr << "vordel-compose: warning: " << warning << '\n';
    }
  }
  if (!play) {
    // Nothing sounds from here on: a termination signal ends the process at once and removes
    // the file being written.
    stop_signals.EndProcessOnSignal();
  }
  // The tool composes as it starts: its clock reads 0 then, and always does here, so that a
  // string without --clock gives the same piece on a busy machine too.
  const std::int64_t clock_ms = clock ? static_cast<std::int64_t>(*clock) : 0;
  std::ostringstream quiet;
  std::ostream& diagnostics = verbose ? static_cast<std::ostream&>(std::cerr) : quiet;
  const vordel::Piece piece =
      vordel::ComposePiece(parameters, clock_ms, {rest_planner_started}, 0, diagnostics)->piece;
  if (play) {
    request.name = vordel::InstanceName(vordel::ClaimInstanceNumber());
    return vordel::PlayFromTerminal(piece, request, stop_signals, verbose);
  }
  if (explain) {
    std::cout << vordel::ExplainParameters(parameters, piece);
  } else if (dump) {
    Dump(piece);
  } else if (midi_file.empty() && render_file.empty() && score_file.empty()) {
    Summary(piece);
  }
  std::cout.flush();
  if (!score_file.empty()) {
    std::string error;
    score_options.reproduce = vordel::ScoreCommand(piece, score_file, score_options);
    if (!vordel::WriteScore(piece, score_file, score_options, &error)) {
      std::cerr << "vordel-compose: " << error << std::endl;
      return 1;
    }
  }
  if (midi_file.empty() && render_file.empty()) {
    return 0;
  }
  const vordel::Schedule schedule = vordel::BuildSchedule(piece);
  if (!midi_file.empty()) {
    std::string error;
    if (!vordel::WriteStandardMidiFile(schedule, midi_file, &error)) {
      std::cerr << "vordel-compose: " << error << std::endl;
      return 1;
    }
  }
  if (!render_file.empty()) {
    vordel::RenderOptions options;
    options.soundfont = request.soundfont;
    options.gain_db = gain_db;
    return Render(schedule, render_file, options);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    // Nothing is expected to throw this far; if it does, say what and fail.
    std::cerr << "vordel-compose: " << e.what() << std::endl;
    return 1;
  }
}
