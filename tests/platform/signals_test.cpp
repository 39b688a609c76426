#include "platform/signals.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>

namespace vordel {
namespace {

TEST(TerminationSignals, ArriveAsEventsInsteadOfEndingTheProcess) {
  TerminationSignals signals;
  ASSERT_GE(signals.fd(), 0);
  EXPECT_EQ(signals.Take(), 0);  // nothing pending
  EXPECT_FALSE(signals.Pending());
  for (int sig : {SIGHUP, SIGTERM, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGRTMIN + 3}) {
    raise(sig);
    pollfd p{signals.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1) << sig;
    EXPECT_TRUE(signals.Pending());
    EXPECT_EQ(signals.Take(), sig);
  }
  EXPECT_STREQ(SignalName(SIGHUP), "SIGHUP");
  EXPECT_STREQ(SignalName(SIGUSR1), "SIGUSR1");
  EXPECT_STREQ(SignalName(SIGRTMIN + 3), "SIGRTMIN+3");
}

}  // namespace
}  // namespace vordel
