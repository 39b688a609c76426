#include "control/command.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "control/command_queue.h"
#include "control/command_source.h"
#include "control/controller.h"
#include "outputs/recording.h"
#include "support/manual_timer.h"
#include "support/pieces.h"

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

// A source of commands is a class with Start and Stop: this one posts a script.
class ScriptedSource : public CommandSource {
 public:
  explicit ScriptedSource(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  std::string Name() const override { return "script"; }
  bool Start(CommandQueue& queue, std::string*) override {
    for (const std::string& line : lines_) {
      if (auto c = CommandFromText(line, false, Name())) {
        queue.Post(std::move(*c));
      }
    }
    return true;
  }
  void Stop() override {}

 private:
  std::vector<std::string> lines_;
};

class NoHost : public ControllerHost {
 public:
  void MessageBox(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void Invalidate() override {}
  void PostQuit(int code) override { quit = code; }
  int quit = -1;
};

TEST(CommandSource, ANewSourceNeedsNothingButItsCommands) {
  testing::CoutCapture quiet;
  testing::ManualTimerService timer;
  Session session(std::make_unique<RecordingOutput>(1 << 16), nullptr, timer, nullptr);
  NoHost host;
  Controller controller(session, host);
  CommandQueue queue;
  ScriptedSource source({"3 50 40 50 10", "0", "q"});
  std::string error;
  ASSERT_TRUE(source.Start(queue, &error));
  for (const Command& c : queue.TakeAll()) {
    controller.Apply(c);
  }
  EXPECT_EQ(session.composition().object_list.front()->GetFunktion(), 3);
  EXPECT_EQ(session.player().GetPlayStatus(), 0);
  EXPECT_EQ(host.quit, 0);
}

}  // namespace
}  // namespace vordel
