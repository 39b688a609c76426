#include "platform/signals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace vordel {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 5000) == 1;
}

TEST(TerminationSignals, ArriveAsEventsInsteadOfEndingTheProcess) {
  TerminationSignals signals;
  ASSERT_GE(signals.fd(), 0);
  EXPECT_EQ(signals.Take(), 0);  // nothing pending
  EXPECT_FALSE(signals.Pending());
  for (int sig : {SIGHUP, SIGTERM, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGABRT, SIGTRAP,
                  SIGSYS, SIGRTMIN + 3}) {
    raise(sig);
    ASSERT_TRUE(Readable(signals.fd())) << sig;
    EXPECT_TRUE(signals.Pending());
    EXPECT_EQ(signals.Take(), sig);
  }
  EXPECT_STREQ(SignalName(SIGHUP), "SIGHUP");
  EXPECT_STREQ(SignalName(SIGUSR1), "SIGUSR1");
  EXPECT_STREQ(SignalName(SIGRTMIN + 3), "SIGRTMIN+3");
}

TEST(TerminationSignals, APipeWithoutReaderFailsTheWriteButAnotherProcesssSigpipeEnds) {
  TerminationSignals signals;
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  EXPECT_EQ(write(ends[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(ends[1]);
  EXPECT_EQ(signals.Take(), 0);  // the process's own SIGPIPE is passed over
  const pid_t parent = getpid();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    kill(parent, SIGPIPE);
    _exit(0);
  }
  waitpid(child, nullptr, 0);
  ASSERT_TRUE(Readable(signals.fd()));
  EXPECT_EQ(signals.Take(), SIGPIPE);
}

}  // namespace
}  // namespace vordel
