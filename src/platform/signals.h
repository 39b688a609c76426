// The signals whose default is to end the process (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1,
// SIGUSR2, SIGALRM, SIGPIPE, SIGABRT, SIGTRAP, SIGSYS and the other asynchronous ones, the
// real-time signals included), taken as readable events instead of handlers, so that the program
// ends through its normal, clean stop. SIGKILL cannot be caught; the faults of the program itself
// (SIGSEGV, abort(), a breakpoint ...) still end it the hard way, and a SIGPIPE raised by its own
// write to a pipe nobody reads any more is no request to end (the write fails, the program goes
// on). Main thread only.
#pragma once

namespace vordel {

class TerminationSignals {
 public:
  // Blocks the signals in the calling thread and every thread it starts afterwards: call first
  // thing in main, before any library starts a thread. Then opens a descriptor that becomes
  // readable when one of them arrives.
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Readable when a signal is pending (for poll or a socket notifier); -1 when it failed.
  int fd() const { return fd_; }
  // The pending signal's number, or 0 when none is pending (a SIGPIPE of the process's own write
  // is read and passed over). Never blocks.
  int Take();
  // Whether a signal is pending (it stays pending). Never blocks.
  bool Pending() const;

  // From now on the signals end the process at once, on the calling thread, with exit code
  // 128 + the signal's number, after removing every file registered with RemoveOnSignal: for
  // work that holds no sound and has nothing to stop cleanly (writing an export).
  void EndProcessOnSignal();

 private:
  int fd_ = -1;
};

// The name of a signal for log lines ("SIGTERM").
const char* SignalName(int signal);

// While registered, a file that a termination signal removes before the process ends (a
// half-written export under its temporary name): `name` in the open folder `folder`, which stays
// open while registered. At most a few at a time; the name is copied. Returns a handle for
// Forget, or -1 when there is no room. Any thread; not real-time safe.
int RemoveOnSignal(int folder, const char* name);
void ForgetRemoveOnSignal(int handle);

}  // namespace vordel
