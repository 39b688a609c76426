// The OSC source on a real UDP socket on the loopback address, talked to by liblo.
#include "remote/osc_source.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "support/commands.h"
#include "support/osc_peer.h"
#include "support/test_support.h"

namespace vordel {
namespace {

// A source gives back its socket and the descriptors it wakes itself with, the answers' too.
TEST(OscSource, GivesBackEveryDescriptor) {
  const int before = testing::OpenDescriptors();
  {
    OscSource source(
        OscSource::Options{"127.0.0.1", 17780, ""}, [] { return Session::Snapshot{}; },
        [](const std::string&) {});
    CommandQueue queue;
    std::string error;
    ASSERT_TRUE(source.Start(queue, &error)) << error;
    testing::OscPeer peer;
    peer.Send(source.Port(), "/vordel/piece", "0 80 40 30 25");
    ASSERT_EQ(testing::WaitForCommands(queue, 1).size(), 1u);
    source.Stop();
  }
  EXPECT_EQ(testing::OpenDescriptors(), before);
}

// What becomes of a command is answered on the source's own socket, later, from the control
// thread: a refused string, a saved score.
TEST(OscSource, AnswersCommandsAfterwards) {
  OscSource source(
      OscSource::Options{"127.0.0.1", 17800, ""}, [] { return Session::Snapshot{}; },
      [](const std::string&) {});
  CommandQueue queue;
  std::string error;
  ASSERT_TRUE(source.Start(queue, &error)) << error;
  testing::OscPeer peer;
  peer.Send(source.Port(), "/vordel/piece", "1 2");
  peer.Send(source.Port(), "/vordel/score", "s.musicxml");
  const std::vector<Command> commands = testing::WaitForCommands(queue, 2);
  ASSERT_EQ(commands.size(), 2u);
  commands[0].reply("it holds 2 number(s)");
  EXPECT_EQ(peer.Receive(), (std::pair<std::string, std::string>{"/vordel/refused", "s"}));
  commands[1].saved("/home/u/.local/share/vordel/s.musicxml");
  EXPECT_EQ(peer.Receive(), (std::pair<std::string, std::string>{"/vordel/saved", "s"}));
  source.Stop();
}

TEST(OscSource, ATakenPortMovesOnAndSaysSo) {
  std::vector<std::string> log;
  auto status = [] { return Session::Snapshot{}; };
  OscSource first(OscSource::Options{"127.0.0.1", 17790, ""}, status, [](const std::string&) {});
  OscSource second(OscSource::Options{"127.0.0.1", 17790, ""}, status,
                   [&](const std::string& line) { log.push_back(line); });
  CommandQueue queue;
  std::string error;
  ASSERT_TRUE(first.Start(queue, &error)) << error;
  ASSERT_TRUE(second.Start(queue, &error)) << error;
  EXPECT_NE(first.Port(), second.Port());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("listening on port " + std::to_string(second.Port())), std::string::npos);
  OscSource bad(OscSource::Options{"not-an-address", 17790, ""}, status, [](const std::string&) {});
  EXPECT_FALSE(bad.Start(queue, &error));
  EXPECT_NE(error.find("not an address"), std::string::npos);
}

TEST(OscSource, HearsOnlyTheSendersLetIn) {
  std::mutex log_mutex;
  std::vector<std::string> strays;
  OscSource source(
      OscSource::Options{"127.0.0.1", 17810, "10.0.0.0/8,no-loopback"},
      [] { return Session::Snapshot{}; }, [](const std::string&) {},
      [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(log_mutex);
        strays.push_back(line);
      });
  CommandQueue queue;
  std::string error;
  ASSERT_TRUE(source.Start(queue, &error)) << error;
  testing::OscPeer peer;
  peer.Send(source.Port(), "/vordel/quit");
  peer.Send(source.Port(), "/vordel/status");
  EXPECT_EQ(peer.Receive(2).first, "");  // no answer to a stranger
  EXPECT_TRUE(queue.TakeAll().empty());  // and no command
  source.Stop();
  std::lock_guard<std::mutex> lock(log_mutex);
  ASSERT_EQ(strays.size(), 2u);
  EXPECT_NE(strays[0].find("is not let in"), std::string::npos);
  OscSource bad(
      OscSource::Options{"127.0.0.1", 17810, "10.0.0.0/33"}, [] { return Session::Snapshot{}; },
      [](const std::string&) {});
  EXPECT_FALSE(bad.Start(queue, &error));
  EXPECT_NE(error.find("prefix length"), std::string::npos);
  // Naming other senders does not lock this machine out.
  OscSource local(
      OscSource::Options{"127.0.0.1", 17810, "192.0.2.2/32"}, [] { return Session::Snapshot{}; },
      [](const std::string&) {});
  ASSERT_TRUE(local.Start(queue, &error)) << error;
  peer.Send(local.Port(), "/vordel/status");
  // Ten numbers and the command, then where the playback is: the beat and the tempo.
  EXPECT_EQ(peer.Receive(),
            (std::pair<std::string, std::string>{"/vordel/status", "iiiiisiiiiff"}));
}

}  // namespace
}  // namespace vordel
