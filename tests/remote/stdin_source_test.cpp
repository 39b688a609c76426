#include "remote/stdin_source.h"

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
  struct Line {
    std::string input;
    Command::Kind kind;
    std::string text;
  };
  const std::vector<Line> lines = {
      {"0\n", Command::Kind::kStop, ""},
      {"0\r\n", Command::Kind::kStop, ""},   // again: a line is not a text that stays
      {"Q\n1\n", Command::Kind::kPlay, ""},  // a single other character is nothing
      {"3 50 40 50 10\n", Command::Kind::kCompose, "3 50 40 50 10"},
      {std::string(100000, '5') + "\n", Command::Kind::kCompose, std::string(8192, '5')},
      {"q", Command::Kind::kQuit, ""},  // the last line needs no newline
  };
  for (const Line& line : lines) {
    ASSERT_EQ(write(fds[1], line.input.data(), line.input.size()),
              static_cast<ssize_t>(line.input.size()));
    if (&line == &lines.back()) {
      close(fds[1]);
    }
    const std::vector<Command> got = testing::WaitForCommands(queue, 1);
    ASSERT_EQ(got.size(), 1u) << line.input.substr(0, 20);
    EXPECT_EQ(got[0].kind, line.kind);
    EXPECT_EQ(got[0].text, line.text);  // a huge line is cut, not kept
    EXPECT_FALSE(got[0].latched);
  }
  source.Stop();
  close(fds[0]);
}

}  // namespace
}  // namespace vordel
