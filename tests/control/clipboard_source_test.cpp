#include "control/clipboard_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vordel {
namespace {

TEST(ClipboardPoller, ReadsOnlyAfterAChangeYetYieldsTheTextAtEveryPoll) {
  std::optional<std::string> clipboard;
  int reads = 0;
  ClipboardPoller poller([&] {
    ++reads;
    return clipboard;
  });
  CommandQueue queue;
  poller.Poll(queue);  // empty at the start
  clipboard = "1";
  poller.Changed();
  for (int i = 0; i < 5; ++i) {
    poller.Poll(queue);
    // A "1" that stays plays again whenever the player is idle.
    const auto commands = queue.TakeAll();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_TRUE(commands[0].latched);
    EXPECT_EQ(commands[0].kind, Command::Kind::kPlay);
  }
  EXPECT_EQ(reads, 2);
  clipboard = std::string(1 << 20, '7');  // a megabyte left there costs one read
  poller.Changed();
  for (int i = 0; i < 20; ++i) {
    poller.Poll(queue);
    const auto big = queue.TakeAll();
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big[0].kind, Command::Kind::kCompose);
    EXPECT_EQ(big[0].text.size(), 4096u);  // more than a parameter string is never read
  }
  EXPECT_EQ(reads, 3);
  clipboard.reset();  // no text: nothing
  poller.Changed();
  poller.Poll(queue);
  EXPECT_TRUE(queue.TakeAll().empty());
}

// A text left on the clipboard before the start (a "q" of an earlier run, a string) is no
// command until the clipboard changes, even to the same text; it is said once.
TEST(ClipboardPoller, TextFromBeforeTheStartIsIgnoredUntilTheClipboardChanges) {
  // Each text and how the log line shows it: on one line, cut after 60 characters.
  const std::string sixty_one = "0 80 40 30 25 " + std::string(47, '1');
  const std::pair<std::string, std::string> kTexts[] = {
      {"q", "q"},
      {"1", "1"},
      {"0", "0"},
      {"0 80\n40\t30\r\n25", "0 80 40 30  25"},
      {sixty_one, sixty_one.substr(0, 60) + "..."}};
  for (const auto& [before, shown] : kTexts) {
    std::optional<std::string> clipboard = before;
    std::vector<std::string> log;
    ClipboardPoller poller([&] { return clipboard; },
                           [&](const std::string& line) { log.push_back(line); });
    CommandQueue queue;
    for (int i = 0; i < 3; ++i) {
      poller.Poll(queue);
    }
    EXPECT_TRUE(queue.TakeAll().empty()) << before;
    ASSERT_EQ(log.size(), 1u) << before;
    EXPECT_NE(log[0].find("\"" + shown + "\" was there before the start"), std::string::npos)
        << log[0];
    poller.Changed();  // copied again
    poller.Poll(queue);
    EXPECT_EQ(queue.TakeAll().size(), 1u) << before;
    EXPECT_EQ(log.size(), 1u);
  }
  // Text that is no command (a word) is not worth a line.
  std::vector<std::string> log;
  ClipboardPoller quiet([] { return std::optional<std::string>("x"); },
                        [&](const std::string& line) { log.push_back(line); });
  CommandQueue queue;
  quiet.Poll(queue);
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace vordel
