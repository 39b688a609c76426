#include "control/stdin_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/commands.h"

namespace vordel {
namespace {

TEST(StdinSource, EachLineActsOnceAndTheEndOfInputIsNoQuit) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  CommandQueue queue;
  StdinSource source(fds[0]);
  std::string error;
  ASSERT_TRUE(source.Start(queue, &error)) << error;
  const std::string input = "0\n0\r\n1\nQ\n3 50 40 50 10\n" + std::string(100000, '5') + "\nq";
  ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(fds[1]);
  const std::vector<Command> got = testing::WaitForCommands(queue, 6);
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0].kind, Command::Kind::kStop);
  EXPECT_EQ(got[1].kind, Command::Kind::kStop);  // again: a line is not a text that stays
  EXPECT_FALSE(got[1].latched);
  EXPECT_EQ(got[2].kind, Command::Kind::kPlay);
  EXPECT_EQ(got[3].text, "3 50 40 50 10");
  EXPECT_LE(got[4].text.size(), 8192u);          // a huge line is cut, not kept
  EXPECT_EQ(got[5].kind, Command::Kind::kQuit);  // the last line needs no newline
  source.Stop();
  close(fds[0]);
}

TEST(StdinSource, StopsWhileWaitingForInput) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  CommandQueue queue;
  StdinSource source(fds[0]);
  std::string error;
  ASSERT_TRUE(source.Start(queue, &error));
  source.Stop();  // returns although nothing was ever written
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace vordel
