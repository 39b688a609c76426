// vordel: the desktop program.
#include <cstring>
#include <iostream>

#include "app/app_options.h"
#include "app/main_window.h"
#include "composer/out_of_memory.h"
#include "vordel_version.h"

int main(int argc, char** argv) {
  vordel::InstallOutOfMemoryHandler();
  // --help and --version need no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << vordel::kAppUsage;
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "vordel " << VORDEL_VERSION << std::endl;
      return 0;
    }
  }
  return vordel::OwlMain(argc, argv);
}
