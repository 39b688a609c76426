// The signals that end the programs (SIGINT, SIGTERM, SIGHUP), taken as readable events instead
// of handlers, so that the program ends through its normal, clean stop. Main thread only.
#pragma once

namespace vordel {

class TerminationSignals {
 public:
  // Blocks the three signals in the calling thread and every thread it starts afterwards: call
  // first thing in main, before any library starts a thread. Then opens a descriptor that
  // becomes readable when one of them arrives.
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Readable when a signal is pending (for poll or a socket notifier); -1 when it failed.
  int fd() const { return fd_; }
  // The pending signal's number, or 0 when none is pending. Never blocks.
  int Take();

 private:
  int fd_ = -1;
};

// The name of a signal for log lines ("SIGTERM").
const char* SignalName(int signal);

}  // namespace vordel
