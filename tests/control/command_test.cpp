#include "control/command.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <cctype>
#include <sstream>
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

// Commands written short: "c:A" a parameter string A, "s" stop, "p" play, "q" quit, "v5" volume
// 5, "e1" ensemble 1, "L:x" the clipboard's text x.
Command Parse(const std::string& word) {
  Command c;
  if (word.rfind("L:", 0) == 0) {
    return *CommandFromText(word.substr(2), true, "clipboard");
  }
  switch (word[0]) {
    case 'c':
      c.kind = Command::Kind::kCompose;
      c.text = word.substr(2);
      break;
    case 's':
      c.kind = Command::Kind::kStop;
      break;
    case 'p':
      c.kind = Command::Kind::kPlay;
      break;
    case 'q':
      c.kind = Command::Kind::kQuit;
      break;
    case 'v':
      c.kind = Command::Kind::kVolume;
      c.value = std::stoi(word.substr(1));
      break;
    default:
      c.kind = Command::Kind::kEnsemble;
      c.value = std::stoi(word.substr(1));
  }
  return c;
}

std::string Show(const Command& c) {
  if (c.latched) {
    return "L:" + (c.kind == Command::Kind::kCompose ? c.text
                   : c.kind == Command::Kind::kStop  ? std::string("0")
                   : c.kind == Command::Kind::kPlay  ? std::string("1")
                                                     : std::string("q"));
  }
  switch (c.kind) {
    case Command::Kind::kCompose:
      return "c:" + c.text;
    case Command::Kind::kStop:
      return "s";
    case Command::Kind::kPlay:
      return "p";
    case Command::Kind::kQuit:
      return "q";
    case Command::Kind::kVolume:
      return "v" + std::to_string(c.value);
    case Command::Kind::kEnsemble:
      return "e" + std::to_string(c.value);
    default:
      return "?";
  }
}

struct QueueCase {
  const char* posted;
  const char* kept;
  std::uint64_t unseen = 0;  // the clipboard's texts seen again: not counted as dropped
};

class CommandQueueKeeps : public ::testing::TestWithParam<QueueCase> {};

TEST_P(CommandQueueKeeps, OnlyWhatALaterCommandDoesNotMakePointless) {
  CommandQueue queue;
  std::istringstream words(GetParam().posted);
  std::string word;
  std::uint64_t posted = 0;
  while (words >> word) {
    queue.Post(Parse(word));
    ++posted;
  }
  std::string kept;
  const std::vector<Command> got = queue.TakeAll();
  for (const Command& c : got) {
    kept += (kept.empty() ? "" : " ") + Show(c);
  }
  EXPECT_EQ(kept, GetParam().kept);
  EXPECT_EQ(queue.Dropped().superseded, posted - got.size() - GetParam().unseen);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CommandQueueKeeps,
    ::testing::Values(QueueCase{"c:A c:B", "c:B"},             // only the newest piece
                      QueueCase{"p s", "s"},                   // a stop after a play
                      QueueCase{"s p", "s p"},                 // a restart stays a restart
                      QueueCase{"s p p s p", "s p"},           //
                      QueueCase{"c:A s", "c:A s"},             // the piece changes, then stops
                      QueueCase{"s p c:A s c:B", "c:B"},       // a piece stops and starts itself
                      QueueCase{"c:A p", "c:A p"},             // a play after a refused piece
                      QueueCase{"v1 v2 v3", "v3"},             // the newest setting
                      QueueCase{"e1 e2 c:A e0", "e2 c:A e0"},  // the ensemble a start used
                      QueueCase{"c:A q s c:B", "q"},           // nothing after a quit
                      QueueCase{"L:1 L:1 L:0 L:0 L:1", "L:1 L:0 L:1", 2},  // a text seen again
                      QueueCase{"L:ab c:A L:ab", "L:ab c:A L:ab"}),
    [](const ::testing::TestParamInfo<QueueCase>& info) {
      std::string name = "case" + std::to_string(info.index) + "_";
      for (const char* c = info.param.posted; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
      }
      return name;
    });

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
  queue.Post(Parse("q"));  // a quit always gets in, and nothing else matters then
  EXPECT_EQ(queue.Dropped().overflow, 44u);
  EXPECT_EQ(queue.Dropped().superseded, CommandQueue::kCapacity);
  EXPECT_EQ(queue.TakeAll().size(), 1u);
  const auto t0 = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  EXPECT_EQ(queue.DropReport(t0),
            "300 command(s) dropped: 256 made pointless by a later one, 44 over the limit of 256 "
            "waiting");
  queue.Post(Parse("c:A"));
  queue.Post(Parse("c:B"));
  EXPECT_EQ(queue.DropReport(t0 + std::chrono::milliseconds(900)), "");  // not yet
  EXPECT_EQ(queue.DropReport(t0 + std::chrono::seconds(1)),
            "1 command(s) dropped: 1 made pointless by a later one");
  EXPECT_EQ(queue.DropReport(t0 + std::chrono::seconds(5)), "");  // nothing new
}

}  // namespace
}  // namespace vordel
