#include "platform/out_of_memory.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace vordel {
namespace {

// Given back when memory runs out, so that the action and the last line find some.
constexpr std::size_t kReserveBytes = std::size_t{1} << 20;
std::unique_ptr<char[]> g_reserve;
std::atomic<void (*)()> g_action{nullptr};
std::atomic<bool> g_ending{false};

void OnOutOfMemory() {
  if (g_ending.exchange(true)) {
    for (;;) {
      pause();  // another thread is ending the process
    }
  }
  g_reserve.reset();
  if (void (*action)() = g_action.load()) {
    action();
  }
  std::fputs("out of memory\n", stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

void InstallOutOfMemoryHandler() {
  if (!g_reserve) {
    g_reserve = std::make_unique<char[]>(kReserveBytes);
  }
  std::set_new_handler(OnOutOfMemory);
}

void SetOutOfMemoryAction(void (*action)()) {
  g_action.store(action);
}

}  // namespace vordel
