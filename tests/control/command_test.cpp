#include "control/command.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <thread>

#include "control/command_queue.h"

namespace vordel {
namespace {

Command Of(Command::Kind kind, std::string text = "") {
  Command c;
  c.kind = kind;
  c.text = std::move(text);
  return c;
}

TEST(CommandQueue, BoundedCountedAndReportedOnceASecond) {
  CommandQueue queue;
  pollfd p{queue.fd(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);
  // Texts of four threads that differ from each other are all kept, each thread's in order.
  std::vector<std::thread> sources;
  for (int t = 0; t < 4; ++t) {
    sources.emplace_back([&queue, t] {
      for (int i = 0; i < 50; ++i) {
        queue.Post(*CommandFromText(std::to_string(t * 1000 + i + 100), true, "clipboard"));
      }
    });
  }
  for (auto& s : sources) {
    s.join();
  }
  EXPECT_EQ(poll(&p, 1, 0), 1);
  const std::vector<Command> got = queue.TakeAll();
  ASSERT_EQ(got.size(), 200u);
  int last[4] = {-1, -1, -1, -1};
  for (const Command& c : got) {
    const int v = std::stoi(c.text) - 100;
    EXPECT_GT(v % 1000, last[v / 1000]);
    last[v / 1000] = v % 1000;
  }
  EXPECT_EQ(poll(&p, 1, 0), 0);
  // Beyond the limit new ones are dropped and counted.
  for (std::size_t i = 0; i < CommandQueue::kCapacity + 44; ++i) {
    queue.Post(*CommandFromText(std::to_string(i + 10), true, "clipboard"));
  }
  queue.Post(Of(Command::Kind::kQuit));  // a quit always gets in, and nothing else matters then
  EXPECT_EQ(queue.Dropped().overflow, 44u);
  EXPECT_EQ(queue.Dropped().superseded, CommandQueue::kCapacity);
  EXPECT_EQ(queue.TakeAll().size(), 1u);
  const auto t0 = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  EXPECT_EQ(queue.DropReport(t0),
            "300 command(s) dropped: 256 made pointless by a later one, 44 over the limit of 256 "
            "waiting");
  queue.Post(Of(Command::Kind::kCompose, "A"));
  queue.Post(Of(Command::Kind::kCompose, "B"));
  EXPECT_EQ(queue.DropReport(t0 + std::chrono::milliseconds(900)), "");  // not yet
  EXPECT_EQ(queue.DropReport(t0 + std::chrono::seconds(1)),
            "1 command(s) dropped: 1 made pointless by a later one");
  EXPECT_EQ(queue.DropReport(t0 + std::chrono::seconds(5)), "");  // nothing new
}

}  // namespace
}  // namespace vordel
