#include "platform/signals.h"

#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace vordel {
namespace {

// Every signal whose default action ends the process and that another process sends, rather
// than a fault of this one.
sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                  SIGPOLL, SIGPWR, SIGSTKFLT, SIGXCPU, SIGXFSZ}) {
    sigaddset(&set, sig);
  }
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) {
    sigaddset(&set, sig);
  }
  return set;
}

constexpr int kRemovable = 8;
struct Removable {
  std::atomic<bool> used{false};
  std::atomic<bool> ready{false};
  char path[PATH_MAX] = {};
};
Removable g_removable[kRemovable];

void RemoveAndEnd(int sig) {
  for (Removable& r : g_removable) {
    if (r.ready.load(std::memory_order_acquire)) {
      unlink(r.path);
    }
  }
  static const char kLine[] = "stopped by a signal; the file being written was removed\n";
  (void)!write(STDERR_FILENO, kLine, sizeof kLine - 1);
  _exit(128 + sig);
}

}  // namespace

TerminationSignals::TerminationSignals() {
  const sigset_t set = TerminationSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

TerminationSignals::~TerminationSignals() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

int TerminationSignals::Take() {
  if (fd_ < 0) {
    return 0;
  }
  signalfd_siginfo info{};
  if (read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
    return 0;
  }
  return static_cast<int>(info.ssi_signo);
}

bool TerminationSignals::Pending() const {
  if (fd_ < 0) {
    return false;
  }
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

void TerminationSignals::EndProcessOnSignal() {
  const sigset_t set = TerminationSet();
  struct sigaction action {};
  action.sa_handler = &RemoveAndEnd;
  action.sa_mask = set;  // one handler at a time
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sigismember(&set, sig) == 1) {
      sigaction(sig, &action, nullptr);
    }
  }
  // A signal that came before this point is still pending: it acts as soon as it is unblocked.
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

const char* SignalName(int signal) {
  static thread_local char name[24];
  const char* abbrev = sigabbrev_np(signal);
  if (abbrev == nullptr) {
    if (signal >= SIGRTMIN && signal <= SIGRTMAX) {
      std::snprintf(name, sizeof name, "SIGRTMIN+%d", signal - SIGRTMIN);
    } else {
      std::snprintf(name, sizeof name, "signal %d", signal);
    }
    return name;
  }
  std::snprintf(name, sizeof name, "SIG%s", abbrev);
  return name;
}

int RemoveOnSignal(const char* path) {
  for (int i = 0; i < kRemovable; ++i) {
    Removable& r = g_removable[i];
    bool expected = false;
    if (r.used.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
      std::snprintf(r.path, sizeof r.path, "%s", path);
      r.ready.store(true, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void ForgetRemoveOnSignal(int handle) {
  if (handle < 0 || handle >= kRemovable) {
    return;
  }
  g_removable[handle].ready.store(false, std::memory_order_release);
  g_removable[handle].used.store(false, std::memory_order_release);
}

}  // namespace vordel
