// vordel: the desktop program, or with --headless the same without a window.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/display.h"
#include "app/headless.h"
#include "app/main_window.h"
#include "cli/options.h"
#include "composer/parameter_string.h"
#include "outputs/midi_input.h"
#include "outputs/table.h"
#include "platform/instance.h"
#include "platform/out_of_memory.h"
#include "platform/signals.h"

namespace {

// The window framework's own options (-platform xcb, -display :1 ...) go to it untouched.
bool IsFrameworkOption(const std::string& a, bool* takes_value) {
  static const std::set<std::string> with_value = {"-platform",
                                                   "-platformpluginpath",
                                                   "-platformtheme",
                                                   "-plugin",
                                                   "-qwindowgeometry",
                                                   "-qwindowtitle",
                                                   "-qwindowicon",
                                                   "-display",
                                                   "-geometry",
                                                   "-style",
                                                   "-stylesheet",
                                                   "-session",
                                                   "-name",
                                                   "-title",
                                                   "-visual",
                                                   "-ncols",
                                                   "-cmap",
                                                   "-qmljsdebugger"};
  static const std::set<std::string> flags = {"-reverse", "-sync", "-widgetcount", "-nograb",
                                              "-dograb"};
  *takes_value = with_value.count(a) != 0;
  return *takes_value || flags.count(a) != 0;
}

int Main(int argc, char** argv) {
  vordel::InstallOutOfMemoryHandler();
  // Before any thread starts: the termination signals become events of the main loop.
  vordel::TerminationSignals stop_signals;
  // A reader that goes away (vordel --headless | head) must not end the program mid-note: the
  // write fails instead. Every thread blocks SIGPIPE, so one that another process sends still
  // waits for the main loop like SIGTERM; this only covers a library thread that unblocks it.
  std::signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> ours;
  std::vector<char*> framework = {argv[0]};
  bool platform_given = false;
  for (int i = 1; i < argc; ++i) {
    bool takes_value = false;
    if (IsFrameworkOption(argv[i], &takes_value)) {
      framework.push_back(argv[i]);
      platform_given = platform_given || std::strcmp(argv[i], "-platform") == 0;
      if (takes_value && i + 1 < argc) {
        framework.push_back(argv[++i]);
      }
    } else {
      ours.emplace_back(argv[i]);
    }
  }
  vordel::AppOptions options;
  CLI::App app{"", "vordel"};
  vordel::AddAppOptions(app, options);
  if (const int code = vordel::ParseCommandLine(app, ours, vordel::AppHelp(app)); code >= 0) {
    return code;
  }
  if (std::string problem; !vordel::CheckAppOptions(options, &problem)) {
    return vordel::UsageError("vordel", problem);
  }
  if (options.list_outputs || options.list_inputs) {
    if (options.list_outputs) {
      std::cout << vordel::DescribeOutputChoices(options.output);
    }
    if (options.list_inputs) {
      const std::unique_ptr<vordel::MidiInput> input = vordel::OpenMidiInput(options.output.name);
      const std::vector<std::string> sources = input->Sources();
      std::cout << "MIDI input: " << input->Describe() << "\n";
      for (const std::string& source : sources) {
        std::cout << "  " << source << "\n";
      }
      if (sources.empty()) {
        std::cout << "  (no MIDI source to connect)\n";
      }
    }
    std::cout << std::flush;
    return 0;
  }
  if (!options.piece.empty()) {
    // A string that makes no piece is said and nothing starts, as with vordel-compose.
    const vordel::PieceParameters given = vordel::PieceParameters::Parse(options.piece);
    if (!given.accepted()) {
      std::cerr << "vordel: " << given.refusal() << std::endl;
      return 1;
    }
  }
  const int instance = vordel::ClaimInstanceNumber();
  options.output.name = vordel::InstanceName(instance);
  if (instance > 1) {
    std::cerr << "vordel: another vordel runs here; this one is " << options.output.name
              << std::endl;
  }
  if (options.headless) {
    return vordel::RunHeadless(options, stop_signals);
  }
  vordel::DisplayChoice display;
  if (!platform_given) {
    display = vordel::ChooseDisplay(vordel::ReadDisplayEnvironment(), options.osc.port);
  }
  if (!display.message.empty()) {
    std::cerr << display.message << std::endl;
  }
  if (!display.can_open) {
    return 2;
  }
  if (!display.qt_platform.empty()) {
    setenv("QT_QPA_PLATFORM", display.qt_platform.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  }
  if (!display.display.empty()) {
    setenv("DISPLAY", display.display.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
  }
  int framework_argc = static_cast<int>(framework.size());
  framework.push_back(nullptr);
  return vordel::OwlMain(framework_argc, framework.data(), options, stop_signals);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    // Nothing is expected to throw this far; if it does, say what and fail.
    std::cerr << "vordel: " << e.what() << std::endl;
    return 1;
  }
}
