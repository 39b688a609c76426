#include "platform/signals.h"

#include <fcntl.h>
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

// Every signal whose default action ends the process, as another process sends it. SIGABRT,
// SIGTRAP and SIGSYS are among them: the kernel delivers the ones a fault of this process raises
// (abort(), a breakpoint, a forbidden system call) whatever the mask, so those still end it the
// hard way, while the same signals sent by a watchdog or a user end it cleanly.
sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig :
       {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGPOLL,
        SIGPWR, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGPIPE, SIGABRT, SIGTRAP, SIGSYS}) {
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
  int folder = -1;
  char name[NAME_MAX + 1] = {};
};
Removable g_removable[kRemovable];

// A SIGPIPE that this process raised itself, by writing to a pipe whose reader has gone: the
// write fails with EPIPE and the program goes on (a reader of the log that goes away must not end
// a playback). Another process's SIGPIPE is a request to end like any other.
bool RaisedByOwnWrite(int sig, pid_t sender) {
  return sig == SIGPIPE && sender == getpid();
}

void RemoveAndEnd(int sig, siginfo_t* info, void* /*context*/) {
  if (info != nullptr && RaisedByOwnWrite(sig, info->si_pid)) {
    return;
  }
  for (Removable& r : g_removable) {
    if (r.ready.load(std::memory_order_acquire)) {
      unlinkat(r.folder, r.name, 0);
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
  for (;;) {
    signalfd_siginfo info{};
    if (read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
      return 0;
    }
    const int sig = static_cast<int>(info.ssi_signo);
    if (!RaisedByOwnWrite(sig, static_cast<pid_t>(info.ssi_pid))) {
      return sig;
    }
  }
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
  action.sa_sigaction = &RemoveAndEnd;
  action.sa_flags = SA_SIGINFO;
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

int RemoveOnSignal(int folder, const char* name) {
  for (int i = 0; i < kRemovable; ++i) {
    Removable& r = g_removable[i];
    bool expected = false;
    if (r.used.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
      r.folder = folder;
      std::snprintf(r.name, sizeof r.name, "%s", name);
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
