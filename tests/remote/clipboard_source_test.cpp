#include "remote/clipboard_source.h"

#include <gtest/gtest.h>

namespace vordel {
namespace {

// What a text on the desktop's clipboard commands: the three one-character commands, a
// parameter string (every word begins like a number, "4O" included), and nothing for anything
// else copied anywhere, said once however long it stays.
TEST(ClipboardPoller, OnlyParameterStringsAndTheThreeCommandsCommand) {
  const struct {
    const char* text;
    std::optional<Command::Kind> kind;
  } kTexts[] = {
      {"0", Command::Kind::kStop},
      {"1", Command::Kind::kPlay},
      {"q", Command::Kind::kQuit},
      {"x", std::nullopt},
      {"0 80 40 30 25", Command::Kind::kCompose},
      {" 4O 60 -1 10 15\n", Command::Kind::kCompose},
      {"-5 60 40 10 15", Command::Kind::kCompose},
      {"https://example.org/0 60 40 10 15", std::nullopt},
      {"hello", std::nullopt},
      {"Meeting moved to Tuesday at ten", std::nullopt},
      {"0 60 40 ten 15", std::nullopt},
      {"- 60 40 10 15", std::nullopt},
      {"\n\t ", std::nullopt},
  };
  for (const auto& c : kTexts) {
    std::string text = "first";
    std::vector<std::string> log;
    ClipboardPoller poller([&] { return std::optional<std::string>(text); },
                           [&](const std::string& line) { log.push_back(line); });
    CommandQueue queue;
    poller.Poll(queue);  // what was there before the start commands nothing
    log.clear();
    text = c.text;
    poller.Changed();
    for (int i = 0; i < 3; ++i) {
      poller.Poll(queue);  // seen at every poll while it stays
    }
    const std::vector<Command> posted = queue.TakeAll();
    if (c.kind) {
      ASSERT_FALSE(posted.empty()) << c.text;
      EXPECT_EQ(posted.front().kind, *c.kind) << c.text;
      EXPECT_TRUE(posted.front().latched);
      EXPECT_TRUE(log.empty()) << c.text;
    } else {
      EXPECT_TRUE(posted.empty()) << c.text;
      EXPECT_EQ(log.size(), std::string(c.text).size() > 1 ? 1u : 0u) << c.text;
    }
  }
}

}  // namespace
}  // namespace vordel
