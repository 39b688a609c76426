#include "control/command.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "control/command_queue.h"

namespace vordel {
namespace {

TEST(Command, TextsAsTheClipboardReadsThem) {
  EXPECT_EQ(CommandFromText("0", true, "x")->kind, Command::Kind::kStop);
  EXPECT_EQ(CommandFromText("1", false, "x")->kind, Command::Kind::kPlay);
  EXPECT_EQ(CommandFromText("q", true, "x")->kind, Command::Kind::kQuit);
  const auto c = CommandFromText("01", true, "clipboard");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->kind, Command::Kind::kCompose);  // two characters: a parameter string
  EXPECT_EQ(c->text, "01");
  EXPECT_TRUE(c->latched);
  EXPECT_EQ(c->origin, "clipboard");
  EXPECT_FALSE(CommandFromText("Q", true, "x"));
  EXPECT_FALSE(CommandFromText("", true, "x"));
}

TEST(CommandQueue, CarriesCommandsFromManyThreadsAndWakesTheReader) {
  CommandQueue queue;
  pollfd p{queue.fd(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);
  std::vector<std::thread> sources;
  for (int t = 0; t < 4; ++t) {
    sources.emplace_back([&queue, t] {
      for (int i = 0; i < 250; ++i) {
        Command c;
        c.kind = Command::Kind::kVolume;
        c.value = t * 1000 + i;
        queue.Post(c);
      }
    });
  }
  for (auto& s : sources) {
    s.join();
  }
  EXPECT_EQ(poll(&p, 1, 0), 1);
  const std::vector<Command> got = queue.TakeAll();
  ASSERT_EQ(got.size(), 1000u);
  int last[4] = {-1, -1, -1, -1};
  for (const Command& c : got) {  // each source's commands in the order it posted them
    EXPECT_GT(c.value % 1000, last[c.value / 1000]);
    last[c.value / 1000] = c.value % 1000;
  }
  EXPECT_EQ(poll(&p, 1, 0), 0);
  EXPECT_TRUE(queue.TakeAll().empty());
}

}  // namespace
}  // namespace vordel
