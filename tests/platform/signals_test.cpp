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
  for (int sig : {SIGHUP, SIGTERM, SIGINT}) {
    raise(sig);
    pollfd p{signals.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_EQ(signals.Take(), sig);
  }
  EXPECT_STREQ(SignalName(SIGHUP), "SIGHUP");
}

}  // namespace
}  // namespace vordel
