#include "outputs/system_logs.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>
#include <jack/jack.h>

#include <cstdlib>

namespace vordel {
namespace {

void SilentJack(const char*) {}
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentFluid(int, const char*, void*) {}

}  // namespace

void QuietSystemLibraries() {
  static const bool done = [] {
    // Before the libraries start threads of their own (the first output or input opened).
    setenv("JACK_NO_START_SERVER", "1", 0);  // NOLINT(concurrency-mt-unsafe)
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
    snd_lib_error_set_handler(&SilentAlsa);
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
      fluid_set_log_function(level, &SilentFluid, nullptr);
    }
    return true;
  }();
  (void)done;
}

}  // namespace vordel
