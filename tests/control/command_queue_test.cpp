#include "control/command_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vordel {
namespace {

// A command by a word: "piece TEXT", "play", "stop", "quit", "next", "volume N", "score NAME",
// "clipboard TEXT" (a latched parameter string).
Command Make(const std::string& word, std::vector<std::string>* answers) {
  Command c;
  const auto space = word.find(' ');
  const std::string kind = word.substr(0, space);
  const std::string arg = space == std::string::npos ? "" : word.substr(space + 1);
  using K = Command::Kind;
  c.kind = kind == "piece" || kind == "clipboard" ? K::kCompose
           : kind == "play"                       ? K::kPlay
           : kind == "quit"                       ? K::kQuit
           : kind == "next"                       ? K::kNext
           : kind == "volume"                     ? K::kVolume
           : kind == "score"                      ? K::kScore
                                                  : K::kStop;
  c.text = arg;
  c.value = kind == "volume" ? std::stoi(arg) : 0;
  c.latched = kind == "clipboard";
  c.reply = [answers, word](const std::string& why) { answers->push_back(word + ": " + why); };
  return c;
}

struct QueueCase {
  const char* name;
  std::vector<std::string> posted;
  std::vector<std::string> carried_out;  // what the control thread takes to carry out
  std::vector<std::string> answered;     // dropped, and told so
};

class CommandQueueCase : public ::testing::TestWithParam<QueueCase> {};

TEST_P(CommandQueueCase, KeepsWhatMattersAndAnswersWhatItDrops) {
  const QueueCase& c = GetParam();
  CommandQueue queue;
  std::vector<std::string> answers;
  std::vector<std::string> words;
  for (const std::string& word : c.posted) {
    queue.Post(Make(word, &answers));
    words.push_back(word);
  }
  std::vector<std::string> carried;
  for (const Command& command : queue.TakeAll()) {
    if (command.dropped.empty()) {
      const std::string arg = command.kind == Command::Kind::kVolume
                                  ? " " + std::to_string(command.value)
                                  : (command.text.empty() ? "" : " " + command.text);
      const char* kinds[] = {"stop",     "play",    "quit",     "piece", "volume",
                             "ensemble", "endless", "playlist", "next",  "score"};
      carried.push_back(
          std::string(command.latched ? "clipboard" : kinds[static_cast<int>(command.kind)]) + arg);
    } else {
      command.reply(command.dropped);
    }
  }
  EXPECT_EQ(carried, c.carried_out);
  EXPECT_EQ(answers, c.answered);
  EXPECT_EQ(queue.Dropped().superseded + queue.Dropped().overflow, c.answered.size());
}

const std::string kSup = std::string(": ") + kSuperseded;

INSTANTIATE_TEST_SUITE_P(
    Posts, CommandQueueCase,
    ::testing::Values(
        QueueCase{"newest_string", {"piece a", "piece b"}, {"piece b"}, {"piece a" + kSup}},
        QueueCase{"a_string_ends_a_play_and_a_stop",
                  {"play", "stop", "piece a"},
                  {"piece a"},
                  {"play" + kSup, "stop" + kSup}},
        QueueCase{"one_play_waits", {"play", "play"}, {"play"}, {"play" + kSup}},
        QueueCase{"a_stop_ends_the_plays",
                  {"piece a", "play", "stop", "stop"},
                  {"piece a", "stop"},
                  {"play" + kSup, "stop" + kSup}},
        QueueCase{"newest_volume", {"volume 10", "volume 20"}, {"volume 20"}, {"volume 10" + kSup}},
        QueueCase{"a_volume_a_start_used",
                  {"volume 10", "piece a", "volume 20"},
                  {"volume 10", "piece a", "volume 20"},
                  {}},
        QueueCase{"nothing_after_a_quit",
                  {"piece a", "score s", "quit", "piece b", "next"},
                  {"quit"},
                  {"piece a" + kSup, "score s" + kSup, "piece b" + kSup, "next" + kSup}},
        QueueCase{"scores_and_nexts_all_wait",
                  {"score s", "next", "score t", "next"},
                  {"score s", "next", "score t", "next"},
                  {}},
        QueueCase{"a_clipboard_text_waits_once",
                  {"clipboard 1 2 3 4 5", "clipboard 1 2 3 4 5", "piece a"},
                  {"clipboard 1 2 3 4 5", "piece a"},
                  {}}),
    [](const ::testing::TestParamInfo<QueueCase>& info) { return info.param.name; });

// Beyond its capacity the queue takes nothing more, and says so to whoever waits for an answer.
TEST(CommandQueue, AFullQueueAnswersWhatItCannotTake) {
  CommandQueue queue;
  std::vector<std::string> answers;
  for (std::size_t i = 0; i <= CommandQueue::kCapacity; ++i) {
    queue.Post(Make("score s" + std::to_string(i), &answers));
  }
  const std::vector<Command> taken = queue.TakeAll();
  ASSERT_EQ(taken.size(), CommandQueue::kCapacity + 1);
  EXPECT_EQ(taken.front().dropped, kTooManyWaiting);
  EXPECT_EQ(taken.back().text, "s" + std::to_string(CommandQueue::kCapacity - 1));
  EXPECT_EQ(queue.Dropped().overflow, 1u);
  EXPECT_NE(queue.DropReport(std::chrono::steady_clock::now()).find("1 command(s) dropped"),
            std::string::npos);
  EXPECT_TRUE(queue.TakeAll().empty());
}

}  // namespace
}  // namespace vordel
