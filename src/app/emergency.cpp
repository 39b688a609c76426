#include "app/emergency.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/out_of_memory.h"

namespace vordel {
namespace {

std::atomic<Session*> g_session{nullptr};
std::terminate_handler g_previous = nullptr;

// Out of memory, on whichever thread ran out: nothing may be waited for, so the notes end
// through the output at once rather than through a clean stop.
void SilenceOnOutOfMemory() {
  if (Session* s = g_session.load()) {
    s->Panic();
  }
}

bool Silence() {
  if (Session* s = g_session.exchange(nullptr)) {
    s->Shutdown("error");
    return true;
  }
  return false;
}

// exit() called from inside a library while the program still runs: after the silence the
// process ends at once, with the failure's code, rather than destroying the libraries' statics
// under the threads that still use them (which crashed it).
void SilenceAtExit() {
  if (Silence()) {
    std::fflush(nullptr);
    std::_Exit(1);
  }
}

[[noreturn]] void SilenceAndTerminate() {
  Silence();
  if (g_previous != nullptr) {
    g_previous();
  }
  std::abort();
}

}  // namespace

EmergencySilence::EmergencySilence(Session& session) {
  static const bool registered = [] {
    std::atexit(&SilenceAtExit);
    g_previous = std::set_terminate(&SilenceAndTerminate);
    return true;
  }();
  (void)registered;
  g_session.store(&session);
  SetOutOfMemoryAction(&SilenceOnOutOfMemory);
}

EmergencySilence::~EmergencySilence() {
  SetOutOfMemoryAction(nullptr);
  g_session.store(nullptr);
}

}  // namespace vordel
