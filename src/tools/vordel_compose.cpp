// vordel-compose: builds the piece of a parameter string and prints it.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "chances/random_source.h"
#include "composer/composition.h"
#include "composer/out_of_memory.h"
#include "composer/piece_builder.h"
#include "midi/offline_render.h"
#include "tools/compose_options.h"
#include "tools/terminal_player.h"
#include "vordel_version.h"

namespace {

// A composition that is only printed: there is no instrument to prepare.
class PrintedPiece : public vordel::Composition {
 public:
  PrintedPiece() : Composition("vordel-compose", "", "", 0, 5) {}
  void PrepareEnsemble() override {}
};

void Dump(PrintedPiece& piece) {
  int k = 1;
  for (auto& obj : piece.object_list) {
    std::cout << "object " << k++ << " onset " << obj->GetMusObjOnsetTime() << " end "
              << obj->GetMusObjDuration() << '\n';
    for (const auto& ev : obj->event_list) {
      ev->show();
    }
  }
  std::cout << "total " << piece.Composition_TotalTime << std::endl;
}

void Summary(PrintedPiece& piece) {
  std::cout << "objects: " << piece.object_list.size() << '\n';
  int k = 1;
  std::size_t events = 0;
  for (auto& obj : piece.object_list) {
    std::cout << "  #" << k++ << ' ' << vordel::FunktionName(obj->GetFunktion()) << " ("
              << obj->GetP1() << ' ' << obj->GetP2() << ' ' << obj->GetP3() << ' ' << obj->GetP4()
              << ") tempo " << obj->GetAlgParm(2) << ", " << obj->event_list.size()
              << " events, onset " << obj->GetMusObjOnsetTime() << " ms, end "
              << obj->GetMusObjDuration() << " ms\n";
    events += obj->event_list.size();
  }
  std::cout << "events: " << events << '\n';
  std::cout << "total time: " << piece.Composition_TotalTime << " ms" << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  vordel::InstallOutOfMemoryHandler();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const vordel::ComposeParse parsed = vordel::ParseComposeOptions(args);
  if (!parsed.options) {
    std::cerr << "vordel-compose: " << parsed.error << "\n"
              << "Try 'vordel-compose --help' for more information." << std::endl;
    return 2;
  }
  const vordel::ComposeOptions& o = *parsed.options;
  if (o.help) {
    std::cout << vordel::kComposeUsage;
    return 0;
  }
  if (o.version) {
    std::cout << "vordel-compose " << VORDEL_VERSION << std::endl;
    return 0;
  }
  if (o.clock) {
    vordel::PinClock(static_cast<std::int64_t>(*o.clock));
  }
  if (o.rest_planner_started) {
    vordel::MarkIntroRestPlannerStarted();
  }
  if (o.play) {
    vordel::OutputRequest request;
    vordel::ParseOutputChoice(o.output, &request.choice);
    request.port = o.port;
    return vordel::PlayFromTerminal(o.parameter_string, request);
  }
  PrintedPiece piece;
  const vordel::BuildResult result = vordel::BuildPiece(piece, o.parameter_string, std::cout);
  if (result == vordel::BuildResult::kTooManyEvents) {
    std::cerr << "vordel-compose: the parameter string asks for too many events (at most "
              << vordel::kMaxPieceEvents << ")" << std::endl;
    return 1;
  }
  if (o.dump) {
    Dump(piece);
  } else if (o.midi_file.empty() && o.wav_file.empty()) {
    Summary(piece);
  }
  std::cout.flush();
  if (!o.midi_file.empty()) {
    std::string error;
    if (!piece.SaveAsMIDIFile(o.midi_file, &error)) {
      std::cerr << "vordel-compose: " << error << std::endl;
      return 1;
    }
  }
  if (!o.wav_file.empty()) {
    const bool tty = isatty(STDERR_FILENO) != 0;
    auto bar = [tty](std::int64_t done, std::int64_t total) {
      if (!tty)
        return;
      const int width = 40;
      const int filled = total > 0 ? static_cast<int>(done * width / total) : width;
      std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled,
                   "########################################", width - filled, "",
                   total > 0 ? static_cast<int>(done * 100 / total) : 100);
      std::fflush(stderr);
    };
    const vordel::RenderResult r = vordel::RenderWav(piece, o.wav_file, "", bar);
    if (tty)
      std::fputc('\n', stderr);
    if (!r.ok) {
      std::cerr << "vordel-compose: " << r.error << std::endl;
      return 1;
    }
  }
  return 0;
}
