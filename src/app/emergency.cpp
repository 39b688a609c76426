#include "app/emergency.h"

#include <atomic>
#include <cstdlib>
#include <exception>

namespace vordel {
namespace {

std::atomic<Session*> g_session{nullptr};
std::terminate_handler g_previous = nullptr;

void SilenceAtExit() {
  if (Session* s = g_session.exchange(nullptr)) {
    s->Shutdown("error");
  }
}

[[noreturn]] void SilenceAndTerminate() {
  SilenceAtExit();
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
}

EmergencySilence::~EmergencySilence() {
  g_session.store(nullptr);
}

}  // namespace vordel
