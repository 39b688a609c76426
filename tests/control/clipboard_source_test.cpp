#include "control/clipboard_source.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

TEST(ClipboardPoller, ReadsOnlyAfterAChangeYetYieldsTheTextAtEveryPoll) {
  std::optional<std::string> clipboard = "1";
  int reads = 0;
  ClipboardPoller poller([&] {
    ++reads;
    return clipboard;
  });
  CommandQueue queue;
  for (int i = 0; i < 5; ++i) {
    poller.Poll(queue);
    // A "1" that stays plays again whenever the player is idle.
    const auto commands = queue.TakeAll();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_TRUE(commands[0].latched);
    EXPECT_EQ(commands[0].kind, Command::Kind::kPlay);
  }
  EXPECT_EQ(reads, 1);
  clipboard = std::string(1 << 20, '7');  // a megabyte left there costs one read
  poller.Changed();
  for (int i = 0; i < 20; ++i) {
    poller.Poll(queue);
    const auto big = queue.TakeAll();
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big[0].kind, Command::Kind::kCompose);
    EXPECT_EQ(big[0].text.size(), 4096u);  // more than a parameter string is never read
  }
  EXPECT_EQ(reads, 2);
  clipboard.reset();  // no text: nothing
  poller.Changed();
  poller.Poll(queue);
  EXPECT_TRUE(queue.TakeAll().empty());
}

}  // namespace
}  // namespace vordel
